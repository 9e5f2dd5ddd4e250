// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/carbon/InternetConfig.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMimeDatabase>
#include <QSaveFile>
#include <QUrl>
#include <algorithm>
#include <cstring>
#include <mutex>
#include <set>

#include "platform/Places.h"
#include "platform/carbon/Components.h"
#include "platform/carbon/DesktopDatabase.h"
#include "platform/carbon/LaunchServices.h"
#include "platform/carbon/Memory.h"
#include "platform/cf/CFQt.h"

struct OpaqueICInstance {
  OSType signature;
  bool inBracket = false;
};

namespace {

constexpr UInt16 kPackedFixedLength = 22;  // the entry's fields before its five strings

std::mutex& instancesMutex() {
  static std::mutex m;
  return m;
}
std::set<ICInstance>& instances() {
  static std::set<ICInstance> s;
  return s;
}
bool live(ICInstance inst) {
  std::lock_guard lock(instancesMutex());
  return inst && instances().count(inst);
}

// UTF-8, cut before the character that would pass max bytes.
void toPascal(const QString& text, unsigned char* out, int max = 255) {
  QByteArray bytes = text.toUtf8();
  if (bytes.size() > max) {
    int cut = max;
    while (cut > 0 && (UInt8(bytes[cut]) & 0xC0) == 0x80) --cut;
    bytes.truncate(cut);
  }
  out[0] = UInt8(bytes.size());
  std::memcpy(out + 1, bytes.constData(), bytes.size());
}

QString fromPascal(ConstStr255Param p) {
  const QByteArray bytes(reinterpret_cast<const char*>(p + 1), p[0]);
  const QString text = QString::fromUtf8(bytes);
  return text.toUtf8() == bytes ? text : QFile::decodeName(bytes);
}

QStringList dataDirs() {
  QStringList dirs{places::userDataHome()};
  QString system = qEnvironmentVariable("XDG_DATA_DIRS");
  if (system.isEmpty()) system = QStringLiteral("/usr/local/share:/usr/share");
  for (const QString& dir : system.split(u':', Qt::SkipEmptyParts)) dirs << dir;
  return dirs;
}

// The [Default Applications] of every mimeapps.list, the first file naming a type winning.
QHash<QString, QStringList> defaultApplications() {
  QStringList files{places::userConfigHome() + QStringLiteral("/mimeapps.list")};
  QString configDirs = qEnvironmentVariable("XDG_CONFIG_DIRS");
  if (configDirs.isEmpty()) configDirs = QStringLiteral("/etc/xdg");
  for (const QString& dir : configDirs.split(u':', Qt::SkipEmptyParts)) files << dir + QStringLiteral("/mimeapps.list");
  for (const QString& dir : dataDirs()) files << dir + QStringLiteral("/applications/mimeapps.list");
  QHash<QString, QStringList> defaults;
  for (const QString& path : files) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) continue;
    bool inDefaults = false;
    for (QByteArray line; !(line = file.readLine(64 * 1024)).isEmpty();) {
      line = line.trimmed();
      if (line.startsWith('[')) {
        inDefaults = line == "[Default Applications]";
        continue;
      }
      const int equals = line.indexOf('=');
      if (!inDefaults || equals <= 0) continue;
      const QString type = QString::fromUtf8(line.left(equals).trimmed());
      if (defaults.contains(type)) continue;
      defaults.insert(type, QString::fromUtf8(line.mid(equals + 1)).split(u';', Qt::SkipEmptyParts));
    }
  }
  return defaults;
}

// The unlocalised Name of the desktop entry id, searched in the data folders; empty when none.
QString desktopEntryName(const QString& id) {
  for (const QString& dir : dataDirs()) {
    QFile file(dir + QStringLiteral("/applications/") + id);
    if (!file.open(QIODevice::ReadOnly)) continue;
    bool inEntry = false;
    for (QByteArray line; !(line = file.readLine(64 * 1024)).isEmpty();) {
      line = line.trimmed();
      if (line.startsWith('[')) inEntry = line == "[Desktop Entry]";
      else if (inEntry && line.startsWith("Name") && line.mid(4).trimmed().startsWith('='))
        return QString::fromUtf8(line.mid(line.indexOf('=') + 1).trimmed());
    }
  }
  return {};
}

class DefaultNames {
 public:
  DefaultNames() : defaults_(defaultApplications()) {}
  // The name of the first installed default application of the type.
  QString forType(const QString& type) {
    auto cached = names_.constFind(type);
    if (cached != names_.constEnd()) return *cached;
    QString name;
    for (const QString& id : defaults_.value(type))
      if (!(name = desktopEntryName(id.trimmed())).isEmpty()) break;
    names_.insert(type, name);
    return name;
  }

