// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The implementations behind action bundles, found by bundle identifier. A workflow document
// names its actions; the runner makes one ActionInstance per action when it reads the
// document and reuses it for every run until the document changes.
#include <QString>
#include <QVariant>
#include <QVariantMap>
#include <memory>

namespace automator {

class ActionInstance {
 public:
  virtual ~ActionInstance() = default;
  // The action's output for an input (a list, as workflows pass them); nil (an invalid
  // QVariant) when it fails or has nothing, with a message in *error when there is one.
  virtual QVariant run(const QVariant& input, QString* error) = 0;
};

// Makes an instance from the action's parameters; nothing and a message when they are unusable.
using ActionFactory = std::unique_ptr<ActionInstance> (*)(const QVariantMap& parameters,
                                                           QString* error);

// The factory for an identifier, or null. The built-in actions are always present.
ActionFactory findAction(const QString& bundleIdentifier);
// Adds or replaces an implementation.
void registerAction(const QString& bundleIdentifier, ActionFactory factory);

}  // namespace automator
