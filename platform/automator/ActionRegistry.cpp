// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/automator/ActionRegistry.h"

#include <QHash>
#include <mutex>

#include "platform/automator/GetDefinitionOfWord.h"

namespace automator {
namespace {

struct Registry {
  std::mutex mutex;
  QHash<QString, ActionFactory> factories;
  Registry() {
    // Listed here rather than self-registering: a static library drops object files that
    // nothing refers to, registrars included.
    factories.insert(QString::fromLatin1(GetDefinitionOfWord::kIdentifier), &GetDefinitionOfWord::make);
  }
};

Registry& registry() {
  static Registry instance;
  return instance;
}

}  // namespace

ActionFactory findAction(const QString& bundleIdentifier) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  return r.factories.value(bundleIdentifier, nullptr);
}

void registerAction(const QString& bundleIdentifier, ActionFactory factory) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  if (factory) r.factories.insert(bundleIdentifier, factory);
  else r.factories.remove(bundleIdentifier);
}

}  // namespace automator