 private:
  QHash<QString, QStringList> defaults_;
  QHash<QString, QString> names_;
};

struct Classic {
  const char* mime;
  OSType type;
  OSType creator;
};
// Well-known kinds, with the applications that classically opened them.
constexpr Classic kClassicKinds[] = {
    {"text/plain", FOUR_CHAR_CODE("TEXT"), FOUR_CHAR_CODE("ttxt")},
    {"text/html", FOUR_CHAR_CODE("TEXT"), FOUR_CHAR_CODE("sfri")},
    {"text/rtf", FOUR_CHAR_CODE("RTF "), FOUR_CHAR_CODE("ttxt")},
    {"application/rtf", FOUR_CHAR_CODE("RTF "), FOUR_CHAR_CODE("ttxt")},
    {"application/pdf", FOUR_CHAR_CODE("PDF "), FOUR_CHAR_CODE("prvw")},
    {"image/jpeg", FOUR_CHAR_CODE("JPEG"), FOUR_CHAR_CODE("prvw")},
    {"image/png", FOUR_CHAR_CODE("PNGf"), FOUR_CHAR_CODE("prvw")},
    {"image/gif", FOUR_CHAR_CODE("GIFf"), FOUR_CHAR_CODE("prvw")},
    {"image/tiff", FOUR_CHAR_CODE("TIFF"), FOUR_CHAR_CODE("prvw")},
    {"image/bmp", FOUR_CHAR_CODE("BMPf"), FOUR_CHAR_CODE("prvw")},
    {"video/quicktime", FOUR_CHAR_CODE("MooV"), FOUR_CHAR_CODE("TVOD")},
    {"video/mp4", FOUR_CHAR_CODE("mpg4"), FOUR_CHAR_CODE("TVOD")},
    {"audio/mpeg", FOUR_CHAR_CODE("MPG3"), FOUR_CHAR_CODE("TVOD")},
    {"audio/x-aiff", FOUR_CHAR_CODE("AIFF"), FOUR_CHAR_CODE("TVOD")},
    {"audio/x-wav", FOUR_CHAR_CODE("WAVE"), FOUR_CHAR_CODE("TVOD")},
    {"application/zip", FOUR_CHAR_CODE("ZIP "), 0},
};

void fillEntry(const QMimeType& type, const QString& extension, DefaultNames& names, ICMapEntry* entry) {
  std::memset(entry, 0, sizeof *entry);
  entry->totalLength = SInt16(sizeof *entry);
  entry->fixedLength = kPackedFixedLength;
  for (const Classic& kind : kClassicKinds)
    if (type.name() == QLatin1String(kind.mime)) {
      entry->fileType = kind.type;
      entry->fileCreator = kind.creator;
    }
  entry->flags = kICMapDataForkMask;
  if (!type.inherits(QStringLiteral("text/plain"))) entry->flags |= kICMapBinaryMask;
  toPascal(extension, entry->extension);
  toPascal(names.forType(type.name()), entry->creatorAppName);
  toPascal(type.name(), entry->MIMEType);
  toPascal(type.comment(), entry->entryName);
}

// "*.ext" globs only: the others name no extension.
QString extensionOfGlob(const QString& glob) {
  if (!glob.startsWith(QLatin1String("*.")) || glob.size() < 3) return {};
  const QString rest = glob.mid(1);
  for (QChar c : rest)
    if (c == u'*' || c == u'?' || c == u'[' || c == u']') return {};
  return rest;
}

// The packed form of one entry: the fixed fields, then the five strings back to back.
void appendPacked(QByteArray& out, const ICMapEntry& entry) {
  const unsigned char* strings[] = {entry.extension, entry.creatorAppName, entry.postAppName,
                                    entry.MIMEType, entry.entryName};
  ICMapEntry head = entry;
  int total = kPackedFixedLength;
  for (auto* s : strings) total += 1 + s[0];
  head.totalLength = SInt16(total);
  out.append(reinterpret_cast<const char*>(&head), kPackedFixedLength);
  for (auto* s : strings) out.append(reinterpret_cast<const char*>(s), 1 + s[0]);
}

QByteArray mappingPreference() {
  QMimeDatabase database;
  DefaultNames names;
  QByteArray out;
  ICMapEntry entry;
  for (const QMimeType& type : database.allMimeTypes())
    for (const QString& glob : type.globPatterns()) {
      const QString extension = extensionOfGlob(glob);
      if (extension.isEmpty()) continue;
      fillEntry(type, extension, names, &entry);
      appendPacked(out, entry);
    }
  return out;
}

