// SPDX-License-Identifier: GPL-3.0-or-later
#include "dictionary/StarDictDictionary.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cstring>
#include <numeric>

#include "dictionary/DictZip.h"
#include "dictionary/MappedFile.h"
#include "dictionary/TextDecoding.h"

namespace dictionary {
namespace {

constexpr qint64 kMaxIfoBytes = 1 << 20;

std::uint32_t be32(const char* p) {
  const auto* b = reinterpret_cast<const unsigned char*>(p);
  return (std::uint32_t(b[0]) << 24) | (std::uint32_t(b[1]) << 16) | (std::uint32_t(b[2]) << 8) | b[3];
}

std::uint64_t be64(const char* p) { return (std::uint64_t(be32(p)) << 32) | be32(p + 4); }

// Finds where each record (a NUL-terminated word and `trailer` more bytes) starts.
bool findRecords(std::string_view data, std::size_t trailer, std::vector<std::uint32_t>* starts,
                 const QString& path, QString* error) {
  if (data.size() > UINT32_MAX) {
    if (error) *error = QStringLiteral("%1: larger than 4 GB").arg(path);
    return false;
  }
  starts->reserve(data.size() / (trailer + 8));
  std::size_t pos = 0;
  while (pos < data.size()) {
    const void* nul = std::memchr(data.data() + pos, 0, data.size() - pos);
    const std::size_t next = nul ? std::size_t(static_cast<const char*>(nul) - data.data()) + 1 + trailer : 0;
    if (!nul || next > data.size()) {
      if (error) *error = QStringLiteral("%1: cut short in record %2").arg(path).arg(starts->size() + 1);
      return false;
    }
    starts->push_back(std::uint32_t(pos));
    pos = next;
  }
  return true;
}

std::string_view wordAt(std::string_view data, std::uint32_t start) {
  return {data.data() + start, std::strlen(data.data() + start)};
}

// Positions [first, last) of the records whose word folds to the query's.
template <typename WordAt>
std::pair<std::size_t, std::size_t> foldedRange(std::size_t count, std::string_view query, WordAt word) {
  std::size_t low = 0, high = count;
  while (low < high) {
    const std::size_t middle = low + (high - low) / 2;
    if (stardict::compareFolded(word(middle), query) < 0) low = middle + 1;
    else high = middle;
  }
  std::size_t end = low;
  high = count;
  while (end < high) {
    const std::size_t middle = end + (high - end) / 2;
    if (stardict::compareFolded(word(middle), query) <= 0) end = middle + 1;
    else high = middle;
  }
  return {low, end};
}

template <typename WordAt>
std::vector<std::uint32_t> orderIfNeeded(std::size_t count, WordAt word) {
  for (std::size_t i = 1; i < count; ++i) {
    if (stardict::compareHeadwords(word(i - 1), word(i)) > 0) {
      std::vector<std::uint32_t> order(count);
      std::iota(order.begin(), order.end(), 0u);
      std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        return stardict::compareHeadwords(word(a), word(b)) < 0;
      });
      return order;
    }
  }
  return {};
}

}  // namespace

StarDictFiles StarDictDictionary::filesFor(const QString& ifoPath) {
  QString base = ifoPath;
  if (base.endsWith(QLatin1String(".ifo"))) base.chop(4);
  auto first = [&](std::initializer_list<const char*> suffixes) {
    for (const char* suffix : suffixes) {
      if (QFileInfo(base + QLatin1String(suffix)).isFile()) return base + QLatin1String(suffix);
    }
    return QString();
  };
  return {ifoPath, first({".idx.gz", ".idx"}), first({".syn"}), first({".dict.dz", ".dict"})};
}

StarDictDictionary::~StarDictDictionary() = default;

std::unique_ptr<StarDictDictionary> StarDictDictionary::open(const StarDictFiles& files, QString* error) {
  return open(files, nullptr, error);
}

