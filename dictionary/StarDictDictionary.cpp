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
#include "platform/SafeFile.h"

namespace dictionary {
namespace {

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
  bool cutShort = false;
  const bool read = guardedRead([&] {
    std::size_t pos = 0;
    while (pos < data.size()) {
      const void* nul = std::memchr(data.data() + pos, 0, data.size() - pos);
      const std::size_t next = nul ? std::size_t(static_cast<const char*>(nul) - data.data()) + 1 + trailer : 0;
      if (!nul || next > data.size()) {
        cutShort = true;
        return;
      }
      starts->push_back(std::uint32_t(pos));
      pos = next;
    }
  });
  if (!read) {
    if (error) *error = QStringLiteral("%1: changed while it was read").arg(path);
    return false;
  }
  if (cutShort) {
    if (error) *error = QStringLiteral("%1: cut short in record %2").arg(path).arg(starts->size() + 1);
    return false;
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

// The records in headword order when the file does not hold them so; empty when it does.
// Equal headwords keep their file order (std::sort needs no buffer that a fault would leave
// behind, unlike stable_sort). False when the file changed under the reads.
template <typename WordAt>
bool orderIfNeeded(std::size_t count, WordAt word, std::vector<std::uint32_t>* order) {
  std::size_t disorder = 0;
  if (!guardedRead([&] {
        for (std::size_t i = 1; i < count && !disorder; ++i) {
          if (stardict::compareHeadwords(word(i - 1), word(i)) > 0) disorder = i;
        }
      })) {
    return false;
  }
  if (!disorder) return true;
  order->resize(count);
  std::iota(order->begin(), order->end(), 0u);
  return guardedRead([&] {
    std::sort(order->begin(), order->end(), [&](std::uint32_t a, std::uint32_t b) {
      const int compared = stardict::compareHeadwords(word(a), word(b));
      return compared < 0 || (compared == 0 && a < b);
    });
  });
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
  QString problem;
  const std::optional<QByteArray> ifo = safefile::readRegular(files.ifo, qint64(kMaxSmallFileBytes), &problem);
  if (!ifo) {
    if (error) *error = problem;
    return nullptr;
  }
  std::optional<stardict::Info> info = stardict::parseIfo(*ifo, &problem);
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
    dictionary->idxFile_ = MappedFile::open(files.idx, kMaxIndexBytes, error);
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
  if (!orderIfNeeded(self->entries_.size(), [self](std::size_t i) { return self->headword(std::uint32_t(i)); },
                     &self->idxOrder_)) {
    if (error) *error = QStringLiteral("%1: changed while it was read").arg(files.idx);
    return nullptr;
  }

  if (!files.syn.isEmpty()) {
    dictionary->synFile_ = MappedFile::open(files.syn, kMaxIndexBytes, error);
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
    if (!orderIfNeeded(self->synonyms_.size(), [self](std::size_t i) { return self->synonym(std::uint32_t(i)); },
                       &self->synOrder_)) {
      if (error) *error = QStringLiteral("%1: changed while it was read").arg(files.syn);
      return nullptr;
    }
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

bool StarDictDictionary::changedUnderRead(const QString& path, QString* error) const {
  noteChangedOnDisk();
  if (error) *error = QStringLiteral("%1: changed on disk while it was read").arg(path);
  return false;
}

bool StarDictDictionary::readEntry(std::uint32_t entry, QString* text, QString* error) const {
  std::uint64_t offset = 0;
  std::uint32_t size = 0;
  QByteArray word;
  std::string_view headwordView;
  if (!guardedRead([&] {
        headwordView = headword(entry);
        const char* p = headwordView.data() + headwordView.size() + 1;
        if (info_.idxOffsetBits == 64) {
          offset = be64(p);
          p += 8;
        } else {
          offset = be32(p);
          p += 4;
        }
        size = be32(p);
      })) {
    return changedUnderRead(files_.idx, error);
  }
  thread_local QByteArray scratch;  // one buffer per thread, reused word after word
  QByteArrayView data;
  if (!data_->view(offset, size, &data, &scratch, error)) {
    if (data_->changedOnDisk()) noteChangedOnDisk();
    return false;
  }
  QString problem;
  if (!stardict::entryText({data.constData(), std::size_t(data.size())}, info_.sameTypeSequence, text, &problem)) {
    if (error) {
      word.resize(qsizetype(headwordView.size()));
      if (!idxFile_) {
        word = QByteArray(headwordView.data(), qsizetype(headwordView.size()));  // inflated: ours
      } else if (!idxFile_->copy(std::uint64_t(headwordView.data() - idx_.data()), headwordView.size(), word.data())) {
        return changedUnderRead(files_.idx, error);
      }
      *error = QStringLiteral("%1: \"%2\": %3").arg(files_.dict, decodeText(word), problem);
    }
    return false;
  }
  return true;
}

std::optional<QString> StarDictDictionary::define(QStringView word, QString* error) const {
  const QByteArray query = word.toUtf8();
  if (query.isEmpty() || query.contains('\0')) return std::nullopt;
  const std::string_view key(query.constData(), std::size_t(query.size()));
  std::vector<std::uint32_t> exact, folded;
  std::int64_t badSynonym = -1;  // the position of a synonym that points past the entries
  std::uint32_t badTarget = 0;
  const bool searched = guardedRead([&] {
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
        badSynonym = std::int64_t(p);
        badTarget = target;
        return;
      }
      folded.push_back(target);
      if (name == key) exact.push_back(target);
    }
  });
  if (!searched) {
    changedUnderRead(files_.idx, error);
    return std::nullopt;
  }
  if (badSynonym >= 0) {
    if (error) {
      std::string_view view;
      if (!guardedRead([&] { view = synonym(synAt(std::size_t(badSynonym))); })) {
        changedUnderRead(files_.syn, error);
        return std::nullopt;
      }
      QByteArray name;
      name.resize(qsizetype(view.size()));
      if (!synFile_->copy(std::uint64_t(view.data() - syn_.data()), view.size(), name.data())) {
        changedUnderRead(files_.syn, error);
        return std::nullopt;
      }
      *error = QStringLiteral("%1: synonym \"%2\" points to entry %3 of %4")
                   .arg(files_.syn, decodeText(name)).arg(badTarget).arg(entries_.size());
    }
    return std::nullopt;
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
  // A fault part way leaves the visitor's copies incomplete, never the process dead.
  if (!guardedRead([&] {
        for (std::uint32_t entry = 0; entry < entries_.size(); ++entry) visit(headword(entry));
        for (std::uint32_t entry = 0; entry < synonyms_.size(); ++entry) visit(synonym(entry));
      })) {
    noteChangedOnDisk();
  }
}

}  // namespace dictionary