bool helperScheme(const QByteArray& key, QString* scheme) {
  for (const char* prefix : {"Helper\xE2\x80\xA2", "Helper\xA5"})
    if (key.startsWith(prefix) && key.size() > qsizetype(std::strlen(prefix))) {
      *scheme = QString::fromUtf8(key.mid(std::strlen(prefix))).toLower();
      return true;
    }
  return false;
}

// The value of a preference; icPrefNotFoundErr for an unknown key.
OSStatus preferenceValue(ConstStr255Param key, QByteArray* value) {
  if (!key) return paramErr;
  const QByteArray name(reinterpret_cast<const char*>(key + 1), key[0]);
  if (name == "Mapping") {
    *value = mappingPreference();
    return noErr;
  }
  QString scheme;
  if (helperScheme(name, &scheme)) {
    DefaultNames names;
    const QString application = names.forType(QStringLiteral("x-scheme-handler/") + scheme);
    if (application.isEmpty()) return icPrefNotFoundErr;
    ICAppSpec spec{};
    toPascal(application, spec.name, 63);
    const QByteArray utf8 = application.toUtf8();
    spec.fCreator = DesktopSignatureForApplicationName(utf8.constData());
    if (!spec.fCreator) spec.fCreator = FOUR_CHAR_CODE("????");
    *value = QByteArray(reinterpret_cast<const char*>(&spec), sizeof spec);
    return noErr;
  }
  return icPrefNotFoundErr;
}

// Offset of the index-th packed entry (1-based), or -1; *count gets the number of sound entries.
long walkEntries(const char* bytes, long size, long index, long* count) {
  long offset = 0, n = 0;
  while (offset + kPackedFixedLength <= size) {
    SInt16 total;
    std::memcpy(&total, bytes + offset, sizeof total);
    if (total < kPackedFixedLength || offset + total > size) break;
    if (++n == index) return offset;
    offset += total;
  }
  if (count) *count = n;
  return -1;
}

// Unpacks one entry; false when its strings overrun it.
bool unpack(const char* bytes, long size, ICMapEntry* entry) {
  std::memset(entry, 0, sizeof *entry);
  std::memcpy(entry, bytes, kPackedFixedLength);
  unsigned char* strings[] = {entry->extension, entry->creatorAppName, entry->postAppName,
                              entry->MIMEType, entry->entryName};
  long at = entry->fixedLength;
  for (auto* s : strings) {
    if (at >= size || at + 1 + UInt8(bytes[at]) > size) return false;
    std::memcpy(s, bytes + at, 1 + UInt8(bytes[at]));
    at += 1 + UInt8(bytes[at]);
  }
  entry->totalLength = SInt16(sizeof *entry);
  return true;
}

}  // namespace

OSStatus ICStart(ICInstance* inst, OSType signature) {
  if (!inst) return paramErr;
  *inst = nullptr;
  const ComponentDescription wanted{kICComponentType, kICComponentSubType, 0, 0, 0};
  if (CountComponents(&wanted) < 1) return invalidComponentID;
  auto* made = new OpaqueICInstance{signature};
  std::lock_guard lock(instancesMutex());
  instances().insert(made);
  *inst = made;
  return noErr;
}

OSStatus ICStop(ICInstance inst) {
  std::lock_guard lock(instancesMutex());
  if (!inst || !instances().erase(inst)) return badComponentInstance;
  delete inst;
  return noErr;
}

OSStatus ICBegin(ICInstance inst, ICPerm perm) {
  if (!live(inst)) return badComponentInstance;
  if ((perm != icReadOnlyPerm && perm != icReadWritePerm) || inst->inBracket) return icPermErr;
  inst->inBracket = true;
  return noErr;
}

OSStatus ICEnd(ICInstance inst) {
  if (!live(inst)) return badComponentInstance;
  if (!inst->inBracket) return icPermErr;
  inst->inBracket = false;
  return noErr;
}

OSStatus ICGetPref(ICInstance inst, ConstStr255Param key, ICAttr* attr, void* buf, long* size) {
  if (!live(inst)) return badComponentInstance;
  if (!key || !size || (*size > 0 && !buf)) return paramErr;
  QByteArray value;
  if (OSStatus err = preferenceValue(key, &value)) return err;
  if (attr) *attr = kICAttrLockedMask;  // the desktop's own settings: read only here
  const long room = std::max(*size, 0L);
  if (room > 0) std::memcpy(buf, value.constData(), std::min<long>(room, value.size()));
  *size = value.size();
  return value.size() > room ? icTruncatedErr : noErr;
}

OSStatus ICGetPrefHandle(ICInstance inst, ConstStr255Param key, ICAttr* attr, Handle prefh) {
  if (!live(inst)) return badComponentInstance;
  if (!key || !prefh) return paramErr;
  QByteArray value;
  if (OSStatus err = preferenceValue(key, &value)) return err;
  SetHandleSize(prefh, value.size());
  if (OSErr err = MemError()) return err;
  if (!value.isEmpty()) std::memcpy(*prefh, value.constData(), value.size());
  if (attr) *attr = kICAttrLockedMask;
  return noErr;
}

