// SPDX-License-Identifier: GPL-3.0-or-later
// The generated one-action workflow that looks a word up in the chosen dictionary.
#include "app/core/LookupWorkflowBuilder.h"

#include <QFileInfo>
#include <QUrl>

#include "platform/automator/BundleAction.h"
#include "platform/automator/Workflow.h"
#include "platform/Places.h"

QString dictionaryParameterValue(const QString& dictionaryName) {
  const QString machine = QString::fromLatin1(kDictionaryPathFormat).arg(dictionaryName);
  // A title the machine's folder lacks names the user's bundle, when there is one: the
  // machine's dictionaries come first in the menu, so they win a title both folders hold.
  const QString user = QString::fromLatin1(kUserDictionaryPathFormat).arg(dictionaryName);
  if (!QFileInfo::exists(places::hostPath(machine)) && QFileInfo::exists(places::hostPath(user))) return user;
  return machine;
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
