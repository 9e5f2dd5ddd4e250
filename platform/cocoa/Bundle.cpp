// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/cocoa/Bundle.h"

#include <QDir>
#include <mutex>
#include <optional>

#include "platform/Places.h"
#include "platform/cf/PropertyList.h"

struct Bundle::Data {
  QString path;
  std::once_flag parsed;
  QVariantMap info;
};

Bundle::Bundle(const QString& path) : d_(std::make_shared<Data>()) {
  d_->path = path.isEmpty() ? QString() : QDir::cleanPath(path);
}

Bundle Bundle::main() {
  static std::mutex mutex;
  static std::optional<Bundle> cached;
  const QString path = places::mainBundlePath();
  std::lock_guard lock(mutex);
  if (!cached || cached->path() != QDir::cleanPath(path)) cached.emplace(path);
  return *cached;
}

QString Bundle::path() const { return d_->path; }

QString Bundle::infoPlistPath() const {
  return d_->path + QStringLiteral("/Contents/Info.plist");
}

QString Bundle::resourcePath() const { return d_->path + QStringLiteral("/Contents/Resources"); }

QVariantMap Bundle::infoDictionary() const {
  std::call_once(d_->parsed, [this] {
    if (d_->path.isEmpty()) return;
    const std::optional<QVariant> value = plist::readFile(infoPlistPath());
    if (value && value->typeId() == QMetaType::QVariantMap) d_->info = value->toMap();
  });
  return d_->info;
}

QVariant Bundle::objectForInfoDictionaryKey(const QString& key) const {
  return infoDictionary().value(key);
}

QString Bundle::bundleIdentifier() const {
  const QVariant value = objectForInfoDictionaryKey(QStringLiteral("CFBundleIdentifier"));
  return value.typeId() == QMetaType::QString ? value.toString() : QString();
}

QString Bundle::name() const {
  const QVariant value = objectForInfoDictionaryKey(QStringLiteral("CFBundleName"));
  return value.typeId() == QMetaType::QString ? value.toString() : QString();
}
