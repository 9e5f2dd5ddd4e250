// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A StarDict dictionary: NAME.ifo describes it, NAME.idx (or .idx.gz) lists the headwords in
// order with the place of their data in NAME.dict (or .dict.dz), NAME.syn adds synonyms.
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "dictionary/Dictionary.h"
#include "dictionary/StarDictFormat.h"

namespace dictionary {

class DictData;
class MappedFile;

struct StarDictFiles {
  QString ifo;
  QString idx;   // .idx or .idx.gz
  QString syn;   // empty when there is none
  QString dict;  // .dict or .dict.dz
};

class StarDictDictionary final : public Dictionary {
 public:
  // The files beside an .ifo, preferring the compressed forms as StarDict does; the names
  // of missing files are left empty.
  static StarDictFiles filesFor(const QString& ifoPath);

  // Nothing and a message when a file is missing or does not agree with the .ifo.
  static std::unique_ptr<StarDictDictionary> open(const StarDictFiles& files, QString* error = nullptr);
  // The same reading the entries from data already opened (a bundle's prepared copy of
  // files.dict) instead of files.dict.
  static std::unique_ptr<StarDictDictionary> open(const StarDictFiles& files, std::unique_ptr<DictData> data,
                                                  QString* error = nullptr);

  ~StarDictDictionary() override;

  QString shortName() const override { return info_.bookName; }
  QString formatName() const override { return QStringLiteral("StarDict"); }
  qsizetype entryCount() const override { return qsizetype(entries_.size()); }

  // The entries whose headword (or synonym) is the word exactly; when there are none, those
  // equal to it with case folded. sdcv differs on purpose in three ways: it returns a single
  // entry when several share a headword, it tries synonyms before headwords and matches them
  // case-insensitively, and with -e it does not fall back to other case forms at all.
  std::optional<QString> define(QStringView word, QString* error = nullptr) const override;
  void forEachHeadword(const std::function<void(std::string_view)>& visit) const override;

  const stardict::Info& info() const { return info_; }
  bool indexWasSorted() const { return idxOrder_.empty(); }

 private:
  StarDictDictionary() = default;
  std::string_view headword(std::uint32_t entry) const;
  std::string_view synonym(std::uint32_t entry) const;
  std::uint32_t idxAt(std::size_t position) const { return idxOrder_.empty() ? std::uint32_t(position) : idxOrder_[position]; }
  std::uint32_t synAt(std::size_t position) const { return synOrder_.empty() ? std::uint32_t(position) : synOrder_[position]; }
  bool readEntry(std::uint32_t entry, QString* text, QString* error) const;
  bool changedUnderRead(const QString& path, QString* error) const;

  StarDictFiles files_;
  stardict::Info info_;
  // The .idx mapped, or a .idx.gz inflated; the same for the .syn.
  std::unique_ptr<MappedFile> idxFile_;
  QByteArray idxInflated_;
  std::string_view idx_;
  std::unique_ptr<MappedFile> synFile_;
  std::string_view syn_;
  std::vector<std::uint32_t> entries_;   // where each entry starts in the .idx, file order
  std::vector<std::uint32_t> idxOrder_;  // entries in headword order, when the file is not
  std::vector<std::uint32_t> synonyms_;  // where each synonym starts in the .syn
  std::vector<std::uint32_t> synOrder_;
  std::unique_ptr<DictData> data_;
};

}  // namespace dictionary
