// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Dictionary bundles: a folder "Name.dictionary" holding an Info.plist and the data files
// (which may be symbolic links to where a package installed them).
//
// Info.plist keys: "CFBundleName" (the dictionary's short name), "VocabulonDictionaryFormat"
// ("dictd" or "StarDict") and "VocabulonDictionaryFiles" (the names of the data files in the
// folder: dictd's .index and .dict or .dict.dz; StarDict's .ifo, .idx or .idx.gz, optional
// .syn, .dict or .dict.dz). "VocabulonDictionaryLanguage" (a language tag such as "en"; English
// when absent) chooses the spelling dictionary that finds the base forms of inflected words.
//
// A bundle whose data is compressed may also hold an uncompressed copy of it, made at
// import so that lookups need not inflate anything. "VocabulonPreparedData" records it:
// "File" (its name in the folder), "Size" (its length), and what it was made from: "Source"
// (the data file's name in the folder) with "SourceSize", "SourceModified", "SourceChanged"
// (modification and status-change times, nanoseconds) and "SourceInode" of the file that
// name leads to. The copy is read only while that file is
// still the same and the copy has its full length; otherwise the compressed data is.
// "VocabulonPreparedIndex" records, in the same form, a dictd index's key order kept beside
// it, so that opening need not read the whole index; it too is used only while the index is
// the same file.
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <memory>
#include <optional>

namespace dictionary {

class Dictionary;

inline constexpr char kBundleExtension[] = ".dictionary";
inline constexpr char kInfoPlistName[] = "Info.plist";
inline constexpr char kBundleNameKey[] = "CFBundleName";
inline constexpr char kBundleFormatKey[] = "VocabulonDictionaryFormat";
inline constexpr char kBundleFilesKey[] = "VocabulonDictionaryFiles";
inline constexpr char kBundleLanguageKey[] = "VocabulonDictionaryLanguage";
inline constexpr char kBundlePreparedKey[] = "VocabulonPreparedData";
inline constexpr char kBundlePreparedIndexKey[] = "VocabulonPreparedIndex";
inline constexpr char kDictdFormat[] = "dictd";
inline constexpr char kStarDictFormat[] = "StarDict";

struct PreparedData {
  QString file;
  qint64 size = 0;
  QString source;
  qint64 sourceSize = 0;
  qint64 sourceModified = 0;
  qint64 sourceChanged = 0;
  quint64 sourceInode = 0;
  bool operator==(const PreparedData&) const = default;
};

struct BundleInfo {
  QString name;
  QString format;  // kDictdFormat or kStarDictFormat
  QStringList files;
  std::optional<PreparedData> prepared = std::nullopt;
  std::optional<PreparedData> preparedIndex = std::nullopt;
  QString language = QString();  // empty: English
};

// Reads a bundle's Info.plist. Nothing and a message when it is missing or incomplete, names
// an unknown format, or lists a file name that leads outside the folder. A prepared-data
// record that cannot be read is left out (the bundle opens from its listed files).
std::optional<BundleInfo> readBundleInfo(const QString& bundlePath, QString* error = nullptr);
bool writeBundleInfo(const QString& bundlePath, const BundleInfo& info, QString* error = nullptr);

// Makes the uncompressed copy of the bundle's data file `sourceName` beside it (written
// whole or not at all) and returns its record for the Info.plist. Nothing without a message
// when that data is not compressed; nothing and a message when the copy cannot be made. The
// copy is never longer than the size the data's header declares, and never fills the disk;
// *refused is set when that size is implausible for the compressed size (a gzip bomb), and
// the dictionary should then not be used at all.
std::optional<PreparedData> writePreparedData(const QString& bundlePath, const QString& sourceName,
                                              QString* error = nullptr, bool* refused = nullptr);

// Keeps the key order of the bundle's dictd index `indexName` (over its data `dataName`)
// beside it and returns its record. Nothing and a message when the index cannot be read.
std::optional<PreparedData> writePreparedIndex(const QString& bundlePath, const QString& indexName,
                                               const QString& dataName, QString* error = nullptr);

// The path of the file a record names when it may be read in place of `sourceName`: recorded
// for that file, a regular file of the bundle and not one of its listed files, and made from
// the file the name leads to now. Empty otherwise. (Its contents are checked when read.)
QString currentPreparedFile(const QString& bundlePath, const BundleInfo& info,
                            const std::optional<PreparedData>& record, const QString& sourceName);

// Opens the dictionary in a bundle, without keeping it (dictionary::open keeps it). The
// paths of the files it reads go to *usedFiles. Prepared data is used when it is current.
std::unique_ptr<Dictionary> openBundle(const QString& bundlePath, QString* error = nullptr,
                                       QStringList* usedFiles = nullptr);

}  // namespace dictionary
