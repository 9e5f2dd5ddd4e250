// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/PreferenceStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QScopeGuard>
#include <QThread>
#include <QTimer>
#include <QDateTime>
#include <cerrno>
#include <limits>
#include <cstdio>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>

#include "platform/SafeFile.h"
#include "platform/cf/PropertyList.h"

namespace {

struct Registry {
  std::mutex mutex;
  std::map<QString, std::weak_ptr<PreferenceStore>> stores;
};

Registry& registry() {
  // Never destroyed: stores released during static destruction must not find it gone.
  static Registry* const instance = new Registry;
  return *instance;
}

}  // namespace

QVariant PreferenceStore::normalized(const QVariant& value) {
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
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::Short:
      return QVariant(value.toLongLong());
    case QMetaType::UInt:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
    case QMetaType::UShort:
      // The file keeps unsigned values above the signed range as such.
      if (value.toULongLong() > qulonglong(std::numeric_limits<qlonglong>::max())) return QVariant(value.toULongLong());
      return QVariant(value.toLongLong());
    case QMetaType::Float:
      return QVariant(value.toDouble());
    case QMetaType::Bool:
    case QMetaType::Double:
    case QMetaType::QString:
    case QMetaType::QByteArray:
      return value;
    case QMetaType::QDateTime: {
      // The file holds whole seconds in UTC.
      QDateTime time = value.toDateTime().toUTC();
      time.setMSecsSinceEpoch(time.toMSecsSinceEpoch() / 1000 * 1000);
      return QVariant(time);
    }
    default:
      return QVariant(value.toString());
  }
}

std::shared_ptr<PreferenceStore> PreferenceStore::forFile(const QString& path) {
  const QString key = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
  Registry& all = registry();
  std::lock_guard lock(all.mutex);
  std::weak_ptr<PreferenceStore>& slot = all.stores[key];
  if (std::shared_ptr<PreferenceStore> existing = slot.lock()) return existing;
  std::shared_ptr<PreferenceStore> store(new PreferenceStore(key));
  slot = store;
  return store;
}

PreferenceStore::PreferenceStore(const QString& path) : path_(path) {}

PreferenceStore::~PreferenceStore() {
  flush();
  if (timer_) {
    if (timer_->thread() == QThread::currentThread()) delete timer_.data();
    else timer_->deleteLater();
  }
}

PreferenceStore::FileStamp PreferenceStore::stampOf(const struct stat& info) {
  return {true,
          info.st_dev,
          info.st_ino,
          info.st_size,
          info.st_mtim.tv_sec,
          info.st_mtim.tv_nsec,
          info.st_ctim.tv_sec,
          info.st_ctim.tv_nsec};
}

PreferenceStore::FileStamp PreferenceStore::stampOfFile() const {
  FileStamp stamp;
  struct stat info;
  if (::stat(QFile::encodeName(path_).constData(), &info) != 0) return stamp;
  return stampOf(info);
}

void PreferenceStore::reportLocked(const QString& message) const {
  problem_ = message;
  std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, message.toLocal8Bit().constData());
  std::fflush(stderr);
}

bool PreferenceStore::setAsideLocked(QString* asideName, QString* why) const {
  const QByteArray from = QFile::encodeName(path_);
  for (int attempt = 0; attempt < 1000; ++attempt) {
    QString target = path_ + QStringLiteral(".corrupt");
    if (attempt > 0) target += '.' + QString::number(attempt);
    const QByteArray to = QFile::encodeName(target);
    *asideName = target;
    // Never replaces an earlier bad file.
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0) return true;
    if (errno == EEXIST) continue;
    if (errno == EINVAL || errno == ENOSYS) {  // a file system without RENAME_NOREPLACE
      if (QFileInfo::exists(target) || QFileInfo(target).isSymLink()) continue;
      if (::rename(from.constData(), to.constData()) == 0) return true;
    }
    *why = safefile::errnoText(errno);
    return false;
  }
  *why = QStringLiteral("too many earlier damaged files");
  return false;
}

