// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The per-user defaults store of the application domain, over the process's PreferenceStore
// of its file (shared with the CoreFoundation preferences of the same domain, so the two
// never disagree).
//
// Changes are kept in memory and reach the file a fraction of a second later when an event
// loop runs, at synchronize(), and at exit. A synchronize merges: it writes back only the
// keys changed here, on top of what the file holds then, so two processes never lose each
// other's keys. What happens to a damaged or unreadable file is told in PreferenceStore.h.
#include <QString>
#include <QVariant>
#include <QVariantList>
#include <QVariantMap>
#include <memory>
#include <optional>

class PreferenceStore;

class UserDefaults {
 public:
  // The application domain: $XDG_CONFIG_HOME/<main bundle identifier>.plist. One store per
  // file for the life of the process; each writes its pending changes at exit.
  static UserDefaults& standardUserDefaults();
  static QString standardFilePath();
  // Writes and forgets the standard stores, so that the next call starts from the file
  // (unless another user of the same file still holds its store).
  static void resetStandardUserDefaults();
  static inline constexpr const char* kFallbackIdentifier = "org.vocabulon.Vocabulon";

  explicit UserDefaults(const QString& filePath);
  ~UserDefaults();  // writes pending changes
  UserDefaults(const UserDefaults&) = delete;
  UserDefaults& operator=(const UserDefaults&) = delete;

  QString filePath() const;
  PreferenceStore& store() const { return *store_; }

  // Nil (an invalid QVariant) when absent.
  QVariant objectForKey(const QString& key) const;
  QVariant valueForKey(const QString& key) const { return objectForKey(key); }
  // An invalid value removes the key. Lists, maps and numbers are kept in the form they take
  // after a trip through the file (QVariantList, QVariantMap, qlonglong, double).
  void setObject(const QVariant& value, const QString& key);
  void setValue(const QVariant& value, const QString& key) { setObject(value, key); }
  void removeObjectForKey(const QString& key) { setObject(QVariant(), key); }

  // The platform's reading of a stored value as a boolean, the one every reader uses:
  // booleans as they are; numbers true when nonzero; text true when, after leading blanks,
  // an optional sign and leading zeros, it starts with Y, y, T, t or a digit 1-9 ("YES",
  // "true", "1", " +007"), so "NO", "false", "0" and "maybe" are false; anything else false.
  static bool boolValue(const QVariant& value);
  bool boolForKey(const QString& key) const { return boolValue(objectForKey(key)); }
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
  // file cannot be written (the changes stay pending) or is left alone.
  bool synchronize();
  // Writes pending changes, if any.
  bool flush();
  bool hasPendingChanges() const;

 private:
  std::shared_ptr<PreferenceStore> store_;
};
