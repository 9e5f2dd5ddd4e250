// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The workflow document: a property list dictionary
//   WorkflowDocumentVersion  integer (1)
//   Actions                  array of dictionaries, in running order:
//     BundleIdentifier       the action's identifier (selects its implementation)
//     Name                   the action's name
//     BundlePath             the bundle folder: a mac-style path when it lies under the system
//                            root (BundlePathIsInSystemRoot true), else a host path
//     Parameters             dictionary
#include <QString>
#include <QVariant>
#include <QVariantMap>
#include <optional>
#include <vector>

namespace workflow_document {

inline constexpr int kVersion = 1;

struct ActionRecord {
  QString identifier;
  QString name;
  QString hostBundlePath;
  QVariantMap parameters;
};

QVariantMap encode(const ActionRecord& action);
QVariantMap encodeDocument(const QVariantList& actions);

// The actions of a document, or nothing and a message when it is not a workflow document.
std::optional<std::vector<ActionRecord>> decode(const QVariant& document, QString* error);
std::optional<std::vector<ActionRecord>> read(const QString& documentPath, QString* error);

}  // namespace workflow_document
