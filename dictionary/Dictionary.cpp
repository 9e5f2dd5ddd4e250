// SPDX-License-Identifier: GPL-3.0-or-later
#include "dictionary/Dictionary.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <mutex>

#include "dictionary/Bundle.h"
#include "dictionary/DictZip.h"
#include "dictionary/DictdDictionary.h"
#include "dictionary/FileStamp.h"
#include "dictionary/MappedFile.h"
#include "dictionary/StarDictDictionary.h"
#include "dictionary/WordForms.h"
#include "platform/SafeFile.h"
#include "platform/cf/PropertyList.h"

namespace dictionary {
namespace {

bool isPlainFileName(const QString& name) {
  return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
         !name.contains(QLatin1Char('/')) && !name.contains(QChar(0));
}

// The prepared-data record, or nothing when any part of it is missing or malformed.
std::optional<PreparedData> readPrepared(const QVariant& value) {
  if (value.typeId() != QMetaType::QVariantMap) return std::nullopt;
  const QVariantMap map = value.toMap();
  auto number = [&](const char* key, qint64* out) {
    const QVariant item = map.value(QLatin1String(key));
    if (item.typeId() != QMetaType::LongLong || item.toLongLong() < 0) return false;
    *out = item.toLongLong();
    return true;
  };
  PreparedData prepared;
  prepared.file = map.value(QStringLiteral("File")).toString();
  prepared.source = map.value(QStringLiteral("Source")).toString();
  qint64 inode = 0;
  if (!isPlainFileName(prepared.file) || !isPlainFileName(prepared.source) || prepared.file == prepared.source ||
      !number("Size", &prepared.size) || !number("SourceSize", &prepared.sourceSize) ||
      !number("SourceModified", &prepared.sourceModified) || !number("SourceChanged", &prepared.sourceChanged) ||
      !number("SourceInode", &inode)) {
    return std::nullopt;
  }
  prepared.sourceInode = quint64(inode);
  return prepared;
}

QVariantMap preparedMap(const PreparedData& prepared) {
  QVariantMap map;
  map.insert(QStringLiteral("File"), prepared.file);
  map.insert(QStringLiteral("Size"), qlonglong(prepared.size));
  map.insert(QStringLiteral("Source"), prepared.source);
  map.insert(QStringLiteral("SourceSize"), qlonglong(prepared.sourceSize));
  map.insert(QStringLiteral("SourceModified"), qlonglong(prepared.sourceModified));
  map.insert(QStringLiteral("SourceChanged"), qlonglong(prepared.sourceChanged));
  // Inodes fit in 63 bits on the file systems we meet; a larger one reads back negative and
  // the record is then ignored.
  map.insert(QStringLiteral("SourceInode"), qlonglong(prepared.sourceInode));
  return map;
}

struct Registered {
  std::shared_ptr<const Dictionary> dictionary;
  QList<FileStamp> stamps;
};

std::mutex registryMutex;
std::atomic<quint64> changes{0};
QHash<QString, Registered>& registry() {
  static QHash<QString, Registered> opened;
  return opened;
}

std::unique_ptr<Dictionary> openPath(const QString& path, QString* error, QStringList* usedFiles) {
  const QFileInfo info(path);
  if (!info.exists()) {
    if (error) *error = QStringLiteral("%1: no such file or folder").arg(path);
    return nullptr;
  }
  if (info.isDir()) {
    std::unique_ptr<Dictionary> opened = openBundle(path, error, usedFiles);
    if (!opened) return nullptr;
    const std::optional<BundleInfo> bundle = readBundleInfo(path);
    return withBaseForms(std::move(opened), bundle ? bundle->language : QString());
  }
  if (path.endsWith(QLatin1String(".index"))) {
    const QString data = DictdDictionary::dataPathFor(path);
    if (usedFiles) *usedFiles = QStringList{path, data};
    return withBaseForms(DictdDictionary::open(path, data, error), languageFromMetadata(path));
  }
  if (path.endsWith(QLatin1String(".ifo"))) {
    const StarDictFiles files = StarDictDictionary::filesFor(path);
    if (usedFiles) *usedFiles = QStringList{files.ifo, files.idx, files.syn, files.dict};
    return withBaseForms(StarDictDictionary::open(files, error), languageFromMetadata(path));
  }
  if (error) {
    *error = QStringLiteral("%1: not a dictionary (a %2 bundle, a dictd .index or a StarDict .ifo)")
                 .arg(path, QLatin1String(kBundleExtension));
  }
  return nullptr;
}

}  // namespace

std::optional<BundleInfo> readBundleInfo(const QString& bundlePath, QString* error) {
  const QString plistPath = bundlePath + QLatin1Char('/') + QLatin1String(kInfoPlistName);
  auto fail = [&](const QString& why) {
    if (error) *error = QStringLiteral("%1: %2").arg(plistPath, why);
    return std::nullopt;
  };
  if (!QFileInfo::exists(plistPath)) return fail(QStringLiteral("missing"));
  QString problem;
  const std::optional<QByteArray> bytes = safefile::readRegular(plistPath, qint64(kMaxSmallFileBytes), &problem);
  if (!bytes) {
    if (error) *error = problem;
    return std::nullopt;
  }
  const std::optional<QVariant> contents = plist::parse(*bytes, &problem);
  if (!contents) return fail(problem);
  if (contents->typeId() != QMetaType::QVariantMap) return fail(QStringLiteral("not a dictionary of keys"));
  const QVariantMap map = contents->toMap();
  BundleInfo info;
  info.name = map.value(QLatin1String(kBundleNameKey)).toString();
  const QString format = map.value(QLatin1String(kBundleFormatKey)).toString();
  if (format.compare(QLatin1String(kDictdFormat), Qt::CaseInsensitive) == 0) {
    info.format = QLatin1String(kDictdFormat);
  } else if (format.compare(QLatin1String(kStarDictFormat), Qt::CaseInsensitive) == 0) {
    info.format = QLatin1String(kStarDictFormat);
  } else {
    return fail(format.isEmpty() ? QStringLiteral("no %1").arg(QLatin1String(kBundleFormatKey))
                                 : QStringLiteral("unknown dictionary format \"%1\"").arg(format));
  }
  const QVariant files = map.value(QLatin1String(kBundleFilesKey));
  if (files.typeId() != QMetaType::QVariantList) return fail(QStringLiteral("no %1 list").arg(QLatin1String(kBundleFilesKey)));
  for (const QVariant& file : files.toList()) {
    const QString name = file.toString();
    if (!isPlainFileName(name)) return fail(QStringLiteral("bad data file name \"%1\"").arg(name));
    info.files.append(name);
  }
  info.prepared = readPrepared(map.value(QLatin1String(kBundlePreparedKey)));
  info.preparedIndex = readPrepared(map.value(QLatin1String(kBundlePreparedIndexKey)));
  info.language = map.value(QLatin1String(kBundleLanguageKey)).toString();
  return info;
}

bool writeBundleInfo(const QString& bundlePath, const BundleInfo& info, QString* error) {
  QVariantMap map;
  map.insert(QLatin1String(kBundleNameKey), info.name);
  map.insert(QLatin1String(kBundleFormatKey), info.format);
  map.insert(QLatin1String(kBundleFilesKey), QVariant(info.files));
  if (info.prepared) map.insert(QLatin1String(kBundlePreparedKey), preparedMap(*info.prepared));
  if (info.preparedIndex) map.insert(QLatin1String(kBundlePreparedIndexKey), preparedMap(*info.preparedIndex));
  if (!info.language.isEmpty()) map.insert(QLatin1String(kBundleLanguageKey), info.language);
  return plist::writeFile(bundlePath + QLatin1Char('/') + QLatin1String(kInfoPlistName), map, error);
}

std::unique_ptr<Dictionary> openBundle(const QString& bundlePath, QString* error, QStringList* usedFiles) {
  std::optional<BundleInfo> info = readBundleInfo(bundlePath, error);
  if (!info) return nullptr;
  QString index, dict, dictPacked, ifo, idx, idxPacked, syn;
  QStringList paths{bundlePath + QLatin1Char('/') + QLatin1String(kInfoPlistName)};
  for (const QString& name : info->files) {
    const QString path = bundlePath + QLatin1Char('/') + name;
    const QFileInfo file(path);
    if (!file.isFile()) {  // a dangling link counts as missing
      if (error) {
        *error = file.exists() ? QStringLiteral("%1: data file \"%2\" is not a regular file").arg(bundlePath, name)
                               : QStringLiteral("%1: missing data file \"%2\"").arg(bundlePath, name);
      }
      return nullptr;
    }
    paths.append(path);
    if (name.endsWith(QLatin1String(".index"))) index = path;
    else if (name.endsWith(QLatin1String(".dict.dz"))) dictPacked = path;
    else if (name.endsWith(QLatin1String(".dict"))) dict = path;
    else if (name.endsWith(QLatin1String(".ifo"))) ifo = path;
    else if (name.endsWith(QLatin1String(".idx.gz"))) idxPacked = path;
    else if (name.endsWith(QLatin1String(".idx"))) idx = path;
    else if (name.endsWith(QLatin1String(".syn"))) syn = path;
  }
  // As StarDict and dictd do, the compressed forms win when both are there.
  const QString data = dictPacked.isEmpty() ? dict : dictPacked;
  // The prepared copy stands in for compressed data while it is current; anything wrong
  // with it leaves the compressed data in use.
  std::unique_ptr<DictData> prepared;
  if (!dictPacked.isEmpty()) {
    const QString preparedPath = currentPreparedFile(bundlePath, *info, info->prepared, QFileInfo(dictPacked).fileName());
    if (!preparedPath.isEmpty()) {
      prepared = DictData::openUncompressed(preparedPath, std::uint64_t(info->prepared->size));
      if (prepared) paths.append(preparedPath);
    }
  }
  if (usedFiles) *usedFiles = paths;
  auto lacks = [&](const char* what) {
    if (error) *error = QStringLiteral("%1: lists no %2 file").arg(bundlePath, QLatin1String(what));
    return nullptr;
  };
  if (info->format == QLatin1String(kDictdFormat)) {
    if (index.isEmpty()) return lacks(".index");
    if (data.isEmpty()) return lacks(".dict or .dict.dz");
    // A kept key order spares reading the whole index; one that does not fit is passed over.
    const QString order = currentPreparedFile(bundlePath, *info, info->preparedIndex, QFileInfo(index).fileName());
    if (!order.isEmpty()) {
      if (!prepared) prepared = DictData::open(data, error);
      if (!prepared) return nullptr;
      if (auto opened = DictdDictionary::openWithOrder(index, order, prepared, nullptr)) {
        if (usedFiles) usedFiles->append(order);
        return opened;
      }
    }
    if (prepared) return DictdDictionary::open(index, std::move(prepared), error);
    return DictdDictionary::open(index, data, error);
  }
  if (ifo.isEmpty()) return lacks(".ifo");
  if (idx.isEmpty() && idxPacked.isEmpty()) return lacks(".idx or .idx.gz");
  if (data.isEmpty()) return lacks(".dict or .dict.dz");
  const StarDictFiles files{ifo, idxPacked.isEmpty() ? idx : idxPacked, syn, data};
  if (prepared) return StarDictDictionary::open(files, std::move(prepared), error);
  return StarDictDictionary::open(files, error);
}

std::unique_ptr<Dictionary> openUncached(const QString& path, QString* error) {
  return openPath(path, error, nullptr);
}

namespace {

bool unchanged(const Registered& entry) {
  if (entry.dictionary->changedOnDisk()) return false;
  for (const FileStamp& stamp : entry.stamps) {
    if (!(stampOf(stamp.path) == stamp)) return false;
  }
  return true;
}

}  // namespace

void Dictionary::noteChangedOnDisk() const {
  if (!changed_.exchange(true)) changes.fetch_add(1);
}

quint64 generation() { return changes.load(std::memory_order_relaxed); }

void checkForChanges() {
  std::lock_guard lock(registryMutex);
  bool dropped = false;
  for (auto it = registry().begin(); it != registry().end();) {
    if (unchanged(*it)) {
      ++it;
    } else {
      it = registry().erase(it);
      dropped = true;
    }
  }
  if (dropped) changes.fetch_add(1);
}

// Each path is kept for the process. A later open() checks the files' size, times and inode
// and opens the dictionary again when they changed (holders of the old object keep it).
std::shared_ptr<const Dictionary> open(const QString& path, QString* error) {
  QString key = QFileInfo(path).canonicalFilePath();
  if (key.isEmpty()) {
    if (error) *error = QStringLiteral("%1: no such file or folder").arg(path);
    return nullptr;
  }
  std::lock_guard lock(registryMutex);
  auto found = registry().find(key);
  if (found != registry().end()) {
    if (unchanged(*found)) return found->dictionary;
    registry().erase(found);
  }
  QStringList usedFiles;
  // Opened by the path as given: its data files are found beside it, links or not.
  std::shared_ptr<const Dictionary> dictionary = openPath(QFileInfo(path).absoluteFilePath(), error, &usedFiles);
  if (!dictionary) return nullptr;
  Registered entry{dictionary, {}};
  for (const QString& file : usedFiles) {
    if (!file.isEmpty()) entry.stamps.append(stampOf(file));
  }
  registry().insert(key, std::move(entry));
  return dictionary;
}

}  // namespace dictionary
