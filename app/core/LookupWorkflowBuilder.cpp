// The generated one-action workflow that looks a word up in the chosen dictionary.
#include "app/core/LookupWorkflowBuilder.h"

#include <QUrl>

#include "platform/automator/BundleAction.h"
#include "platform/automator/Workflow.h"
#include "platform/Places.h"

QString dictionaryParameterValue(const QString& dictionaryName) {
  return QString::fromLatin1(kDictionaryPathFormat).arg(dictionaryName);
}

std::unique_ptr<Workflow> makeDefinitionWorkflow(const QString& dictionaryName) {
  const QUrl actionUrl = QUrl::fromLocalFile(places::hostPath(QString::fromLatin1(kDefinitionActionPath)));
  std::unique_ptr<BundleAction> action = BundleAction::initWithContentsOfURL(actionUrl, nullptr);
  if (!action) return nullptr;
  QVariantMap parameters = action->parameters();
  parameters.insert(QString::fromLatin1(kDictionaryParameterKey), dictionaryParameterValue(dictionaryName));
  action->setParameters(parameters);
  auto workflow = std::make_unique<Workflow>();
  workflow->addAction(*action);
  return workflow;
}
