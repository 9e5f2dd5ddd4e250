// SPDX-License-Identifier: GPL-3.0-or-later
#include "dictionary/StarDictWriter.h"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <vector>

#include "dictionary/StarDictFormat.h"

namespace dictionary {
namespace {

// StarDict's own order (its tools and sdcv search with it): ASCII case folded, then bytes.
bool starDictLess(const QByteArray& a, const QByteArray& b) {
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? (unsigned char)(c + ('a' - 'A')) : (unsigned char)c; };
  const qsizetype common = std::min(a.size(), b.size());
  for (qsizetype i = 0; i < common; ++i) {
    const unsigned char x = lower(a[i]), y = lower(b[i]);
    if (x != y) return x < y;
  }
  if (a.size() != b.size()) return a.size() < b.size();
  return std::strcmp(a.constData(), b.constData()) < 0;
}

void putBe32(QByteArray& out, quint32 value) {
  out += char(value >> 24);
  out += char(value >> 16);
  out += char(value >> 8);
  out += char(value);
}

bool isText(char type) { return type >= 'a' && type <= 'z'; }

bool encodeFields(const StarDictEntry& entry, const QByteArray& sequence, QByteArray* out, QString* error) {
  auto fail = [&](const QString& why) {
    if (error) *error = QStringLiteral("entry \"%1\": %2").arg(entry.headword, why);
    return false;
  };
  if (!sequence.isEmpty() && entry.fields.size() != sequence.size()) {
    return fail(QStringLiteral("%1 fields for sametypesequence \"%2\"").arg(entry.fields.size()).arg(QLatin1String(sequence)));
  }
  for (qsizetype i = 0; i < entry.fields.size(); ++i) {
    const StarDictField& field = entry.fields[i];
    const bool last = i + 1 == entry.fields.size();
    if (!sequence.isEmpty()) {
      if (field.type != sequence[i]) return fail(QStringLiteral("field %1 is '%2', not '%3'").arg(i).arg(QLatin1Char(field.type)).arg(QLatin1Char(sequence[i])));
    } else {
      *out += field.type;
    }
    if (isText(field.type) && field.data.contains('\0')) return fail(QStringLiteral("text field holds a NUL"));
    if (!sequence.isEmpty() && last) {  // the last field's size is implicit
      *out += field.data;
    } else if (isText(field.type)) {
      *out += field.data;
      *out += '\0';
    } else {
      putBe32(*out, quint32(field.data.size()));
      *out += field.data;
    }
  }
  return true;
}

}  // namespace

StarDictEntry starDictTextEntry(const QString& headword, const QString& text, const QStringList& synonyms) {
  return StarDictEntry{headword, {StarDictField{'m', text.toUtf8()}}, synonyms};
}

bool writeStarDict(const QString& basePath, const QList<StarDictEntry>& entries, const StarDictWriterOptions& options,
                   StarDictFiles* files, QString* error) {
  if (options.offsets64 && options.version != QLatin1String("3.0.0")) {
    if (error) *error = QStringLiteral("64-bit offsets need version 3.0.0");
    return false;
  }
  std::vector<QByteArray> headwords;
  headwords.reserve(entries.size());
  for (const StarDictEntry& entry : entries) {
    headwords.push_back(entry.headword.toUtf8());
    if (headwords.back().isEmpty() || headwords.back().contains('\0')) {
      if (error) *error = QStringLiteral("empty headword or one with a NUL");
      return false;
    }
  }
  std::vector<qsizetype> order(entries.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) { return starDictLess(headwords[a], headwords[b]); });

  QByteArray idx, dict;
  struct Synonym {
    QByteArray word;
    quint32 target;
  };
  std::vector<Synonym> synonyms;
  for (qsizetype position = 0; position < qsizetype(order.size()); ++position) {
    const StarDictEntry& entry = entries[order[position]];
    QByteArray data;
    if (!encodeFields(entry, options.sameTypeSequence, &data, error)) return false;
    const quint64 offset = quint64(dict.size());
    if (!options.offsets64 && offset > 0xffffffffu) {
      if (error) *error = QStringLiteral("the data outgrows 32-bit offsets");
      return false;
    }
    idx += headwords[order[position]];
    idx += '\0';
    if (options.offsets64) putBe32(idx, quint32(offset >> 32));
    putBe32(idx, quint32(offset));
    putBe32(idx, quint32(data.size()));
    dict += data;
    for (const QString& synonym : entry.synonyms) {
      QByteArray word = synonym.toUtf8();
      if (word.isEmpty() || word.contains('\0')) continue;
      synonyms.push_back({std::move(word), quint32(position)});
    }
  }
  std::stable_sort(synonyms.begin(), synonyms.end(), [](const Synonym& a, const Synonym& b) { return starDictLess(a.word, b.word); });
  QByteArray syn;
  for (const Synonym& synonym : synonyms) {
    syn += synonym.word;
    syn += '\0';
    putBe32(syn, synonym.target);
  }

  StarDictFiles written{basePath + QLatin1String(".ifo"),
                        basePath + QLatin1String(options.compressIdx ? ".idx.gz" : ".idx"),
                        synonyms.empty() ? QString() : basePath + QLatin1String(".syn"),
                        basePath + QLatin1String(options.dictzip ? ".dict.dz" : ".dict")};
  stardict::Info info;
  info.version = options.version;
  info.bookName = options.bookName;
  info.wordCount = quint64(entries.size());
  if (!synonyms.empty()) info.synWordCount = quint64(synonyms.size());
  info.idxFileSize = quint64(idx.size());
  info.idxOffsetBits = options.offsets64 ? 64 : 32;
  info.sameTypeSequence = options.sameTypeSequence;
  info.author = options.author;
  info.description = options.description;

  if (options.dictzip) {
    std::optional<QByteArray> compressed = dictzipCompress(dict, options.chunkLength, error);
    if (!compressed) return false;
    dict = std::move(*compressed);
  }
  if (!writeFileAtomically(written.dict, dict, error) ||
      !writeFileAtomically(written.idx, options.compressIdx ? gzipCompress(idx) : idx, error) ||
      (!written.syn.isEmpty() && !writeFileAtomically(written.syn, syn, error)) ||
      !writeFileAtomically(written.ifo, stardict::serializeIfo(info, options.crlf, options.byteOrderMark), error)) {
    return false;
  }
  if (files) *files = written;
  return true;
}

}  // namespace dictionary
