#include "app/core/DictionaryMenu.h"

#include <QDir>

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

QStringList dictionaryFolderEntries() { return contentsOfDirectoryAtPath(places::dictionariesFolder()); }
