// SPDX-License-Identifier: GPL-3.0-or-later
#include "dictionary/SampleSource.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "dictionary/Bundle.h"
#include "dictionary/Dictionary.h"
#include "dictionary/Import.h"
#include "dictionary/MappedFile.h"
#include "platform/SafeFile.h"

namespace dictionary {

std::optional<SampleSource> parseSampleSource(const QString& text, QString* error) {
  SampleSource source;
  QString headword;
  QStringList body;
  bool inEntry = false;
  auto finishEntry = [&]() {
    if (!inEntry) return;
    while (!body.isEmpty() && body.last().trimmed().isEmpty()) body.removeLast();
    QString entryText = headword;
    for (const QString& line : body) entryText += QLatin1Char('\n') + line;
    source.entries.append({headword, entryText});
    body.clear();
  };
  const QStringList lines = text.split(QLatin1Char('\n'));
  for (qsizetype number = 0; number < lines.size(); ++number) {
    QString line = lines[number];
    if (line.endsWith(QLatin1Char('\r'))) line.chop(1);
    if (line.startsWith(QLatin1Char('#'))) continue;
    if (line.startsWith(QLatin1String("%name")) && (line.size() == 5 || line.at(5).isSpace())) {
      source.name = line.mid(5).trimmed();
      continue;
    }
    if (line.startsWith(QLatin1String("%url")) && (line.size() == 4 || line.at(4).isSpace())) {
      source.url = line.mid(4).trimmed();
      continue;
    }
    if (line.startsWith(QLatin1Char('@'))) {
      finishEntry();
      headword = line.mid(1).trimmed();
      if (headword.isEmpty()) {
        if (error) *error = QStringLiteral("line %1: '@' without a headword").arg(number + 1);
        return std::nullopt;
      }
      inEntry = true;
      continue;
    }
    if (inEntry) {
      body.append(line);
    } else if (!line.trimmed().isEmpty()) {
      if (error) *error = QStringLiteral("line %1: text before the first '@' entry").arg(number + 1);
      return std::nullopt;
    }
  }
  finishEntry();
  return source;
}

std::optional<SampleSource> readSampleSource(const QString& path, QString* error) {
  const std::optional<QByteArray> bytes = safefile::readRegular(path, qint64(kMaxSmallFileBytes) * 64, error);
  if (!bytes) return std::nullopt;
  QString problem;
  std::optional<SampleSource> source = parseSampleSource(QString::fromUtf8(*bytes), &problem);
  if (!source && error) *error = QStringLiteral("%1: %2").arg(path, problem);
  return source;
}

bool writeSampleBundle(const SampleSource& source, const QString& bundlePath, QString* error) {
  const QFileInfo target(bundlePath);
  QString base = target.fileName();
  if (base.endsWith(QLatin1String(kBundleExtension))) base.chop(int(qstrlen(kBundleExtension)));
  base = safeBundleName(base, QStringLiteral("dictionary"));
  const QString parent = target.absolutePath();
  if (!QDir().mkpath(parent)) {
    if (error) *error = QStringLiteral("cannot create %1").arg(parent);
    return false;
  }
  QTemporaryDir building(parent + QStringLiteral("/.makedict-XXXXXX"));
  if (!building.isValid()) {
    if (error) *error = QStringLiteral("cannot create a folder in %1: %2").arg(parent, building.errorString());
    return false;
  }
  QFile::setPermissions(building.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                                             QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
  DictdWriterOptions options;
  options.shortName = source.name.isEmpty() ? base : source.name;
  options.url = source.url;
  // dictd serves dictionaries flagged utf8 only in a UTF-8 locale; plain ASCII ones anywhere.
  options.utf8 = false;
  for (const DictdEntry& entry : source.entries) {
    for (const QChar c : entry.headword) options.utf8 = options.utf8 || c.unicode() >= 0x80;
  }
  options.dictzip = true;
  options.originalHeadwordColumn = true;
  DictdFiles files;
  if (!writeDictd(building.path() + QLatin1Char('/') + base, source.entries, options, &files, error)) return false;
  const BundleInfo info{options.shortName, QLatin1String(kDictdFormat),
                        {QFileInfo(files.index).fileName(), QFileInfo(files.data).fileName()}};
  if (!writeBundleInfo(building.path(), info, error)) return false;
  if (!openBundle(building.path(), error)) return false;
  if (!replaceBundle(building.path(), target.absoluteFilePath(), error)) return false;
  building.setAutoRemove(false);
  return true;
}

}  // namespace dictionary
