// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/cocoa/UserDefaults.h"

#include <map>
#include <memory>
#include <mutex>

#include "platform/Places.h"
#include "platform/PreferenceStore.h"
#include "platform/cocoa/Bundle.h"

namespace {

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

UserDefaults::UserDefaults(const QString& filePath) : store_(PreferenceStore::forFile(filePath)) {}

UserDefaults::~UserDefaults() { store_->flush(); }

QString UserDefaults::filePath() const { return store_->filePath(); }

QVariant UserDefaults::objectForKey(const QString& key) const { return store_->value(key); }

void UserDefaults::setObject(const QVariant& value, const QString& key) { store_->setValue(key, value); }

bool UserDefaults::boolValue(const QVariant& value) {
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

QVariantMap UserDefaults::dictionaryRepresentation() const { return store_->values(); }

bool UserDefaults::hasPendingChanges() const { return store_->hasPendingChanges(); }

bool UserDefaults::synchronize() { return store_->synchronize(); }

bool UserDefaults::flush() { return store_->flush(); }
