// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A dictd dictionary: a sorted ".index" of tab-separated lines (headword, base-64 offset,
// base-64 length, and in some files the original headword) over a ".dict" or ".dict.dz".
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "dictionary/Dictionary.h"
#include "dictionary/DictdFormat.h"

namespace dictionary {

class DictData;
class MappedFile;

class DictdDictionary final : public Dictionary {
 public:
  // Opens an index and its data file. Nothing and a message when either cannot be read.
  static std::unique_ptr<DictdDictionary> open(const QString& indexPath, const QString& dataPath,
                                               QString* error = nullptr);
  // The same over data already opened (a bundle's prepared copy).
  static std::unique_ptr<DictdDictionary> open(const QString& indexPath, std::unique_ptr<DictData> data,
                                               QString* error = nullptr);
  // What opening works out from the whole index (the key order of its lines, its rules and
  // special entries), to be kept beside it and given back to openWithOrder() while the index
  // is unchanged.
  QByteArray order() const;
  // Opens with a kept order instead of reading the index through. Nothing and a message when
  // the order does not fit the index (the caller then opens the usual way); `data` is taken
  // only when it fits.
  static std::unique_ptr<DictdDictionary> openWithOrder(const QString& indexPath, const QString& orderPath,
                                                        std::unique_ptr<DictData>& data, QString* error = nullptr);
  // The data file beside an index: NAME.dict.dz, else NAME.dict (empty when neither exists).
  static QString dataPathFor(const QString& indexPath);

  ~DictdDictionary() override;

  QString shortName() const override { return shortName_; }
  QString formatName() const override { return QStringLiteral("dictd"); }
  qsizetype entryCount() const override { return qsizetype(lines_.size()); }
  std::optional<QString> define(QStringView word, QString* error = nullptr) const override;
  void forEachHeadword(const std::function<void(std::string_view)>& visit) const override;

  const dictd::KeyRules& rules() const { return rules_; }
  QString url() const { return url_; }
  // False when the index was not in order and had to be sorted at open.
  bool indexWasSorted() const { return indexWasSorted_; }
  // Index lines that could not be read (wrong number of fields) and were left out.
  qsizetype skippedLines() const { return skippedLines_; }

 private:
  DictdDictionary() = default;
  static std::unique_ptr<DictdDictionary> open(const QString& indexPath, const QString& dataPath,
                                               std::unique_ptr<DictData> data, QString* error);
  std::string_view headword(std::uint32_t line) const;  // found by its tab, for any line
  std::string_view keyAt(std::size_t i) const;           // the i-th in key order
  void measureHeadwords();
  bool readEntry(std::uint32_t line, QString* text, QString* error) const;
  bool readData(std::uint32_t line, std::optional<std::uint64_t> offset, std::optional<std::uint64_t> length,
                QString* text, QString* error) const;
  bool changedUnderRead(QString* error) const;
  QString specialText(std::uint32_t line) const;
  bool finishOpen(std::int64_t shortLine, std::int64_t urlLine, QString* error);

  QString indexPath_;
  std::unique_ptr<MappedFile> index_;
  std::unique_ptr<DictData> data_;
  std::vector<std::uint32_t> lines_;  // offsets of the usable lines, in key order
  std::vector<std::uint32_t> lengths_;  // their headwords' lengths, so that a probe reads no further
  dictd::KeyRules rules_;
  bool indexWasSorted_ = true;
  qsizetype skippedLines_ = 0;
  QString shortName_;
  QString url_;
};

}  // namespace dictionary
