// SPDX-License-Identifier: GPL-3.0-or-later
#include "dictionary/DictdWriter.h"

#include <algorithm>
#include <vector>

#include "dictionary/DictdFormat.h"

namespace dictionary {

bool writeDictd(const QString& basePath, const QList<DictdEntry>& entries, const DictdWriterOptions& options,
                DictdFiles* files, QString* error) {
  dictd::KeyRules rules;
  rules.allChars = options.allChars;
  rules.utf8 = options.utf8;
  rules.caseSensitive = options.caseSensitive;

  struct Line {
    QByteArray key;  // first field
    QByteArray original;
    quint64 offset, length;
  };
  std::vector<Line> lines;
  QByteArray data;

  auto addSpecial = [&](dictd::SpecialEntry entry, const QString& text) {
    const QByteArray name = dictd::specialEntryName(entry);
    // As dictd's formatter writes them: the name as headword line, then the text indented.
    const QByteArray body = name + "\n" + (text.isEmpty() ? QByteArray() : "     " + text.toUtf8() + "\n");
    lines.push_back({name, {}, quint64(data.size()), quint64(body.size())});
    data += body;
  };
  if (options.allChars) addSpecial(dictd::SpecialEntry::AllChars, QString());
  if (options.utf8) addSpecial(dictd::SpecialEntry::Utf8, QString());
  if (options.caseSensitive) addSpecial(dictd::SpecialEntry::CaseSensitive, QString());
  if (!options.shortName.isEmpty()) addSpecial(dictd::SpecialEntry::Short, options.shortName);
  if (!options.url.isEmpty()) addSpecial(dictd::SpecialEntry::Url, options.url);
  if (!options.info.isEmpty()) addSpecial(dictd::SpecialEntry::Info, options.info);

  for (const DictdEntry& entry : entries) {
    const QByteArray headword = entry.headword.toUtf8();
    QByteArray key = dictd::indexKey({headword.constData(), std::size_t(headword.size())}, rules);
    if (key.isEmpty()) {
      if (error) *error = QStringLiteral("headword \"%1\" has no letters or digits").arg(entry.headword);
      return false;
    }
    if (key.contains('\t') || key.contains('\n') || headword.contains('\t') || headword.contains('\n')) {
      if (error) *error = QStringLiteral("headword \"%1\" holds a tab or newline").arg(entry.headword);
      return false;
    }
    QByteArray body = entry.text.toUtf8();
    if (!body.endsWith('\n')) body += '\n';
    QByteArray original = options.originalHeadwordColumn && headword != key ? headword : QByteArray();
    lines.push_back({std::move(key), std::move(original), quint64(data.size()), quint64(body.size())});
    data += body;
  }

  std::stable_sort(lines.begin(), lines.end(), [&](const Line& a, const Line& b) {
    return dictd::compareKeys({a.key.constData(), std::size_t(a.key.size())},
                              {b.key.constData(), std::size_t(b.key.size())}, rules) < 0;
  });
  QByteArray index;
  for (const Line& line : lines) {
    index += line.key;
    index += '\t';
    index += dictd::encodeNumber(line.offset);
    index += '\t';
    index += dictd::encodeNumber(line.length);
    if (!line.original.isEmpty()) {
      index += '\t';
      index += line.original;
    }
    index += '\n';
  }

  DictdFiles written{basePath + QLatin1String(".index"),
                     basePath + QLatin1String(options.dictzip ? ".dict.dz" : ".dict")};
  if (options.dictzip) {
    std::optional<QByteArray> compressed = dictzipCompress(data, options.chunkLength, error);
    if (!compressed) return false;
    data = std::move(*compressed);
  }
  if (!writeFileAtomically(written.data, data, error) || !writeFileAtomically(written.index, index, error)) {
    return false;
  }
  if (files) *files = written;
  return true;
}

}  // namespace dictionary
