// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/cf/CFBundle.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <map>

#include "platform/Places.h"
#include "platform/cf/CFInternal.h"
#include "platform/cf/CFQt.h"
#include "platform/cocoa/Bundle.h"

namespace {

// The user's languages as gettext reads them: $LANGUAGE (a colon-separated list), then the
// first of $LC_ALL, $LC_MESSAGES and $LANG that is set. "de_DE.UTF-8@euro" gives "de_DE";
// the C locale names no language.
QStringList userLanguages() {
  QStringList candidates = qEnvironmentVariable("LANGUAGE").split(u':', Qt::SkipEmptyParts);
  for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const QString value = qEnvironmentVariable(variable);
    if (!value.isEmpty()) {
      candidates << value;
      break;
    }
  }
  QStringList languages;
  for (QString name : candidates) {
    name = name.section(u'.', 0, 0).section(u'@', 0, 0).trimmed().replace(u'-', u'_');
    if (name.isEmpty() || name == QLatin1String("C") || name == QLatin1String("POSIX")) continue;
    if (!languages.contains(name)) languages << name;
  }
  return languages;
}

}  // namespace

struct __CFBundle final : cf::Object {
  static constexpr CFTypeID kTypeID = cf::kBundleType;

  explicit __CFBundle(const Bundle& b) : Object(kTypeID), bundle(b) {}
  __CFBundle(const Bundle& b, Immortal) : Object(kTypeID, Immortal{}), bundle(b) {}
  ~__CFBundle() override { CFRelease(info); }

  QString describeContents() const override { return bundle.path(); }
  QString formattingDescription() const override {
    return QStringLiteral("CFBundle <%1>").arg(bundle.path());
  }

  CFDictionaryRef infoDictionary() const {
    std::call_once(infoOnce, [this] {
      CFPropertyListRef value = CFPropertyListCreateFromQVariant(bundle.infoDictionary());
      if (CFGetTypeID(value) == CFDictionaryGetTypeID()) {
        info = static_cast<CFDictionaryRef>(value);
      } else {
        CFRelease(value);
        info = CFDictionaryCreate(nullptr, nullptr, nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                  &kCFTypeDictionaryValueCallBacks);
      }
    });
    return info;
  }

  // The localization folders to search, best first: the user's languages, the bundle's
  // development region, then "Base" and English. Read at every call, so that a change of the
  // environment is seen.
  QStringList localizations() const {
    QStringList names;
    auto add = [&](const QString& name) {
      if (!name.isEmpty() && !names.contains(name)) names << name;
    };
    for (const QString& language : userLanguages()) {
      add(language);
      add(QString(language).replace(u'_', u'-'));
      add(language.section(u'_', 0, 0));
    }
    CFStringRef region = static_cast<CFStringRef>(
        CFDictionaryGetValue(infoDictionary(), kCFBundleDevelopmentRegionKey));
    add(cf::text(region));
    for (const char* fallback : {"Base", "en", "English"}) add(QString::fromLatin1(fallback));
    return names;
  }

  const QHash<QString, QString>& table(const QString& path) const {
    std::lock_guard lock(tablesMutex);
    auto it = tables.find(path);
    if (it == tables.end()) {
      QFile file(path);
      QHash<QString, QString> entries;
      if (file.open(QIODevice::ReadOnly)) entries = cf::parseStringsTable(file.readAll());
      it = tables.emplace(path, std::move(entries)).first;
    }
    return it->second;  // map nodes never move; tables are never dropped
  }

  const Bundle bundle;
  mutable std::once_flag infoOnce;
  mutable CFDictionaryRef info = nullptr;
  mutable std::mutex tablesMutex;
  mutable std::map<QString, QHash<QString, QString>> tables;
};

namespace {

const __CFBundle* bundleOf(CFBundleRef b) { return cf::as<__CFBundle>(b); }

CFURLRef directoryURL(const QString& path) {
  CFStringRef s = cf::makeString(path);
  CFURLRef url = CFURLCreateWithFileSystemPath(nullptr, s, kCFURLPOSIXPathStyle, true);
  CFRelease(s);
  return url;
}

}  // namespace

CFTypeID CFBundleGetTypeID(void) { return cf::kBundleType; }

CFBundleRef CFBundleGetMainBundle(void) {
  const Bundle main = Bundle::main();
  if (main.path().isEmpty() || !QFileInfo(main.path()).isDir()) return nullptr;
  // One object per main-bundle folder, kept for the whole run: callers hold it without
  // owning it, so it may never go away, even when a test points the main bundle elsewhere.
  static std::mutex* mutex = new std::mutex;
  static auto* bundles = new std::map<QString, __CFBundle*>;
  std::lock_guard lock(*mutex);
  __CFBundle*& bundle = (*bundles)[main.path()];
  if (!bundle) bundle = new __CFBundle(main, cf::Object::Immortal{});
  return bundle;
}

