// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/carbon/DesktopDatabase.h"

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <ctime>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/Places.h"
#include "platform/carbon/FilesCatalog.h"
#include "platform/cf/PropertyList.h"

namespace {

struct Application {
  QString path;
  QString bundleName;
  OSType signature = 0;
  FSSpec spec{};
  UInt32 modified = 0;  // classic seconds
};

OSType signatureFrom(const QString& text) {
  const QByteArray bytes = text.toLatin1();
  if (bytes.size() != 4 || bytes == "????") return 0;
  return (OSType(UInt8(bytes[0])) << 24) | (OSType(UInt8(bytes[1])) << 16) |
         (OSType(UInt8(bytes[2])) << 8) | OSType(UInt8(bytes[3]));
}

// The standard application folders, each once.
QStringList applicationFolders() {
  QStringList folders;
  for (const QString& folder : {places::hostPath(QStringLiteral("/Applications")),
                                QDir::homePath() + QStringLiteral("/Applications")}) {
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    if (!canonical.isEmpty() && !folders.contains(canonical)) folders << canonical;
  }
  return folders;
}

// The bundles in the application folders on the device (every device when device is 0).
std::vector<Application> applicationsOn(UInt64 device, bool anyDevice) {
  std::vector<Application> found;
  for (const QString& folder : applicationFolders()) {
    struct stat st;
    if (stat(QFile::encodeName(folder).constData(), &st) != 0) continue;
    if (!anyDevice && UInt64(st.st_dev) != device) continue;
    const QFileInfoList entries =
        QDir(folder).entryInfoList({QStringLiteral("*.app")}, QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& bundle : entries) {
      const auto info = plist::readFile(bundle.filePath() + QStringLiteral("/Contents/Info.plist"));
      if (!info) continue;
      const QVariantMap map = info->toMap();
      Application app;
      app.path = bundle.filePath();
      app.signature = signatureFrom(map.value(QStringLiteral("CFBundleSignature")).toString());
      if (!app.signature) continue;
      app.bundleName = map.value(QStringLiteral("CFBundleName")).toString();
      if (app.bundleName.isEmpty()) app.bundleName = bundle.completeBaseName();
      found.push_back(app);
    }
  }
  return found;
}

// 1904-based local seconds, as the classic calls give dates.
UInt32 classicSeconds(const UTCDateTime& date) {
  const time_t now = time(nullptr);
  struct tm local;
  localtime_r(&now, &local);
  return date.lowSeconds + UInt32(local.tm_gmtoff);
}

}  // namespace

OSErr PBDTGetPath(DTPBPtr paramBlock) {
  if (!paramBlock) return paramErr;
  HParamBlockRec volume{};
  volume.volumeParam.header.ioVRefNum = paramBlock->header.ioVRefNum;
  volume.volumeParam.ioVolIndex = 0;
  OSErr err = PBHGetVInfoSync(&volume);
  if (err == noErr) paramBlock->ioDTRefNum = volume.volumeParam.header.ioVRefNum;
  paramBlock->header.ioResult = err;
  return err;
}

OSErr PBDTGetAPPLSync(DTPBPtr paramBlock) {
  if (!paramBlock) return paramErr;
  auto answer = [&](OSErr err) { return paramBlock->header.ioResult = err; };
  if (!paramBlock->header.ioNamePtr || paramBlock->ioIndex < 0) return answer(paramErr);
  UInt64 device = 0;
  {
    std::lock_guard lock(filemanager::catalogMutex());
    if (OSErr err = filemanager::deviceOfVolume(paramBlock->ioDTRefNum, &device)) return answer(err);
  }
  std::vector<Application> matching;
  for (Application& app : applicationsOn(device, false)) {
    if (app.signature != paramBlock->ioFileCreator) continue;
    FSRef ref;
    FSCatalogInfo info;
    const QByteArray path = QFile::encodeName(app.path);
    if (FSPathMakeRef(reinterpret_cast<const UInt8*>(path.constData()), &ref, nullptr) != noErr) continue;
    if (FSGetCatalogInfo(&ref, kFSCatInfoContentMod, &info, nullptr, &app.spec, nullptr) != noErr) continue;
    app.modified = classicSeconds(info.contentModDate);
    matching.push_back(app);
  }
  if (matching.empty()) return answer(afpItemNotFound);
  // Newest first; among equal dates the folders' order (system before user) stays.
  std::stable_sort(matching.begin(), matching.end(),
                   [](const Application& a, const Application& b) { return a.modified > b.modified; });
  const std::size_t index = paramBlock->ioIndex <= 1 ? 0 : std::size_t(paramBlock->ioIndex - 1);
  if (index >= matching.size()) return answer(afpItemNotFound);
  const Application& app = matching[index];
  std::memcpy(paramBlock->header.ioNamePtr, app.spec.name, app.spec.name[0] + 1);
  paramBlock->ioAPPLParID = app.spec.parID;
  paramBlock->ioTagInfo = SInt32(app.modified);
  return answer(noErr);
}

OSType DesktopSignatureForApplicationName(const char* name) {
  if (!name || !*name) return 0;
  const QString wanted = QString::fromUtf8(name);
  for (const Application& app : applicationsOn(0, true))
    if (app.bundleName == wanted) return app.signature;
  return 0;
}
