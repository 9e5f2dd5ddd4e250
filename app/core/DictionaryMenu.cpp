// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/core/DictionaryMenu.h"

#include <QDir>
#include <QFileInfo>

#include "platform/Places.h"

QStringList contentsOfDirectoryAtPath(const QString& path) {
  QDir dir(path);
  if (path.isEmpty() || !dir.exists()) return {};
  // Hidden entries (a name beginning with a dot) are left out, as the platform's listing
  // leaves them out: an import's unfinished bundle is one.
  return dir.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot,
                       QDir::Name | QDir::IgnoreCase);
}

QString stringByDeletingPathExtension(const QString& name) {
  const qsizetype slash = name.lastIndexOf('/');
  const qsizetype dot = name.lastIndexOf('.');
  if (dot <= slash + 1) return name;  // no extension, or only a leading dot
  return name.left(dot);
}

QList<DictionaryEntry> dictionaryEntries() {
  QList<DictionaryEntry> entries;
  const QString machine = places::dictionariesFolder();
  const QString user = places::userDictionariesFolder();
  for (const QString& name : contentsOfDirectoryAtPath(machine)) entries.append({name, QDir::cleanPath(machine), false});
  // A user folder that is the machine's (a link, or a home inside the root) is listed once.
  const QString machineCanonical = QFileInfo(machine).canonicalFilePath();
  if (machineCanonical.isEmpty() || QFileInfo(user).canonicalFilePath() != machineCanonical) {
    for (const QString& name : contentsOfDirectoryAtPath(user)) entries.append({name, user, true});
  }
  return entries;
}

QStringList dictionaryFolderEntries() {
  QStringList names;
  for (const DictionaryEntry& entry : dictionaryEntries()) names.append(entry.name);
  return names;
}
