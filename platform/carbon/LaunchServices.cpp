// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/carbon/LaunchServices.h"

#include <sys/stat.h>

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <climits>
#include <cstring>

#include "platform/cf/CFQt.h"

namespace {

bool hasPackageExtension(const QString& name) {
  const QString extension = QFileInfo(name).suffix().toLower();
  for (const char* known : {"app", "bundle", "framework", "plugin", "kext", "dictionary", "action",
                            "workflow"})
    if (extension == QLatin1String(known)) return true;
  return false;
}

// A desktop entry ("*.desktop") whose [Desktop Entry] group says Type=Application.
bool isApplicationEntry(const QString& path) {
  if (!path.endsWith(QLatin1String(".desktop"))) return false;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return false;
  bool inEntry = false;
  for (QByteArray line; !(line = file.readLine(64 * 1024)).isEmpty();) {
    line = line.trimmed();
    if (line.startsWith('[')) inEntry = line == "[Desktop Entry]";
    else if (inEntry && line.startsWith("Type") && line.mid(4).trimmed().startsWith('='))
      return line.mid(line.indexOf('=') + 1).trimmed() == "Application";
  }
  return false;
}

}  // namespace

OSStatus LSCopyItemInfoForRef(const FSRef* inItemRef, LSRequestedInfo inWhichInfo,
                              LSItemInfoRecord* outItemInfo) {
  if (!inItemRef || !outItemInfo) return paramErr;
  std::memset(outItemInfo, 0, sizeof *outItemInfo);
  UInt8 raw[PATH_MAX];
  if (OSStatus err = FSRefMakePath(inItemRef, raw, sizeof raw)) return err;
  const char* cpath = reinterpret_cast<const char*>(raw);
  const QString path = QFile::decodeName(cpath);
  struct stat st;
  if (lstat(cpath, &st) != 0) return fnfErr;

  LSItemInfoFlags flags = 0;
  if (S_ISLNK(st.st_mode)) {
    flags |= kLSItemInfoIsAliasFile | kLSItemInfoIsSymlink;
  } else if (S_ISDIR(st.st_mode)) {
    flags |= kLSItemInfoIsContainer;
    if (std::strcmp(cpath, "/") != 0 &&
        (hasPackageExtension(path) || QFileInfo(path + "/Contents/Info.plist").isFile())) {
      flags |= kLSItemInfoIsPackage;
      if (QFileInfo(path).suffix().compare(QLatin1String("app"), Qt::CaseInsensitive) == 0)
        flags |= kLSItemInfoIsApplication;
    }
  } else if (S_ISREG(st.st_mode)) {
    flags |= kLSItemInfoIsPlainFile;
    if ((st.st_mode & 0111) || isApplicationEntry(path)) flags |= kLSItemInfoIsApplication;
  }
  outItemInfo->flags = flags;

  if ((inWhichInfo & kLSRequestTypeCreator) && !S_ISLNK(st.st_mode)) {
    FSCatalogInfo info;
    if (FSGetCatalogInfo(inItemRef, kFSCatInfoFinderInfo, &info, nullptr, nullptr, nullptr) == noErr) {
      FileInfo finder;
      std::memcpy(&finder, info.finderInfo, sizeof finder);
      outItemInfo->filetype = finder.fileType;
      outItemInfo->creator = finder.fileCreator;
    }
  }
  if (inWhichInfo & kLSRequestExtension) {
    const QString name = QFileInfo(path).fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot > 0 && dot + 1 < name.size()) outItemInfo->extension = CFStringCreateWithQString(name.mid(dot + 1));
  }
  return noErr;
}

OSStatus LSInit(LSInitializeFlags) { return noErr; }

OSStatus LSTerm(void) { return noErr; }

OSStatus LSOpenCFURLRef(CFURLRef inURL, CFURLRef* outLaunchedURL) {
  if (outLaunchedURL) *outLaunchedURL = nullptr;
  if (!inURL) return paramErr;
  QString argument;
  if (CFStringRef scheme = CFURLCopyScheme(inURL)) {
    const bool isFile = CFStringCompare(scheme, CFSTR("file"), kCFCompareCaseInsensitive) == kCFCompareEqualTo;
    CFRelease(scheme);
    if (isFile) {
      UInt8 path[4096];
      if (!CFURLGetFileSystemRepresentation(inURL, true, path, sizeof path)) return paramErr;
      struct stat st;
      if (stat(reinterpret_cast<const char*>(path), &st) != 0) return fnfErr;
      argument = QFile::decodeName(reinterpret_cast<const char*>(path));
    }
  }
  if (argument.isNull()) argument = CFStringToQString(CFURLGetString(inURL));
  const QByteArray configured = qgetenv("VOCABULON_OPENER");
  const QString opener = configured.isEmpty() ? QStringLiteral("xdg-open") : QFile::decodeName(configured);
  // Detached: the opener (and the application it starts) outlives this call and this process.
  if (!QProcess::startDetached(opener, {argument})) return kLSApplicationNotFoundErr;
  if (outLaunchedURL) *outLaunchedURL = static_cast<CFURLRef>(CFRetain(inURL));
  return noErr;
}

OSStatus LSOpenFSRef(const FSRef* inRef, FSRef* outLaunchedRef) {
  if (!inRef) return paramErr;
  CFURLRef url = CFURLCreateFromFSRef(nullptr, inRef);
  if (!url) return fnfErr;
  const OSStatus status = LSOpenCFURLRef(url, nullptr);
  CFRelease(url);
  if (status == noErr && outLaunchedRef) *outLaunchedRef = *inRef;
  return status;
}
