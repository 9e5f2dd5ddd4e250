// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/cf/CFPreferences.h"

#include <QFile>
#include <QFileInfo>
#include <map>
#include <memory>
#include <mutex>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Places.h"
#include "platform/PreferenceStore.h"
#include "platform/cf/CFQt.h"
#include "platform/cocoa/UserDefaults.h"

namespace {

struct Stores {
  std::mutex mutex;
  // Held for the whole run, as the platform caches its domains; released at exit, which
  // writes what is still pending.
  std::map<QString, std::shared_ptr<PreferenceStore>> byPath;
};

Stores& stores() {
  static Stores instance;
  return instance;
}

bool exists(const QString& path) {
  struct stat info;
  return ::lstat(QFile::encodeName(path).constData(), &info) == 0;
}

bool isString(CFTypeRef value) { return value && CFGetTypeID(value) == CFStringGetTypeID(); }

bool isCurrentUser(CFStringRef user) {
  if (CFEqual(user, kCFPreferencesCurrentUser)) return true;
  if (!isString(user)) return false;
  const struct passwd* entry = ::getpwuid(::geteuid());
  return entry && CFStringToQString(user) == QString::fromLocal8Bit(entry->pw_name);
}

// The application's name as a file name; empty when it cannot be one.
QString applicationName(CFStringRef applicationID) {
  if (CFEqual(applicationID, kCFPreferencesCurrentApplication))
    return QFileInfo(UserDefaults::standardFilePath()).completeBaseName();
  if (!isString(applicationID) || CFEqual(applicationID, kCFPreferencesAnyApplication)) return {};
  const QString name = CFStringToQString(applicationID);
  if (name.isEmpty() || name.startsWith('.') || name.contains('/') || name.contains(QChar(0))) return {};
  return name;
}

struct Domain {
  std::shared_ptr<PreferenceStore> store;
  bool machine = false;
};

Domain domainFor(CFStringRef applicationID, CFStringRef user, CFStringRef host) {
  const bool machine = CFEqual(user, kCFPreferencesAnyUser) &&
                       (CFEqual(host, kCFPreferencesCurrentHost) || CFEqual(host, kCFPreferencesAnyHost));
  const bool application = isCurrentUser(user) && CFEqual(host, kCFPreferencesAnyHost);
  if (!machine && !application) return {};
  QString path;
  if (application && CFEqual(applicationID, kCFPreferencesCurrentApplication)) {
    path = UserDefaults::standardFilePath();  // exactly the user defaults' file
  } else {
    const QString name = applicationName(applicationID);
    if (name.isEmpty()) return {};
    path = (machine ? places::machineConfigHome() : places::userConfigHome()) + '/' + name + QStringLiteral(".plist");
  }
  Stores& all = stores();
  std::lock_guard lock(all.mutex);
  std::shared_ptr<PreferenceStore>& store = all.byPath[path];
  if (!store) store = PreferenceStore::forFile(path);
  return {store, machine};
}

}  // namespace

CFPropertyListRef CFPreferencesCopyValue(CFStringRef key, CFStringRef applicationID, CFStringRef userName,
                                         CFStringRef hostName) {
  if (!isString(key)) return nullptr;
  const Domain domain = domainFor(applicationID, userName, hostName);
  if (!domain.store) return nullptr;
  const QVariant value = domain.store->value(CFStringToQString(key));
  return value.isValid() ? CFPropertyListCreateFromQVariant(value) : nullptr;
}

void CFPreferencesSetValue(CFStringRef key, CFPropertyListRef value, CFStringRef applicationID,
                           CFStringRef userName, CFStringRef hostName) {
  if (!isString(key)) return;
  QVariant stored;  // invalid: remove the key
  if (value) {
    stored = CFPropertyListToQVariant(value);
    if (!stored.isValid()) return;  // not a property list: never taken for a removal
  }
  const Domain domain = domainFor(applicationID, userName, hostName);
  if (domain.store) domain.store->setValue(CFStringToQString(key), stored);
}

Boolean CFPreferencesSynchronize(CFStringRef applicationID, CFStringRef userName, CFStringRef hostName) {
  const Domain domain = domainFor(applicationID, userName, hostName);
  if (!domain.store) return false;
  if (!domain.machine) return domain.store->synchronize();
  const QString file = domain.store->filePath();
  const QString folder = QFileInfo(file).path();
  const bool hadFolder = exists(folder), hadFile = exists(file);
  if (!domain.store->synchronize()) {
    domain.store->discardPendingChanges();
    return false;
  }
  // Every user reads the machine's preferences, whatever the writer's umask; a mode that the
  // administrator gave an existing file is kept.
  if (!hadFolder) ::chmod(QFile::encodeName(folder).constData(), 0755);
  if (!hadFile) ::chmod(QFile::encodeName(file).constData(), 0644);
  return true;
}

CFPropertyListRef CFPreferencesCopyAppValue(CFStringRef key, CFStringRef applicationID) {
  return CFPreferencesCopyValue(key, applicationID, kCFPreferencesCurrentUser, kCFPreferencesAnyHost);
}

void CFPreferencesSetAppValue(CFStringRef key, CFPropertyListRef value, CFStringRef applicationID) {
  CFPreferencesSetValue(key, value, applicationID, kCFPreferencesCurrentUser, kCFPreferencesAnyHost);
}

Boolean CFPreferencesAppSynchronize(CFStringRef applicationID) {
  return CFPreferencesSynchronize(applicationID, kCFPreferencesCurrentUser, kCFPreferencesAnyHost);
}
