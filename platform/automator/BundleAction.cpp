// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/automator/BundleAction.h"

#include <QDir>
#include <QFileInfo>

#include "platform/cf/PropertyList.h"

namespace {

// "AMAccepts" and "AMProvides" hold {Types: [...]}.
QStringList typesOf(const QVariant& description) {
  QStringList types;
  for (const QVariant& type : description.toMap().value(QStringLiteral("Types")).toList()) {
    if (type.typeId() == QMetaType::QString) types.append(type.toString());
  }
  return types;
}

std::unique_ptr<BundleAction> failure(QString* error, const QString& message) {
  if (error) *error = message;
  return nullptr;
}

}  // namespace

std::unique_ptr<BundleAction> BundleAction::initWithContentsOfURL(const QUrl& fileUrl,
                                                                  QString* error) {
  if (!fileUrl.isLocalFile()) return failure(error, QStringLiteral("not a file URL: %1").arg(fileUrl.toString()));
  const QString path = QDir::cleanPath(fileUrl.toLocalFile());
  if (!QFileInfo(path).isDir()) return failure(error, QStringLiteral("no action bundle at %1").arg(path));

  QString problem;
  const QString infoPath = path + QStringLiteral("/Contents/Info.plist");
  const std::optional<QVariant> info = plist::readFile(infoPath, &problem);
  if (!info) return failure(error, QStringLiteral("%1: %2").arg(infoPath, problem));
  if (info->typeId() != QMetaType::QVariantMap)
    return failure(error, QStringLiteral("%1: not a dictionary").arg(infoPath));
  const QVariantMap map = info->toMap();

  const QVariant identifier = map.value(QStringLiteral("CFBundleIdentifier"));
  if (identifier.typeId() != QMetaType::QString || identifier.toString().isEmpty())
    return failure(error, QStringLiteral("%1: no CFBundleIdentifier").arg(infoPath));
  const QVariant defaults = map.value(QStringLiteral("AMDefaultParameters"));
  if (defaults.isValid() && defaults.typeId() != QMetaType::QVariantMap)
    return failure(error, QStringLiteral("%1: AMDefaultParameters is not a dictionary").arg(infoPath));

  std::unique_ptr<BundleAction> action(new BundleAction);
  action->bundlePath_ = path;
  action->identifier_ = identifier.toString();
  QVariant name = map.value(QStringLiteral("AMName"));
  if (name.typeId() != QMetaType::QString) name = map.value(QStringLiteral("CFBundleName"));
  action->name_ = name.typeId() == QMetaType::QString ? name.toString()
                                                      : QFileInfo(path).completeBaseName();
  action->inputTypes_ = typesOf(map.value(QStringLiteral("AMAccepts")));
  action->outputTypes_ = typesOf(map.value(QStringLiteral("AMProvides")));
  action->parameters_ = defaults.toMap();
  return action;
}
