#include "platform/cocoa/UserDefaults.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <map>
#include <memory>
#include <sys/stat.h>

#include "platform/Places.h"
#include "platform/cf/PropertyList.h"
#include "platform/cocoa/Bundle.h"

namespace {

// The form a value takes after a trip through the file, so that reading back from memory
// and from disk agree.
QVariant normalized(const QVariant& value) {
  switch (value.typeId()) {
    case QMetaType::QStringList:
    case QMetaType::QVariantList: {
      QVariantList list;
      for (const QVariant& item : value.toList()) list.append(normalized(item));
      return list;
    }
    case QMetaType::QVariantMap:
    case QMetaType::QVariantHash: {
      QVariantMap map;
      const QVariantMap source = value.toMap();
      for (auto it = source.cbegin(); it != source.cend(); ++it) map.insert(it.key(), normalized(it.value()));
      return map;
    }
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
      return QVariant(value.toLongLong());
    case QMetaType::Float:
      return QVariant(value.toDouble());
    case QMetaType::Bool:
    case QMetaType::Double:
    case QMetaType::QString:
    case QMetaType::QByteArray:
    case QMetaType::QDateTime:
      return value;
    default:
      return QVariant(value.toString());
  }
}

bool isNumber(const QVariant& value) {
  switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
      return true;
    default:
      return false;
  }
}

// Text reads as true when, after blanks and leading zeros, it starts with Y, T or a nonzero digit.
bool textBoolValue(const QString& text) {
  qsizetype i = 0;
  while (i < text.size() && text[i].isSpace()) ++i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  while (i < text.size() && text[i] == '0') ++i;
  if (i == text.size()) return false;
  const QChar c = text[i];
  return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
}

qlonglong textIntegerValue(const QString& text) {
  qsizetype i = 0;
  while (i < text.size() && text[i].isSpace()) ++i;
  qsizetype end = i;
  if (end < text.size() && (text[end] == '+' || text[end] == '-')) ++end;
  while (end < text.size() && text[end].isDigit() && text[end].unicode() < 128) ++end;
  bool ok = false;
  const qlonglong value = QStringView(text).mid(i, end - i).toLongLong(&ok);
  return ok ? value : 0;
}

struct StandardStores {
  std::mutex mutex;
  std::map<QString, std::unique_ptr<UserDefaults>> byPath;
};

StandardStores& standardStores() {
  static StandardStores stores;  // destroyed at exit, which writes every store's changes
  return stores;
}

}  // namespace

QString UserDefaults::standardFilePath() {
  QString identifier = Bundle::main().bundleIdentifier();
  // The identifier becomes a file name: no folder separators, no hidden or empty names.
  if (identifier.isEmpty() || identifier.contains('/') || identifier.startsWith('.'))
    identifier = QString::fromLatin1(kFallbackIdentifier);
  return places::userConfigHome() + '/' + identifier + QStringLiteral(".plist");
}

UserDefaults& UserDefaults::standardUserDefaults() {
  const QString path = standardFilePath();
  StandardStores& stores = standardStores();
  std::lock_guard lock(stores.mutex);
  std::unique_ptr<UserDefaults>& store = stores.byPath[path];
  if (!store) store = std::make_unique<UserDefaults>(path);
  return *store;
}

void UserDefaults::resetStandardUserDefaults() {
  StandardStores& stores = standardStores();
  std::lock_guard lock(stores.mutex);
  stores.byPath.clear();
}

UserDefaults::UserDefaults(const QString& filePath) : path_(QDir::cleanPath(filePath)) {}

UserDefaults::~UserDefaults() { flush(); }

UserDefaults::FileStamp UserDefaults::stampOfFile() const {
  FileStamp stamp;
  struct stat info;
  if (::stat(QFile::encodeName(path_).constData(), &info) != 0) return stamp;
  stamp.exists = true;
  stamp.device = info.st_dev;
  stamp.inode = info.st_ino;
  stamp.size = info.st_size;
  stamp.mtimeSeconds = info.st_mtim.tv_sec;
  stamp.mtimeNanoseconds = info.st_mtim.tv_nsec;
  return stamp;
}

bool UserDefaults::setAsideLocked() const {
  const QByteArray from = QFile::encodeName(path_);
  for (int attempt = 0; attempt < 1000; ++attempt) {
    QString target = path_ + QStringLiteral(".corrupt");
    if (attempt > 0) target += '.' + QString::number(attempt);
    const QByteArray to = QFile::encodeName(target);
    // Never replaces an earlier bad file.
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
      return true;
    if (errno == EEXIST) continue;
    if (errno == EINVAL || errno == ENOSYS) {  // a file system without RENAME_NOREPLACE
      if (QFileInfo::exists(target) || QFileInfo(target).isSymLink()) continue;
      if (::rename(from.constData(), to.constData()) == 0) return true;
    }
    return false;
  }
  return false;
}

