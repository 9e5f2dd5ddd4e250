// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/automator/WorkflowDocument.h"

#include "platform/Places.h"
#include "platform/cf/PropertyList.h"

namespace workflow_document {
namespace {

const QString kVersionKey = QStringLiteral("WorkflowDocumentVersion");
const QString kActionsKey = QStringLiteral("Actions");
const QString kIdentifierKey = QStringLiteral("BundleIdentifier");
const QString kNameKey = QStringLiteral("Name");
const QString kPathKey = QStringLiteral("BundlePath");
const QString kInRootKey = QStringLiteral("BundlePathIsInSystemRoot");
const QString kParametersKey = QStringLiteral("Parameters");

std::nullopt_t bad(QString* error, const QString& message) {
  if (error) *error = message;
  return std::nullopt;
}

}  // namespace

QVariantMap encode(const ActionRecord& action) {
  const QString macPath = places::macPath(action.hostBundlePath);
  return {{kIdentifierKey, action.identifier},
          {kNameKey, action.name},
          {kPathKey, macPath.isEmpty() ? action.hostBundlePath : macPath},
          {kInRootKey, !macPath.isEmpty()},
          {kParametersKey, action.parameters}};
}

QVariantMap encodeDocument(const QVariantList& actions) {
  return {{kVersionKey, qlonglong(kVersion)}, {kActionsKey, actions}};
}

std::optional<std::vector<ActionRecord>> decode(const QVariant& document, QString* error) {
  if (document.typeId() != QMetaType::QVariantMap) return bad(error, QStringLiteral("not a dictionary"));
  const QVariantMap map = document.toMap();
  const QVariant version = map.value(kVersionKey);
  if (version.typeId() != QMetaType::LongLong || version.toLongLong() < 1)
    return bad(error, QStringLiteral("not a workflow document"));
  if (version.toLongLong() > kVersion)
    return bad(error, QStringLiteral("workflow document version %1 is too new").arg(version.toLongLong()));
  const QVariant actions = map.value(kActionsKey);
  if (actions.typeId() != QMetaType::QVariantList) return bad(error, QStringLiteral("no action list"));

  std::vector<ActionRecord> records;
  for (const QVariant& item : actions.toList()) {
    if (item.typeId() != QMetaType::QVariantMap) return bad(error, QStringLiteral("an action is not a dictionary"));
    const QVariantMap entry = item.toMap();
    const QVariant identifier = entry.value(kIdentifierKey);
    if (identifier.typeId() != QMetaType::QString || identifier.toString().isEmpty())
      return bad(error, QStringLiteral("an action has no identifier"));
    const QVariant parameters = entry.value(kParametersKey);
    if (parameters.isValid() && parameters.typeId() != QMetaType::QVariantMap)
      return bad(error, QStringLiteral("an action's parameters are not a dictionary"));
    ActionRecord record;
    record.identifier = identifier.toString();
    record.name = entry.value(kNameKey).toString();
    const QString path = entry.value(kPathKey).toString();
    record.hostBundlePath = entry.value(kInRootKey).toBool() ? places::hostPath(path) : path;
    record.parameters = parameters.toMap();
    records.push_back(std::move(record));
  }
  return records;
}

std::optional<std::vector<ActionRecord>> read(const QString& documentPath, QString* error) {
  QString problem;
  const std::optional<QVariant> document = plist::readFile(documentPath, &problem);
  if (!document) return bad(error, QStringLiteral("%1: %2").arg(documentPath, problem));
  std::optional<std::vector<ActionRecord>> records = decode(*document, &problem);
  if (!records) return bad(error, QStringLiteral("%1: %2").arg(documentPath, problem));
  return records;
}

}  // namespace workflow_document