std::optional<QVariantMap> PreferenceStore::readLocked(FileStamp* stamp) const {
  for (int attempt = 0;; ++attempt) {
    safefile::ReadProblem kind = safefile::ReadProblem::None;
    struct stat info {};
    QString why;
    const std::optional<QByteArray> bytes = safefile::readRegular(path_, kMaxFileBytes, &why, &kind, &info);
    if (why.startsWith(path_ + QStringLiteral(": "))) why.remove(0, path_.size() + 2);
    if (kind == safefile::ReadProblem::Missing) {
      *stamp = stampOfFile();
      if (!stamp->exists) {
        state_ = FileState::Missing;
        return QVariantMap();
      }
      kind = safefile::ReadProblem::Failed;  // a dangling link's target came and went
    }
    if (kind == safefile::ReadProblem::Denied || kind == safefile::ReadProblem::Failed) {
      // Not damage: the file may be fine and readable again later. Never overwrite it.
      writeBlocked_ = true;
      state_ = FileState::LeftAlone;
      reportLocked(QStringLiteral("cannot read the preferences file %1 (%2); it is left as it is and the defaults "
                                  "are used for this run")
                       .arg(path_, why));
      return std::nullopt;
    }
    *stamp = stampOf(info);
    if (bytes) {
      QString parseError;
      const std::optional<QVariant> value = plist::parse(*bytes, &parseError);
      if (value && value->typeId() == QMetaType::QVariantMap) {
        state_ = FileState::Usable;
        return value->toMap();
      }
      why = value ? QStringLiteral("not a dictionary") : parseError;
    }

    // Damaged, or not a preference file at all: keep it for the user to look at, and start
    // afresh. Moved under the writers' lock, and only while it is still the file that was
    // read: another process may have just replaced it with a good one.
    std::optional<QLockFile> lock;
    if (!holdingLock_) {
      lock.emplace(path_ + QStringLiteral(".lock"));
      lock->tryLock(kLockWaitMs);  // without it (a read-only folder) the move fails anyway
    }
    if (!(stampOfFile() == *stamp)) {
      if (attempt < 3) continue;
      writeBlocked_ = true;
      state_ = FileState::LeftAlone;
      reportLocked(QStringLiteral("the preferences file %1 keeps changing while it is read; it is left as it is and "
                                  "the defaults are used for this run")
                       .arg(path_));
      return std::nullopt;
    }
    QString aside, moveError;
    if (setAsideLocked(&aside, &moveError)) {
      *stamp = stampOfFile();
      state_ = FileState::SetAside;
      reportLocked(QStringLiteral("the preferences file %1 is damaged (%2); it was kept as %3 and the defaults are used")
                       .arg(path_, why, aside));
    } else if (!(*stamp = stampOfFile()).exists) {
      // Another process found it damaged too and moved it first.
      state_ = FileState::SetAside;
      reportLocked(QStringLiteral("the preferences file %1 is damaged (%2); another process moved it aside and the "
                                  "defaults are used")
                       .arg(path_, why));
    } else {
      writeBlocked_ = true;
      state_ = FileState::LeftAlone;
      reportLocked(QStringLiteral("the preferences file %1 is damaged (%2) and cannot be moved aside (%3); it is "
                                  "left as it is and the defaults are used")
                       .arg(path_, why, moveError));
    }
    return std::nullopt;
  }
}

void PreferenceStore::loadLocked() const {
  if (loaded_) return;
  loaded_ = true;
  FileStamp stamp;
  std::optional<QVariantMap> values = readLocked(&stamp);
  values_ = values ? *values : QVariantMap();
  diskStamp_ = stamp;
}

QVariant PreferenceStore::value(const QString& key) const {
  std::lock_guard lock(mutex_);
  loadLocked();
  return values_.value(key);
}

QVariantMap PreferenceStore::values() const {
  std::lock_guard lock(mutex_);
  loadLocked();
  return values_;
}

void PreferenceStore::setValue(const QString& key, const QVariant& value) {
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
  scheduleSynchronize();
}