std::optional<QVariantMap> UserDefaults::readLocked(FileStamp* stamp) const {
  *stamp = stampOfFile();
  if (!stamp->exists) return QVariantMap();
  const std::optional<QVariant> value = plist::readFile(path_);
  if (value && value->typeId() == QMetaType::QVariantMap) return value->toMap();
  // Unreadable or corrupt: keep it for the user to look at, and start afresh.
  if (setAsideLocked()) *stamp = stampOfFile();
  else writeBlocked_ = true;
  return std::nullopt;
}

void UserDefaults::loadLocked() const {
  if (loaded_) return;
  loaded_ = true;
  FileStamp stamp;
  std::optional<QVariantMap> values = readLocked(&stamp);
  values_ = values ? *values : QVariantMap();
  diskStamp_ = stamp;
}

QVariant UserDefaults::objectForKey(const QString& key) const {
  std::lock_guard lock(mutex_);
  loadLocked();
  return values_.value(key);
}

void UserDefaults::setObject(const QVariant& value, const QString& key) {
  std::lock_guard lock(mutex_);
  loadLocked();
  if (!value.isValid()) {
    if (values_.remove(key) == 0) return;
  } else {
    const QVariant stored = normalized(value);
    auto it = values_.constFind(key);
    if (it != values_.cend() && it->typeId() == stored.typeId() && *it == stored) return;
    values_.insert(key, stored);
  }
  pending_.insert(key);
}

bool UserDefaults::boolForKey(const QString& key) const {
  const QVariant value = objectForKey(key);
  if (value.typeId() == QMetaType::Bool) return value.toBool();
  if (isNumber(value)) return value.toDouble() != 0;
  if (value.typeId() == QMetaType::QString) return textBoolValue(value.toString());
  return false;
}

qlonglong UserDefaults::integerForKey(const QString& key) const {
  const QVariant value = objectForKey(key);
  if (value.typeId() == QMetaType::Bool) return value.toBool() ? 1 : 0;
  if (isNumber(value)) return value.toLongLong();
  if (value.typeId() == QMetaType::QString) return textIntegerValue(value.toString());
  return 0;
}

QString UserDefaults::stringForKey(const QString& key) const {
  const QVariant value = objectForKey(key);
  if (value.typeId() == QMetaType::QString) return value.toString();
  if (isNumber(value)) return value.toString();
  return QString();
}

std::optional<QVariantList> UserDefaults::arrayForKey(const QString& key) const {
  const QVariant value = objectForKey(key);
  if (value.typeId() == QMetaType::QVariantList) return value.toList();
  return std::nullopt;
}

QVariantMap UserDefaults::dictionaryRepresentation() const {
  std::lock_guard lock(mutex_);
  loadLocked();
  return values_;
}

bool UserDefaults::hasPendingChanges() const {
  std::lock_guard lock(mutex_);
  return !pending_.empty() || rewriteAll_;
}

bool UserDefaults::writeLocked() {
  if (writeBlocked_) return false;
  QDir().mkpath(QFileInfo(path_).absolutePath());
  QSaveFile file(path_);
  if (!file.open(QIODevice::WriteOnly) || file.write(plist::serialize(values_)) < 0 || !file.flush())
    return false;
  // The renamed file keeps the temporary file's inode, size and time: take them before the
  // rename, so that a write by another process just after it is not mistaken for ours.
  struct stat info;
  const bool stamped = ::fstat(file.handle(), &info) == 0;
  if (!file.commit()) return false;
  if (stamped) {
    diskStamp_ = {true, info.st_dev, info.st_ino, info.st_size, info.st_mtim.tv_sec, info.st_mtim.tv_nsec};
  } else {
    diskStamp_ = stampOfFile();
  }
  pending_.clear();
  rewriteAll_ = false;
  return true;
}

bool UserDefaults::synchronize() {
  std::lock_guard lock(mutex_);
  loadLocked();
  if (writeBlocked_) return false;
  if (stampOfFile() != diskStamp_) {
    // Someone else wrote the file: their values, with ours on top for the keys we changed.
    FileStamp stamp;
    std::optional<QVariantMap> disk = readLocked(&stamp);
    if (writeBlocked_) return false;
    if (disk) {
      for (const QString& key : pending_) {
        auto it = values_.constFind(key);
        if (it == values_.cend()) disk->remove(key);
        else disk->insert(key, *it);
      }
      values_ = *disk;
    } else {
      rewriteAll_ = true;  // the bad file went aside; what we hold is the best there is
    }
    diskStamp_ = stamp;
  }
  if (pending_.empty() && !rewriteAll_) return true;
  return writeLocked();
}

bool UserDefaults::flush() {
  std::lock_guard lock(mutex_);
  if (!loaded_ || (pending_.empty() && !rewriteAll_)) return true;
  // Keep other writers' keys: merge through synchronize.
  return synchronize();
}