std::unique_ptr<StarDictDictionary> StarDictDictionary::open(const StarDictFiles& files, std::unique_ptr<DictData> data,
                                                             QString* error) {
  std::unique_ptr<StarDictDictionary> dictionary(new StarDictDictionary);
  dictionary->files_ = files;
  QFile ifo(files.ifo);
  if (!ifo.open(QIODevice::ReadOnly)) {
    if (error) *error = QStringLiteral("%1: %2").arg(files.ifo, ifo.errorString());
    return nullptr;
  }
  QString problem;
  std::optional<stardict::Info> info = stardict::parseIfo(ifo.read(kMaxIfoBytes), &problem);
  if (!info) {
    if (error) *error = QStringLiteral("%1: %2").arg(files.ifo, problem);
    return nullptr;
  }
  dictionary->info_ = std::move(*info);
  stardict::Info& ifoInfo = dictionary->info_;
  if (ifoInfo.bookName.isEmpty()) ifoInfo.bookName = QFileInfo(files.ifo).completeBaseName();

  if (files.idx.isEmpty()) {
    if (error) *error = QStringLiteral("%1: no .idx or .idx.gz beside it").arg(files.ifo);
    return nullptr;
  }
  if (files.idx.endsWith(QLatin1String(".gz"))) {
    std::unique_ptr<DictData> packed = DictData::open(files.idx, error);
    if (!packed || !packed->readAll(&dictionary->idxInflated_, error)) return nullptr;
    dictionary->idx_ = {dictionary->idxInflated_.constData(), std::size_t(dictionary->idxInflated_.size())};
  } else {
    dictionary->idxFile_ = MappedFile::open(files.idx, error);
    if (!dictionary->idxFile_) return nullptr;
    dictionary->idx_ = dictionary->idxFile_->view();
  }
  if (ifoInfo.idxFileSize && *ifoInfo.idxFileSize != dictionary->idx_.size()) {
    if (error) {
      *error = QStringLiteral("%1: holds %2 bytes, but the .ifo says idxfilesize=%3")
                   .arg(files.idx).arg(dictionary->idx_.size()).arg(*ifoInfo.idxFileSize);
    }
    return nullptr;
  }
  const std::size_t offsetBytes = ifoInfo.idxOffsetBits == 64 ? 8 : 4;
  if (!findRecords(dictionary->idx_, offsetBytes + 4, &dictionary->entries_, files.idx, error)) return nullptr;
  if (dictionary->entries_.size() != ifoInfo.wordCount) {
    if (error) {
      *error = QStringLiteral("%1: holds %2 entries, but the .ifo says wordcount=%3")
                   .arg(files.idx).arg(dictionary->entries_.size()).arg(ifoInfo.wordCount);
    }
    return nullptr;
  }
  if (dictionary->entries_.empty()) {
    if (error) *error = QStringLiteral("%1: holds no entries").arg(files.idx);
    return nullptr;
  }
  StarDictDictionary* self = dictionary.get();
  self->idxOrder_ = orderIfNeeded(self->entries_.size(), [self](std::size_t i) { return self->headword(std::uint32_t(i)); });

  if (!files.syn.isEmpty()) {
    dictionary->synFile_ = MappedFile::open(files.syn, error);
    if (!dictionary->synFile_) return nullptr;
    dictionary->syn_ = dictionary->synFile_->view();
    if (!findRecords(dictionary->syn_, 4, &dictionary->synonyms_, files.syn, error)) return nullptr;
    if (ifoInfo.synWordCount && *ifoInfo.synWordCount != dictionary->synonyms_.size()) {
      if (error) {
        *error = QStringLiteral("%1: holds %2 synonyms, but the .ifo says synwordcount=%3")
                     .arg(files.syn).arg(dictionary->synonyms_.size()).arg(*ifoInfo.synWordCount);
      }
      return nullptr;
    }
    self->synOrder_ = orderIfNeeded(self->synonyms_.size(), [self](std::size_t i) { return self->synonym(std::uint32_t(i)); });
  }

  if (data) {
    dictionary->data_ = std::move(data);
    return dictionary;
  }
  if (files.dict.isEmpty()) {
    if (error) *error = QStringLiteral("%1: no .dict or .dict.dz beside it").arg(files.ifo);
    return nullptr;
  }
  dictionary->data_ = DictData::open(files.dict, error);
  if (!dictionary->data_) return nullptr;
  return dictionary;
}

