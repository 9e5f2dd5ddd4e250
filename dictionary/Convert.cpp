// SPDX-License-Identifier: GPL-3.0-or-later
#include "dictionary/Convert.h"

#include "dictionary/DictZip.h"
#include "dictionary/DictdFormat.h"
#include "dictionary/MappedFile.h"
#include "platform/SafeFile.h"

namespace dictionary {

bool convertDictdToStarDict(const QString& indexPath, const QString& dataPath, const QString& basePath,
                            const StarDictWriterOptions& options, StarDictFiles* files, QString* error) {
  auto data = DictData::open(dataPath, error);
  if (!data) return false;
  const std::optional<QByteArray> index = safefile::readRegular(indexPath, qint64(kMaxIndexBytes), error);
  if (!index) return false;
  QList<StarDictEntry> entries;
  for (const QByteArray& line : index->split('\n')) {
    const QList<QByteArray> fields = line.split('\t');
    if (fields.size() < 3) continue;
    const auto offset = dictd::decodeNumber({fields[1].constData(), std::size_t(fields[1].size())});
    const auto length = dictd::decodeNumber({fields[2].constData(), std::size_t(fields[2].size())});
    QByteArray text;
    if (!offset || !length || !data->read(*offset, *length, &text, error)) return false;
    const QString headword = QString::fromUtf8(fields[0]);
    const QString spelled = QString::fromUtf8(text.left(text.indexOf('\n'))).trimmed();
    QStringList synonyms;
    if (spelled != headword && spelled.toCaseFolded() == headword.toCaseFolded()) synonyms.append(spelled);
    entries.append(starDictTextEntry(headword, QString::fromUtf8(text), synonyms));
  }
  return writeStarDict(basePath, entries, options, files, error);
}

}  // namespace dictionary
