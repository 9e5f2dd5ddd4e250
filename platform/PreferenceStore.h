// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One preference file (an XML property list holding a dictionary) as a key-value store that
// several processes, and several users inside one process (the user defaults, the
// CoreFoundation preferences), share without losing each other's keys.
//
// - Values live in memory, read lazily from the file on first use.
// - synchronize() takes a lock beside the file, reads the file again, puts on top of it only
//   the keys changed (set or removed) here since the last write, and writes the result
//   atomically. Another process's keys survive; for a key both changed, the last writer wins.
// - Inside an event loop, a change schedules a synchronize a fraction of a second later
//   (coalesced); pending changes are also written when the store goes away (at exit).
// - A file that is not a usable property list (damaged, not a dictionary, not a regular file,
//   far too large) is moved aside to "<file>.corrupt" (".corrupt.N" when taken), reported on
//   stderr, and the store starts empty. A file that cannot be read (a permission error) is not
//   damaged: it is left as it is, the store starts empty for this run, the reason goes to
//   stderr, and the file is never written over. Neither is a damaged file that could not be
//   moved aside.
#include <QPointer>
#include <QString>
#include <QVariant>
#include <QVariantMap>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <sys/stat.h>
#include <sys/types.h>

class QTimer;

class PreferenceStore : public std::enable_shared_from_this<PreferenceStore> {
 public:
  // The one store of this process for the file (by absolute path).
  static std::shared_ptr<PreferenceStore> forFile(const QString& path);

  ~PreferenceStore();  // writes pending changes
  PreferenceStore(const PreferenceStore&) = delete;
  PreferenceStore& operator=(const PreferenceStore&) = delete;

  QString filePath() const { return path_; }

  // Nil (an invalid QVariant) when absent.
  QVariant value(const QString& key) const;
  QVariantMap values() const;
  // An invalid value removes the key. Values are kept in the form they take after a trip
  // through the file (QVariantList, QVariantMap, qlonglong, double, QString...).
  void setValue(const QString& key, const QVariant& value);

  // Writes pending changes merged into the file, and picks up what others wrote. False when
  // the file cannot be written (the changes stay pending) or is being left alone.
  bool synchronize();
  // Writes pending changes, if any (merging as synchronize does).
  bool flush();
  bool hasPendingChanges() const;
  // Forgets the changes not yet written: values read afterwards are the file's again. For a
  // file this process may not write (the machine-wide preferences of an ordinary user).
  void discardPendingChanges();

  enum class FileState { NotRead, Usable, Missing, SetAside, LeftAlone };
  FileState fileState() const;
  // Why the file was set aside or left alone, or why the last write failed.
  QString problem() const;

  // Coalescing delay of the scheduled synchronize.
  static constexpr int kSynchronizeDelayMs = 250;
  // Larger preference files are refused (as damaged) rather than read.
  static constexpr qint64 kMaxFileBytes = qint64(64) << 20;
  // How long synchronize waits for another process's write to finish.
  static constexpr int kLockWaitMs = 5000;

  // The value as the file gives it back.
  static QVariant normalized(const QVariant& value);

 private:
  explicit PreferenceStore(const QString& path);

  struct FileStamp {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    long long mtimeSeconds = 0;
    long mtimeNanoseconds = 0;
    long long ctimeSeconds = 0;
    long ctimeNanoseconds = 0;
    bool operator==(const FileStamp&) const = default;
  };
  static FileStamp stampOf(const struct stat& info);
  FileStamp stampOfFile() const;
  void loadLocked() const;
  // Reads the file; nothing when it is unusable (then set aside, or left alone).
  std::optional<QVariantMap> readLocked(FileStamp* stamp) const;
  bool setAsideLocked(QString* asideName, QString* why) const;
  void reportLocked(const QString& message) const;
  bool writeMergedLocked();
  void scheduleSynchronize();

  QString path_;
  mutable std::recursive_mutex mutex_;
  mutable bool loaded_ = false;
  mutable bool writeBlocked_ = false;  // the file is left alone: never write over it
  mutable bool rewriteAll_ = false;    // the file went aside: write every value back
  bool holdingLock_ = false;           // inside a merge, which holds the writers' lock
  mutable FileState state_ = FileState::NotRead;
  mutable QString problem_;
  mutable QVariantMap values_;
  mutable FileStamp diskStamp_;  // the file as last read or written
  std::set<QString> pending_;    // keys changed here since the last write
  QPointer<QTimer> timer_;
};
