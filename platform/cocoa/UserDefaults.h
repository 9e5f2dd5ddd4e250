#pragma once
// The per-user defaults store: values kept in memory, read lazily from an XML property list
// and written back atomically by synchronize() or at destruction.
//
// synchronize() writes only the keys changed here since the last write, on top of what the
// file holds then, so that two stores (or processes) on one file see each other's changes.
// A file that cannot be read or parsed is renamed to "<file>.corrupt" (".corrupt.N" when
// taken) and the store starts empty; a file that cannot even be moved aside is never written.
#include <QString>
#include <QVariant>
#include <QVariantList>
#include <QVariantMap>
#include <mutex>
#include <optional>
#include <set>
#include <sys/types.h>

class UserDefaults {
 public:
  // The application domain: $XDG_CONFIG_HOME/<main bundle identifier>.plist. One store per
  // file for the life of the process; each writes its pending changes at exit.
  static UserDefaults& standardUserDefaults();
  static QString standardFilePath();
  // Writes and forgets the standard stores, so that the next call starts from the file.
  static void resetStandardUserDefaults();
  static inline constexpr const char* kFallbackIdentifier = "org.vocabulon.Vocabulon";

  explicit UserDefaults(const QString& filePath);
  ~UserDefaults();  // writes pending changes
  UserDefaults(const UserDefaults&) = delete;
  UserDefaults& operator=(const UserDefaults&) = delete;

  QString filePath() const { return path_; }

  // Nil (an invalid QVariant) when absent.
  QVariant objectForKey(const QString& key) const;
  QVariant valueForKey(const QString& key) const { return objectForKey(key); }
  // An invalid value removes the key. Lists, maps and numbers are kept in the form they take
  // after a trip through the file (QVariantList, QVariantMap, qlonglong, double).
  void setObject(const QVariant& value, const QString& key);
  void setValue(const QVariant& value, const QString& key) { setObject(value, key); }
  void removeObjectForKey(const QString& key) { setObject(QVariant(), key); }

  // Numbers are true when nonzero; text like "YES", "true" or "1" is true; absent is false.
  bool boolForKey(const QString& key) const;
  void setBool(bool value, const QString& key) { setObject(value, key); }
  // Numbers and leading-integer text; 0 otherwise.
  qlonglong integerForKey(const QString& key) const;
  void setInteger(qlonglong value, const QString& key) { setObject(value, key); }
  // Text, or a number's text form; a null QString (nil) otherwise.
  QString stringForKey(const QString& key) const;
  // Nothing (nil) when absent or not an array.
  std::optional<QVariantList> arrayForKey(const QString& key) const;
  QVariantMap dictionaryRepresentation() const;

  // Writes pending changes and picks up changes made to the file by others. False when the
  // file cannot be written (the changes stay pending) or a bad file could not be moved aside.
  bool synchronize();
  // Writes pending changes, if any; does not re-read.
  bool flush();
  bool hasPendingChanges() const;

 private:
  struct FileStamp {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    long long mtimeSeconds = 0;
    long mtimeNanoseconds = 0;
    bool operator==(const FileStamp&) const = default;
  };
  FileStamp stampOfFile() const;
  void loadLocked() const;
  // Reads the file; nothing when it is bad (it is then moved aside, or blocks writing).
  std::optional<QVariantMap> readLocked(FileStamp* stamp) const;
  bool setAsideLocked() const;
  bool writeLocked();

  QString path_;
  mutable std::recursive_mutex mutex_;
  mutable bool loaded_ = false;
  mutable bool writeBlocked_ = false;   // a bad file stayed in place: never write over it
  mutable bool rewriteAll_ = false;     // the file was set aside: write every value back
  mutable QVariantMap values_;
  mutable FileStamp diskStamp_;         // the file as last read or written
  std::set<QString> pending_;           // keys changed here since the last write
};