CFBundleRef CFBundleCreate(CFAllocatorRef, CFURLRef bundleURL) {
  CFURLRef absolute = CFURLCopyAbsoluteURL(bundleURL);
  CFStringRef scheme = CFURLCopyScheme(absolute);
  CFStringRef path = CFURLCopyFileSystemPath(absolute, kCFURLPOSIXPathStyle);
  const bool isFile = cf::text(scheme).compare(QLatin1String("file"), Qt::CaseInsensitive) == 0;
  const QString folder = cf::text(path);
  CFRelease(path);
  CFRelease(scheme);
  CFRelease(absolute);
  if (!isFile || folder.isEmpty() || !QFileInfo(folder).isDir()) return nullptr;
  return new __CFBundle(Bundle(folder));
}

CFDictionaryRef CFBundleGetInfoDictionary(CFBundleRef bundle) {
  const __CFBundle* b = bundleOf(bundle);
  return b ? b->infoDictionary() : nullptr;
}

CFTypeRef CFBundleGetValueForInfoDictionaryKey(CFBundleRef bundle, CFStringRef key) {
  const __CFBundle* b = bundleOf(bundle);
  return b && key ? CFDictionaryGetValue(b->infoDictionary(), key) : nullptr;
}

CFStringRef CFBundleGetIdentifier(CFBundleRef bundle) {
  CFTypeRef value = CFBundleGetValueForInfoDictionaryKey(bundle, kCFBundleIdentifierKey);
  return CFGetTypeID(value) == CFStringGetTypeID() ? static_cast<CFStringRef>(value) : nullptr;
}

CFURLRef CFBundleCopyBundleURL(CFBundleRef bundle) {
  const __CFBundle* b = bundleOf(bundle);
  return b ? directoryURL(b->bundle.path()) : nullptr;
}

CFURLRef CFBundleCopyResourcesDirectoryURL(CFBundleRef bundle) {
  const __CFBundle* b = bundleOf(bundle);
  return b ? directoryURL(b->bundle.resourcePath()) : nullptr;
}

CFURLRef CFBundleCopyResourceURL(CFBundleRef bundle, CFStringRef resourceName,
                                 CFStringRef resourceType, CFStringRef subDirName) {
  const __CFBundle* b = bundleOf(bundle);
  const QString name = cf::text(resourceName);
  if (!b || name.isEmpty() || name.contains(u'/')) return nullptr;
  QString type = cf::text(resourceType);
  if (type.startsWith(u'.')) type.remove(0, 1);
  const QString fileName = type.isEmpty() ? name : name + u'.' + type;
  const QString subDir = cf::text(subDirName);
  const QString resources = b->bundle.resourcePath();
  QStringList folders{resources};
  for (const QString& lproj : b->localizations()) folders << resources + u'/' + lproj + ".lproj";
  for (const QString& folder : folders) {
    const QString path =
        subDir.isEmpty() ? folder + u'/' + fileName : folder + u'/' + subDir + u'/' + fileName;
    const QFileInfo info(path);
    if (info.exists()) {
      CFStringRef s = cf::makeString(QDir::cleanPath(path));
      CFURLRef url = CFURLCreateWithFileSystemPath(nullptr, s, kCFURLPOSIXPathStyle, info.isDir());
      CFRelease(s);
      return url;
    }
  }
  return nullptr;
}

CFStringRef CFBundleCopyLocalizedString(CFBundleRef bundle, CFStringRef key, CFStringRef value,
                                        CFStringRef tableName) {
  const __CFBundle* b = bundleOf(bundle);
  const QString k = cf::text(key);
  if (b && !k.isEmpty()) {
    QString table = cf::text(tableName);
    if (table.isEmpty()) table = QStringLiteral("Localizable");
    const QString resources = b->bundle.resourcePath();
    QStringList files;
    for (const QString& lproj : b->localizations())
      files << resources + u'/' + lproj + QStringLiteral(".lproj/") + table +
                   QStringLiteral(".strings");
    files << resources + u'/' + table + QStringLiteral(".strings");
    for (const QString& file : files) {
      if (!QFileInfo(file).isFile()) continue;
      const QHash<QString, QString>& entries = b->table(file);
      auto it = entries.find(k);
      if (it != entries.end()) return cf::makeString(it.value());
    }
  }
  if (!cf::text(value).isEmpty()) return CFStringCreateCopy(nullptr, value);
  return key ? CFStringCreateCopy(nullptr, key) : nullptr;
}
