#pragma once
// Dictionary bundles: a folder "Name.dictionary" holding an Info.plist and the data files
// (which may be symbolic links to where a package installed them).
//
// Info.plist keys: "CFBundleName" (the dictionary's short name), "VocabulonDictionaryFormat"
// ("dictd" or "StarDict") and "VocabulonDictionaryFiles" (the names of the data files in the
// folder: dictd's .index and .dict or .dict.dz; StarDict's .ifo, .idx or .idx.gz, optional
// .syn, .dict or .dict.dz).
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

namespace dictionary {

class Dictionary;

inline constexpr char kBundleExtension[] = ".dictionary";
inline constexpr char kInfoPlistName[] = "Info.plist";
inline constexpr char kBundleNameKey[] = "CFBundleName";
inline constexpr char kBundleFormatKey[] = "VocabulonDictionaryFormat";
inline constexpr char kBundleFilesKey[] = "VocabulonDictionaryFiles";
inline constexpr char kDictdFormat[] = "dictd";
inline constexpr char kStarDictFormat[] = "StarDict";

struct BundleInfo {
  QString name;
  QString format;  // kDictdFormat or kStarDictFormat
  QStringList files;
};

// Reads a bundle's Info.plist. Nothing and a message when it is missing or incomplete, names
// an unknown format, or lists a file name that leads outside the folder.
std::optional<BundleInfo> readBundleInfo(const QString& bundlePath, QString* error = nullptr);
bool writeBundleInfo(const QString& bundlePath, const BundleInfo& info, QString* error = nullptr);

// Opens the dictionary in a bundle, without keeping it (dictionary::open keeps it). The
// paths of the files it reads go to *usedFiles.
std::unique_ptr<Dictionary> openBundle(const QString& bundlePath, QString* error = nullptr,
                                       QStringList* usedFiles = nullptr);

}  // namespace dictionary
