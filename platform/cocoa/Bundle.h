// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A bundle folder ("Name.app", "Name.action"): its Info.plist and its resources.
// Copies are cheap and share the parsed Info.plist.
#include <QString>
#include <QVariant>
#include <QVariantMap>
#include <memory>

class Bundle {
 public:
  // The application's own bundle (places::mainBundlePath()). The object is kept while that
  // path stays the same.
  static Bundle main();

  explicit Bundle(const QString& path);

  QString path() const;
  // Contents/Info.plist, read on first use; empty when it is missing or not a dictionary.
  QVariantMap infoDictionary() const;
  // Nil (an invalid QVariant) when the key is absent.
  QVariant objectForInfoDictionaryKey(const QString& key) const;
  QString bundleIdentifier() const;  // CFBundleIdentifier, or an empty string
  QString name() const;              // CFBundleName, or an empty string
  QString resourcePath() const;      // Contents/Resources
  QString infoPlistPath() const;     // Contents/Info.plist

 private:
  struct Data;
  std::shared_ptr<Data> d_;
};
