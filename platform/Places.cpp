// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Places.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace places {
namespace {

QString fromEnv(const char* name) { return QString::fromLocal8Bit(qgetenv(name)); }

QString executableDir() {
  // Works with or without a QCoreApplication instance.
  if (QCoreApplication::instance()) return QCoreApplication::applicationDirPath();
  return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath().section('/', 0, -2);
}

QString xdgHome(const char* variable, const char* fallbackUnderHome) {
  const QString value = fromEnv(variable);
  // The XDG rules ignore relative values.
  if (!value.isEmpty() && QDir::isAbsolutePath(value)) return QDir::cleanPath(value);
  return QDir::cleanPath(QDir::homePath() + '/' + QLatin1String(fallbackUnderHome));
}

// The installed data folder (share/vocabulon), found from the executable's folder.
QString installedDataFolder() { return QDir::cleanPath(executableDir() + QStringLiteral("/" VOCABULON_DATA_FROM_BIN)); }

QString installedRoot() {
  const QString installed = installedDataFolder() + QStringLiteral("/root");
  return QFileInfo(installed).isDir() ? installed : QString();
}

}  // namespace

QString systemRoot() {
  const QString fromVariable = fromEnv("VOCABULON_SYSTEM_ROOT");
  if (!fromVariable.isEmpty()) return QDir::cleanPath(QDir(fromVariable).absolutePath());
  const QString installed = installedRoot();
  return installed.isEmpty() ? QStringLiteral(VOCABULON_BUILD_ROOT) : installed;
}

QString machineLibrary() {
  if (!fromEnv("VOCABULON_SYSTEM_ROOT").isEmpty()) return {};
  const QString fromVariable = fromEnv("VOCABULON_MACHINE_LIBRARY");
  if (!fromVariable.isEmpty()) return QDir::cleanPath(QDir(fromVariable).absolutePath());
  return installedRoot().isEmpty() ? QString() : QStringLiteral(VOCABULON_MACHINE_LIBRARY);
}

QString hostPath(const QString& macPath) {
  if (macPath.isEmpty()) return {};
  const QString library = machineLibrary();
  if (!library.isEmpty() && (macPath == QLatin1String("/Library") || macPath.startsWith(QLatin1String("/Library/"))))
    return library + macPath.mid(8);
  const QString userFolder = QString::fromLatin1(kUserDictionariesFolder);
  if (macPath.startsWith(userFolder) || macPath == userFolder.chopped(1))
    return userDictionariesFolder() + macPath.mid(userFolder.size() - 1);
  QString root = systemRoot();
  if (root == QLatin1String("/")) root.clear();
  return macPath.startsWith('/') ? root + macPath : root + '/' + macPath;
}

QString macPath(const QString& host) {
  const QString root = systemRoot();
  const QString clean = QDir::cleanPath(host);
  const QString library = machineLibrary();
  if (!library.isEmpty() && (clean == library || clean.startsWith(library + '/')))
    return QStringLiteral("/Library") + clean.mid(library.size());
  if (root == QLatin1String("/")) return clean;
  if (clean == root) return QStringLiteral("/");
  if (clean.startsWith(root + '/')) return clean.mid(root.size());
  return {};
}

QString userDataHome() { return xdgHome("XDG_DATA_HOME", ".local/share"); }
QString userConfigHome() { return xdgHome("XDG_CONFIG_HOME", ".config"); }
QString userStateHome() { return xdgHome("XDG_STATE_HOME", ".local/state"); }

QString machineConfigHome() {
  const QString fromVariable = fromEnv("VOCABULON_SYSTEM_CONFIG_DIR");
  if (!fromVariable.isEmpty()) return QDir::cleanPath(QDir(fromVariable).absolutePath());
  return QStringLiteral("/etc/xdg");
}

QString mainBundlePath() {
  const QString fromVariable = fromEnv("VOCABULON_MAIN_BUNDLE");
  if (!fromVariable.isEmpty()) return QDir::cleanPath(QDir(fromVariable).absolutePath());
  const QString dir = executableDir();
  for (const QString& candidate : {dir + QStringLiteral("/Vocabulon.app"),
                                   installedDataFolder() + QStringLiteral("/Vocabulon.app")}) {
    if (QFileInfo(candidate + QStringLiteral("/Contents/Info.plist")).isFile())
      return QDir::cleanPath(candidate);
  }
  return QStringLiteral(VOCABULON_BUILD_BUNDLE);
}

QString dictionariesFolder() { return hostPath(QString::fromLatin1(kDictionariesFolder)); }

QString userDictionariesFolder() { return userDataHome() + QStringLiteral("/vocabulon/Dictionaries"); }

}  // namespace places