std::string_view StarDictDictionary::headword(std::uint32_t entry) const { return wordAt(idx_, entries_[entry]); }

std::string_view StarDictDictionary::synonym(std::uint32_t entry) const { return wordAt(syn_, synonyms_[entry]); }

bool StarDictDictionary::readEntry(std::uint32_t entry, QString* text, QString* error) const {
  const std::string_view word = headword(entry);
  const char* p = word.data() + word.size() + 1;
  std::uint64_t offset;
  if (info_.idxOffsetBits == 64) {
    offset = be64(p);
    p += 8;
  } else {
    offset = be32(p);
    p += 4;
  }
  const std::uint32_t size = be32(p);
  QByteArray scratch;
  QByteArrayView data;
  if (!data_->view(offset, size, &data, &scratch, error)) return false;
  QString problem;
  if (!stardict::entryText({data.constData(), std::size_t(data.size())}, info_.sameTypeSequence, text, &problem)) {
    if (error) *error = QStringLiteral("%1: \"%2\": %3").arg(files_.dict, decodeText({word.data(), qsizetype(word.size())}), problem);
    return false;
  }
  return true;
}

std::optional<QString> StarDictDictionary::define(QStringView word, QString* error) const {
  const QByteArray query = word.toUtf8();
  if (query.isEmpty() || query.contains('\0')) return std::nullopt;
  const std::string_view key(query.constData(), std::size_t(query.size()));
  std::vector<std::uint32_t> exact, folded;

  const auto [first, last] = foldedRange(entries_.size(), key, [this](std::size_t p) { return headword(idxAt(p)); });
  for (std::size_t p = first; p < last; ++p) {
    const std::uint32_t entry = idxAt(p);
    folded.push_back(entry);
    if (headword(entry) == key) exact.push_back(entry);
  }
  const auto [synFirst, synLast] = foldedRange(synonyms_.size(), key, [this](std::size_t p) { return synonym(synAt(p)); });
  for (std::size_t p = synFirst; p < synLast; ++p) {
    const std::string_view name = synonym(synAt(p));
    const std::uint32_t target = be32(name.data() + name.size() + 1);
    if (target >= entries_.size()) {
      if (error) {
        *error = QStringLiteral("%1: synonym \"%2\" points to entry %3 of %4")
                     .arg(files_.syn, decodeText({name.data(), qsizetype(name.size())}))
                     .arg(target).arg(entries_.size());
      }
      return std::nullopt;
    }
    folded.push_back(target);
    if (name == key) exact.push_back(target);
  }

  std::vector<std::uint32_t>& chosen = exact.empty() ? folded : exact;
  std::sort(chosen.begin(), chosen.end());
  chosen.erase(std::unique(chosen.begin(), chosen.end()), chosen.end());
  std::optional<QString> result;
  for (const std::uint32_t entry : chosen) {
    QString text;
    if (!readEntry(entry, &text, error)) return std::nullopt;
    if (text.isEmpty()) continue;
    if (!result) {
      result = std::move(text);
    } else {
      *result += QLatin1String("\n\n");
      *result += text;
    }
  }
  return result;
}

void StarDictDictionary::forEachHeadword(const std::function<void(std::string_view)>& visit) const {
  for (std::uint32_t entry = 0; entry < entries_.size(); ++entry) visit(headword(entry));
  for (std::uint32_t entry = 0; entry < synonyms_.size(); ++entry) visit(synonym(entry));
}

}  // namespace dictionary
