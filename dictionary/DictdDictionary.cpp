// SPDX-License-Identifier: GPL-3.0-or-later
#include "dictionary/DictdDictionary.h"

#include <QFileInfo>
#include <QVarLengthArray>
#include <algorithm>
#include <cstring>

#include "dictionary/DictZip.h"
#include "dictionary/MappedFile.h"
#include "dictionary/TextDecoding.h"

namespace dictionary {
namespace {

struct IndexLine {
  std::string_view headword, offset, length, original;
};

// Splits one line (without its newline) into 3 or 4 fields; false for any other shape.
bool splitLine(const char* p, const char* end, IndexLine* line) {
  if (end > p && end[-1] == '\r') --end;
  const char* fields[4];
  const char* fieldEnds[4];
  int count = 0;
  const char* start = p;
  for (;;) {
    const char* tab = static_cast<const char*>(std::memchr(start, '\t', std::size_t(end - start)));
    if (count == 4) return false;
    fields[count] = start;
    fieldEnds[count] = tab ? tab : end;
    ++count;
    if (!tab) break;
    start = tab + 1;
  }
  if (count < 3 || fieldEnds[0] == fields[0]) return false;
  line->headword = {fields[0], std::size_t(fieldEnds[0] - fields[0])};
  line->offset = {fields[1], std::size_t(fieldEnds[1] - fields[1])};
  line->length = {fields[2], std::size_t(fieldEnds[2] - fields[2])};
  line->original = count == 4 ? std::string_view(fields[3], std::size_t(fieldEnds[3] - fields[3]))
                              : std::string_view();
  return true;
}

const char* lineEnd(const char* p, const char* end) {
  const char* newline = static_cast<const char*>(std::memchr(p, '\n', std::size_t(end - p)));
  return newline ? newline : end;
}

std::nullptr_t changedWhileOpening(const QString& path, QString* error) {
  if (error) *error = QStringLiteral("%1: changed while it was read").arg(path);
  return nullptr;
}

}  // namespace

QString DictdDictionary::dataPathFor(const QString& indexPath) {
  QString base = indexPath;
  if (base.endsWith(QLatin1String(".index"))) base.chop(6);
  for (const char* suffix : {".dict.dz", ".dict"}) {
    const QString candidate = base + QLatin1String(suffix);
    if (QFileInfo(candidate).isFile()) return candidate;
  }
  return QString();
}

DictdDictionary::~DictdDictionary() = default;

std::unique_ptr<DictdDictionary> DictdDictionary::open(const QString& indexPath, const QString& dataPath,
                                                       QString* error) {
  return open(indexPath, dataPath, nullptr, error);
}

std::unique_ptr<DictdDictionary> DictdDictionary::open(const QString& indexPath, std::unique_ptr<DictData> data,
                                                       QString* error) {
  const QString dataPath = data ? data->path() : QString();
  return open(indexPath, dataPath, std::move(data), error);
}

std::unique_ptr<DictdDictionary> DictdDictionary::open(const QString& indexPath, const QString& dataPath,
                                                       std::unique_ptr<DictData> data, QString* error) {
  std::unique_ptr<DictdDictionary> dictionary(new DictdDictionary);
  dictionary->indexPath_ = indexPath;
  dictionary->index_ = MappedFile::open(indexPath, kMaxIndexBytes, error);
  if (!dictionary->index_) return nullptr;
  const char* const begin = dictionary->index_->data();
  const char* const end = begin + dictionary->index_->size();
  if (dictionary->index_->size() > UINT32_MAX) {
    if (error) *error = QStringLiteral("%1: index larger than 4 GB").arg(indexPath);
    return nullptr;
  }

  // One pass over the lines: remember where each usable line starts, and the special entries.
  std::vector<std::uint32_t>& lines = dictionary->lines_;
  lines.reserve(dictionary->index_->size() / 24);
  std::int64_t shortLine = -1, urlLine = -1;
  dictd::KeyRules& rules = dictionary->rules_;
  // The order is checked on the way, each headword against the one before, under the rules
  // read so far. Rules only ever get added, so the comparisons made before the last one
  // turned up are made again at the end.
  std::string_view previous;
  std::size_t lastDisorder = 0, lastRuleChange = 0;  // line numbers; 0 for none
  qsizetype& skipped = dictionary->skippedLines_;
  const bool scanned = guardedRead([&] {
    for (const char* p = begin; p < end;) {
      const char* eol = lineEnd(p, end);
      IndexLine line;
      if (splitLine(p, eol, &line)) {
        const auto position = std::uint32_t(p - begin);
        if (line.headword[0] == '0') {
          const dictd::KeyRules before = rules;
          switch (dictd::specialEntry(line.headword)) {
            case dictd::SpecialEntry::Short:
              if (shortLine < 0) shortLine = position;
              break;
            case dictd::SpecialEntry::Url:
              if (urlLine < 0) urlLine = position;
              break;
            case dictd::SpecialEntry::AllChars: rules.allChars = true; break;
            case dictd::SpecialEntry::Utf8: rules.utf8 = true; break;
            case dictd::SpecialEntry::EightBit: rules.eightBit = true; break;
            case dictd::SpecialEntry::CaseSensitive: rules.caseSensitive = true; break;
            default: break;
          }
          if (!(before == rules)) lastRuleChange = lines.size();
        }
        if (!lines.empty() && dictd::compareKeys(line.headword, previous, rules) < 0) lastDisorder = lines.size();
        previous = line.headword;
        lines.push_back(position);
      } else if (eol > p && !(eol - p == 1 && *p == '\r')) {
        ++skipped;
      }
      if (eol == end) break;
      p = eol + 1;
    }
  });
  if (!scanned) return changedWhileOpening(indexPath, error);
  if (lines.empty()) {
    if (error) {
      *error = dictionary->skippedLines_
                   ? QStringLiteral("%1: not a dictd index (no line has the headword, offset and length fields)")
                         .arg(indexPath)
                   : QStringLiteral("%1: empty index").arg(indexPath);
    }
    return nullptr;
  }
  lines.shrink_to_fit();

  // Lookups search the lines with our own comparison; only when the file is not in that
  // order already do we pay for sorting. Equal headwords stay in file order: lines compare
  // by their place in the file last (std::sort, unlike stable_sort, needs no buffer that a
  // fault would leave behind).
  auto less = [&](std::uint32_t a, std::uint32_t b) {
    return dictd::compareKeys(dictionary->headword(a), dictionary->headword(b), rules) < 0;
  };
  const bool ordered = guardedRead([&] {
    bool inOrder = lastDisorder == 0 || lastDisorder < lastRuleChange;
    for (std::size_t i = 1; i < lastRuleChange && inOrder; ++i) inOrder = !less(lines[i], lines[i - 1]);
    dictionary->indexWasSorted_ = inOrder;
    if (!inOrder) {
      std::sort(lines.begin(), lines.end(), [&](std::uint32_t a, std::uint32_t b) {
        const int order = dictd::compareKeys(dictionary->headword(a), dictionary->headword(b), rules);
        return order < 0 || (order == 0 && a < b);
      });
    }
  });
  if (!ordered || !guardedRead([&] { dictionary->measureHeadwords(); })) return changedWhileOpening(indexPath, error);

  if (dataPath.isEmpty()) {
    if (error) *error = QStringLiteral("%1: no data file (.dict or .dict.dz) beside it").arg(indexPath);
    return nullptr;
  }
  dictionary->data_ = data ? std::move(data) : DictData::open(dataPath, error);
  if (!dictionary->data_) return nullptr;
  if (!dictionary->finishOpen(shortLine, urlLine, error)) return nullptr;
  return dictionary;
}

bool DictdDictionary::finishOpen(std::int64_t shortLine, std::int64_t urlLine, QString*) {
  if (shortLine >= 0) shortName_ = specialText(std::uint32_t(shortLine));
  if (shortName_.isEmpty()) shortName_ = QFileInfo(indexPath_).completeBaseName();
  if (urlLine >= 0) url_ = specialText(std::uint32_t(urlLine));
  return true;
}

namespace {

// A kept order: this header, then the line offsets in key order. Numbers in this machine's
// byte order: the file is made and read on the same machine.
// Then the headwords' lengths in the same order, and a checksum of both arrays: a damaged
// file is refused at open, and what a well-formed one says of the index is checked at each
// probe rather than all at once.
struct OrderHeader {
  char magic[8];
  std::uint32_t rules;  // KeyRules bits, and whether the file was in order
  std::uint32_t count;
  std::int64_t shortLine, urlLine, skippedLines;
  std::uint64_t indexSize;
  std::uint64_t checksum;
};
constexpr char kOrderMagic[8] = {'V', 'o', 'c', 'O', 'r', 'd', '2', '\n'};

std::uint64_t checksumOf(const std::vector<std::uint32_t>& a, const std::vector<std::uint32_t>& b) {
  std::uint64_t hash = 14695981039346656037ull;
  for (const auto* numbers : {&a, &b}) {
    for (const std::uint32_t n : *numbers) hash = (hash ^ n) * 1099511628211ull;
  }
  return hash;
}
constexpr std::uint32_t kAllChars = 1, kUtf8 = 2, kEightBit = 4, kCaseSensitive = 8, kWasSorted = 16;

}  // namespace

QByteArray DictdDictionary::order() const {
  std::int64_t shortLine = -1, urlLine = -1;
  const bool read = guardedRead([&] {
    for (const std::uint32_t line : lines_) {
      const std::string_view word = headword(line);
      if (word.empty() || word[0] != '0') continue;
      const dictd::SpecialEntry entry = dictd::specialEntry(word);
      // The first in file order, as open() takes them.
      if (entry == dictd::SpecialEntry::Short && (shortLine < 0 || line < shortLine)) shortLine = line;
      if (entry == dictd::SpecialEntry::Url && (urlLine < 0 || line < urlLine)) urlLine = line;
    }
  });
  if (!read) return QByteArray();
  OrderHeader header{};
  std::memcpy(header.magic, kOrderMagic, sizeof kOrderMagic);
  header.rules = (rules_.allChars ? kAllChars : 0) | (rules_.utf8 ? kUtf8 : 0) | (rules_.eightBit ? kEightBit : 0) |
                 (rules_.caseSensitive ? kCaseSensitive : 0) | (indexWasSorted_ ? kWasSorted : 0);
  header.count = std::uint32_t(lines_.size());
  header.shortLine = shortLine;
  header.urlLine = urlLine;
  header.skippedLines = skippedLines_;
  header.indexSize = index_->size();
  header.checksum = checksumOf(lines_, lengths_);
  QByteArray out(reinterpret_cast<const char*>(&header), sizeof header);
  out.append(reinterpret_cast<const char*>(lines_.data()), qsizetype(lines_.size() * sizeof(std::uint32_t)));
  out.append(reinterpret_cast<const char*>(lengths_.data()), qsizetype(lengths_.size() * sizeof(std::uint32_t)));
  return out;
}

std::unique_ptr<DictdDictionary> DictdDictionary::openWithOrder(const QString& indexPath, const QString& orderPath,
                                                                std::unique_ptr<DictData>& data, QString* error) {
  auto fail = [&](const QString& why) {
    if (error) *error = QStringLiteral("%1: %2").arg(orderPath, why);
    return nullptr;
  };
  const std::unique_ptr<MappedFile> order = MappedFile::open(orderPath, kMaxDataBytes, error);
  if (!order) return nullptr;
  OrderHeader header{};
  if (order->size() < sizeof header) return fail(QStringLiteral("cut short"));
  if (!order->copy(0, sizeof header, reinterpret_cast<char*>(&header))) return fail(QStringLiteral("changed while it was read"));
  if (std::memcmp(header.magic, kOrderMagic, sizeof kOrderMagic) != 0) return fail(QStringLiteral("not a kept order"));
  if (header.count == 0 || order->size() != sizeof header + std::uint64_t(header.count) * 2 * sizeof(std::uint32_t)) {
    return fail(QStringLiteral("wrong length"));
  }
  std::unique_ptr<DictdDictionary> dictionary(new DictdDictionary);
  dictionary->indexPath_ = indexPath;
  dictionary->index_ = MappedFile::open(indexPath, kMaxIndexBytes, error);
  if (!dictionary->index_) return nullptr;
  const std::uint64_t size = dictionary->index_->size();
  if (header.indexSize != size || size > UINT32_MAX) return fail(QStringLiteral("made for another index"));
  auto validLine = [&](std::int64_t line) {
    return line >= 0 && std::uint64_t(line) < size && (line == 0 || dictionary->index_->data()[line - 1] == '\n');
  };
  std::vector<std::uint32_t>& lines = dictionary->lines_;
  std::vector<std::uint32_t>& lengths = dictionary->lengths_;
  lines.resize(header.count);
  lengths.resize(header.count);
  const std::size_t arrayBytes = lines.size() * sizeof(std::uint32_t);
  if (!order->copy(sizeof header, arrayBytes, reinterpret_cast<char*>(lines.data())) ||
      !order->copy(sizeof header + arrayBytes, arrayBytes, reinterpret_cast<char*>(lengths.data()))) {
    return fail(QStringLiteral("changed while it was read"));
  }
  if (checksumOf(lines, lengths) != header.checksum) return fail(QStringLiteral("damaged"));
  // Each line is checked when a lookup reaches it (keyAt); the special ones are read now.
  bool valid = true;
  const bool read = guardedRead([&] {
    valid = (header.shortLine == -1 || validLine(header.shortLine)) && (header.urlLine == -1 || validLine(header.urlLine));
  });
  if (!read) return fail(QStringLiteral("changed while it was read"));
  if (!valid) return fail(QStringLiteral("made for another index"));
  dictionary->rules_ = {bool(header.rules & kAllChars), bool(header.rules & kUtf8), bool(header.rules & kEightBit),
                        bool(header.rules & kCaseSensitive)};
  dictionary->indexWasSorted_ = header.rules & kWasSorted;
  dictionary->skippedLines_ = qsizetype(header.skippedLines);
  if (!data) return fail(QStringLiteral("no data"));
  dictionary->data_ = std::move(data);
  dictionary->finishOpen(header.shortLine, header.urlLine, error);
  return dictionary;
}

std::string_view DictdDictionary::headword(std::uint32_t line) const {
  const char* p = index_->data() + line;
  const std::size_t rest = index_->size() - line;
  // Every line read from the index has a tab before its end; a kept order is only trusted
  // that far, so a line without one reads as an empty headword.
  const char* tab = static_cast<const char*>(std::memchr(p, '\t', rest));
  return {p, tab ? std::size_t(tab - p) : 0};
}

void DictdDictionary::measureHeadwords() {
  lengths_.resize(lines_.size());
  for (std::size_t i = 0; i < lines_.size(); ++i) lengths_[i] = std::uint32_t(headword(lines_[i]).size());
}

std::string_view DictdDictionary::keyAt(std::size_t i) const {
  const std::uint64_t line = lines_[i], length = lengths_[i], size = index_->size();
  const char* data = index_->data();
  // A headword that does not start a line and end at a tab of this index reads as empty:
  // it matches no word, and nothing past it is read.
  if (length == 0 || line + length >= size || data[line + length] != '\t' || (line > 0 && data[line - 1] != '\n')) {
    return {};
  }
  return {data + line, std::size_t(length)};
}

bool DictdDictionary::changedUnderRead(QString* error) const {
  noteChangedOnDisk();
  if (error) *error = QStringLiteral("%1: changed on disk while it was read").arg(indexPath_);
  return false;
}

bool DictdDictionary::readEntry(std::uint32_t position, QString* text, QString* error) const {
  std::optional<std::uint64_t> offset, length;
  const char* end = index_->data() + index_->size();
  if (!guardedRead([&] {
        IndexLine line;
        const char* p = index_->data() + position;
        splitLine(p, lineEnd(p, end), &line);
        offset = dictd::decodeNumber(line.offset);
        length = dictd::decodeNumber(line.length);
      })) {
    return changedUnderRead(error);
  }
  return readData(position, offset, length, text, error);
}

bool DictdDictionary::readData(std::uint32_t position, std::optional<std::uint64_t> offset,
                               std::optional<std::uint64_t> length, QString* text, QString* error) const {
  if (!offset || !length) {
    if (error) {
      QByteArray word;
      std::string_view view;
      if (!guardedRead([&] { view = headword(position); })) return changedUnderRead(error);
      word.resize(qsizetype(view.size()));
      if (!index_->copy(position, view.size(), word.data())) return changedUnderRead(error);
      *error = QStringLiteral("%1: bad offset or length for \"%2\"").arg(indexPath_, decodeText(word));
    }
    return false;
  }
  thread_local QByteArray scratch;  // one buffer per thread, reused word after word
  QByteArrayView bytes;
  if (!data_->view(*offset, *length, &bytes, &scratch, error)) {
    if (data_->changedOnDisk()) noteChangedOnDisk();
    return false;
  }
  *text = decodeText(bytes);
  chopTrailingSpace(*text);
  return true;
}

// The text of a special entry: its data without the first line (the headword line), trimmed.
QString DictdDictionary::specialText(std::uint32_t line) const {
  QString text;
  if (!readEntry(line, &text, nullptr)) return QString();
  const qsizetype newline = text.indexOf(QLatin1Char('\n'));
  const QString first = (newline < 0 ? text : text.left(newline)).trimmed();
  QString rest = newline < 0 ? QString() : text.mid(newline + 1).trimmed();
  // Some files give the text alone, without a headword line.
  if (rest.isEmpty() && dictd::specialEntry(first.toStdString()) == dictd::SpecialEntry::None) rest = first;
  if (rest.contains(QLatin1Char('\n'))) rest = rest.simplified();
  return rest;
}

std::optional<QString> DictdDictionary::define(QStringView word, QString* error) const {
  const QByteArray query = word.toUtf8();
  const std::string_view key(query.constData(), std::size_t(query.size()));
  if (!dictd::hasKey(key, rules_)) return std::nullopt;
  struct Place {
    std::uint32_t line;
    std::optional<std::uint64_t> offset, length;
  };
  QVarLengthArray<Place, 8> places;
  const char* end = index_->data() + index_->size();
  const bool searched = guardedRead([&] {
    std::size_t low = 0, count = lines_.size();
    while (count > 0) {
      const std::size_t half = count / 2;
      if (dictd::compareKeys(keyAt(low + half), key, rules_) < 0) {
        low += half + 1;
        count -= half + 1;
      } else {
        count = half;
      }
    }
    for (std::size_t i = low; i < lines_.size() && dictd::compareKeys(keyAt(i), key, rules_) == 0; ++i) {
      IndexLine line;
      const char* p = index_->data() + lines_[i];
      splitLine(p, lineEnd(p, end), &line);
      places.push_back({lines_[i], dictd::decodeNumber(line.offset), dictd::decodeNumber(line.length)});
    }
  });
  if (!searched) {
    changedUnderRead(error);
    return std::nullopt;
  }
  std::optional<QString> result;
  for (const Place& place : places) {
    QString text;
    if (!readData(place.line, place.offset, place.length, &text, error)) return std::nullopt;
    if (!result) {
      result = std::move(text);
    } else {
      *result += QLatin1String("\n\n");
      *result += text;
    }
  }
  return result;
}

void DictdDictionary::forEachHeadword(const std::function<void(std::string_view)>& visit) const {
  // A fault part way leaves the visitor's copies incomplete, never the process dead.
  if (!guardedRead([&] {
        for (std::size_t i = 0; i < lines_.size(); ++i) {
          if (const std::string_view word = keyAt(i); !word.empty()) visit(word);
        }
      })) {
    noteChangedOnDisk();
  }
}

}  // namespace dictionary
