// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/StarDictExport.h"

#include <QDir>
#include <QFileInfo>
#include <cstdio>

#include "dictionary/Convert.h"

bool exportStarDict(const QString& indexPath, const QString& outputFolder) {
  const QFileInfo index(indexPath);
  const QString name = index.completeBaseName();
  QString data = index.path() + '/' + name + QStringLiteral(".dict.dz");
  if (!QFileInfo::exists(data)) data.chop(3);
  const QString folder = outputFolder + '/' + name;
  dictionary::StarDictWriterOptions options;
  options.bookName = name;
  options.sameTypeSequence = "m";
  options.dictzip = true;
  QString error;
  if (!QDir().mkpath(folder) ||
      !dictionary::convertDictdToStarDict(indexPath, data, folder + '/' + name, options, nullptr, &error)) {
    std::fprintf(stderr, "cannot convert %s: %s\n", qPrintable(indexPath), qPrintable(error));
    return false;
  }
  return true;
}