OSStatus ICCountMapEntries(ICInstance inst, Handle entries, long* count) {
  if (!live(inst)) return badComponentInstance;
  if (!entries || !count) return paramErr;
  walkEntries(*entries, GetHandleSize(entries), -1, count);
  return noErr;
}

OSStatus ICGetIndMapEntry(ICInstance inst, Handle entries, long index, long* pos, ICMapEntry* entry) {
  if (!live(inst)) return badComponentInstance;
  if (!entries || !entry) return paramErr;
  const long size = GetHandleSize(entries);
  const long offset = index > 0 ? walkEntries(*entries, size, index, nullptr) : -1;
  if (offset < 0) return icPrefNotFoundErr;
  SInt16 total;
  std::memcpy(&total, *entries + offset, sizeof total);
  if (!unpack(*entries + offset, total, entry)) return icPrefDataErr;
  if (pos) *pos = offset;
  return noErr;
}

OSStatus ICMapFilename(ICInstance inst, ConstStr255Param filename, ICMapEntry* entry) {
  if (!live(inst)) return badComponentInstance;
  if (!filename || !entry || filename[0] == 0) return paramErr;
  const QString name = fromPascal(filename);
  QMimeDatabase database;
  const QList<QMimeType> types = database.mimeTypesForFileName(name);
  if (types.isEmpty()) return icPrefNotFoundErr;
  // The extension is the longest "*.ext" glob of the type that the name ends with.
  QString extension;
  for (const QString& glob : types.first().globPatterns()) {
    const QString candidate = extensionOfGlob(glob);
    if (candidate.size() > extension.size() && name.endsWith(candidate, Qt::CaseInsensitive))
      extension = candidate;
  }
  DefaultNames names;
  fillEntry(types.first(), extension, names, entry);
  return noErr;
}

OSStatus ICLaunchURL(ICInstance inst, ConstStr255Param hint, const void* data, long len,
                     long* selStart, long* selEnd) {
  if (!live(inst)) return badComponentInstance;
  if (!data || len < 0 || !selStart || !selEnd) return paramErr;
  long start = std::clamp(*selStart, 0L, len), end = std::clamp(*selEnd, 0L, len);
  if (start > end) return paramErr;
  const char* text = static_cast<const char*>(data);
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (start < end && (blank(text[start]) || text[start] == '<')) ++start;
  while (end > start && (blank(text[end - 1]) || text[end - 1] == '>')) --end;
  if (end - start >= 4 && QByteArray(text + start, 4).compare("URL:", Qt::CaseInsensitive) == 0) start += 4;
  QString url = QString::fromUtf8(text + start, end - start);
  if (url.isEmpty()) return icNoURLErr;
  if (!url.contains(u':') && hint && hint[0]) {
    const QString scheme = fromPascal(hint);
    const bool hierarchical = scheme == QLatin1String("http") || scheme == QLatin1String("https") ||
                              scheme == QLatin1String("ftp");
    url = scheme + (hierarchical ? QStringLiteral("://") : QStringLiteral(":")) + url;
  }
  const QUrl parsed(url, QUrl::StrictMode);
  if (!parsed.isValid() || parsed.scheme().isEmpty() || url.contains(u' ')) return icNoURLErr;
  CFStringRef string = CFStringCreateWithQString(url);
  CFURLRef cfURL = CFURLCreateWithString(nullptr, string, nullptr);
  CFRelease(string);
  if (!cfURL) return icNoURLErr;
  const OSStatus status = LSOpenCFURLRef(cfURL, nullptr);
  CFRelease(cfURL);
  if (status == noErr) *selStart = start, *selEnd = end;
  return status;
}

OSStatus ICEditPreferences(ICInstance inst, ConstStr255Param) {
  if (!live(inst)) return badComponentInstance;
  const QString path = places::userConfigHome() + QStringLiteral("/mimeapps.list");
  if (!QFileInfo::exists(path)) {
    QDir().mkpath(QFileInfo(path).path());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write("[Default Applications]\n") < 0 || !file.commit())
      return icInternalErr;
  }
  const QByteArray local = QFile::encodeName(path);
  CFURLRef url = CFURLCreateFromFileSystemRepresentation(
      nullptr, reinterpret_cast<const UInt8*>(local.constData()), local.size(), false);
  if (!url) return icInternalErr;
  const OSStatus status = LSOpenCFURLRef(url, nullptr);
  CFRelease(url);
  return status;
}