void PreferenceStore::scheduleSynchronize() {
  QCoreApplication* application = QCoreApplication::instance();
  // Only inside the thread that runs the event loop; elsewhere the change waits for an
  // explicit synchronize or the end of the process.
  if (!application || QThread::currentThread() != application->thread()) return;
  if (!timer_) {
    timer_ = new QTimer(application);  // goes with the application
    timer_->setSingleShot(true);
    timer_->setInterval(kSynchronizeDelayMs);
    std::weak_ptr<PreferenceStore> self = weak_from_this();
    QObject::connect(timer_.data(), &QTimer::timeout, [self] {
      if (std::shared_ptr<PreferenceStore> store = self.lock()) store->synchronize();
    });
  }
  // Not restarted by later changes: a steady stream of changes still reaches the disk.
  if (!timer_->isActive()) timer_->start();
}

bool PreferenceStore::hasPendingChanges() const {
  std::lock_guard lock(mutex_);
  return !pending_.empty() || rewriteAll_;
}

void PreferenceStore::discardPendingChanges() {
  std::lock_guard lock(mutex_);
  if (pending_.empty() && !rewriteAll_) return;
  pending_.clear();
  rewriteAll_ = false;
  values_.clear();
  // Read again at the next use; a file left alone was never taken in, and is not read again.
  if (!writeBlocked_) loaded_ = false;
}

PreferenceStore::FileState PreferenceStore::fileState() const {
  std::lock_guard lock(mutex_);
  return state_;
}

QString PreferenceStore::problem() const {
  std::lock_guard lock(mutex_);
  return problem_;
}

bool PreferenceStore::writeMergedLocked() {
  const QString folder = QFileInfo(path_).absolutePath();
  QDir().mkpath(folder);
  // Read, merge and write under a lock shared by every process, so that two writers never
  // both start from the same file and drop each other's keys. A lock left by a process that
  // died is taken over.
  QLockFile lock(path_ + QStringLiteral(".lock"));
  if (!lock.tryLock(kLockWaitMs)) {
    problem_ = lock.error() == QLockFile::LockFailedError
                   ? QStringLiteral("%1: another process holds the lock").arg(path_)
                   : QStringLiteral("%1: cannot create the lock file in %2").arg(path_, folder);
    return false;
  }
  holdingLock_ = true;
  const auto released = qScopeGuard([this] { holdingLock_ = false; });
  FileStamp stamp;
  std::optional<QVariantMap> disk = readLocked(&stamp);
  if (writeBlocked_) return false;
  if (disk) {
    // After a bad file went aside, everything held here goes back, not only the changes.
    if (rewriteAll_)
      for (auto it = values_.cbegin(); it != values_.cend(); ++it) disk->insert(it.key(), it.value());
    for (const QString& key : pending_) {
      auto it = values_.constFind(key);
      if (it == values_.cend()) disk->remove(key);
      else disk->insert(key, *it);
    }
    values_ = *disk;
  } else {
    rewriteAll_ = true;  // the bad file went aside: what we hold is the best there is
  }
  diskStamp_ = stamp;

  QString error;
  if (!safefile::writeAtomically(path_, plist::serialize(values_), &error)) {
    problem_ = error;
    return false;
  }
  // Stamped as the path shows the new file, while the lock keeps other writers out.
  diskStamp_ = stampOfFile();
  state_ = FileState::Usable;
  pending_.clear();
  rewriteAll_ = false;
  return true;
}

bool PreferenceStore::synchronize() {
  std::lock_guard lock(mutex_);
  loadLocked();
  if (writeBlocked_) return false;
  if (!pending_.empty() || rewriteAll_) return writeMergedLocked();
  if (stampOfFile() != diskStamp_) {
    // Someone else wrote the file: take what it holds now.
    FileStamp stamp;
    std::optional<QVariantMap> disk = readLocked(&stamp);
    if (writeBlocked_) return false;
    if (disk) values_ = *disk;
    else rewriteAll_ = !values_.isEmpty();  // the bad file went aside: keep what we hold
    diskStamp_ = stamp;
    if (rewriteAll_) return writeMergedLocked();
  }
  return true;
}

bool PreferenceStore::flush() {
  std::lock_guard lock(mutex_);
  if (!loaded_ || (pending_.empty() && !rewriteAll_)) return true;
  return synchronize();
}
