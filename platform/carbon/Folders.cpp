// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/carbon/Folders.h"

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QString>
#include <cerrno>
#include <string>

#include "platform/Places.h"
#include "platform/carbon/FilesCatalog.h"

namespace {

enum class Domain { User, Local, System };

QString environment(const char* name) { return QString::fromLocal8Bit(qgetenv(name)); }

QString home() { return QDir::cleanPath(QDir::homePath()); }

// An XDG base directory: the variable when it holds an absolute path, else the default.
QString xdgBase(const char* variable, const char* underHome) {
  const QString value = environment(variable);
  if (!value.isEmpty() && QDir::isAbsolutePath(value)) return QDir::cleanPath(value);
  return home() + '/' + QLatin1String(underHome);
}

// One entry of the XDG user directories ("DESKTOP", "DOCUMENTS", ...): the value in
// $XDG_CONFIG_HOME/user-dirs.dirs, else the environment variable, else $HOME/<fallback>.
QString userDirectory(const char* key, const char* fallback) {
  const QString wanted = QStringLiteral("XDG_%1_DIR").arg(QLatin1String(key));
  QFile file(places::userConfigHome() + QStringLiteral("/user-dirs.dirs"));
  if (file.open(QIODevice::ReadOnly)) {
    // Bound the read: this is a few lines of shell assignments.
    const QStringList lines = QString::fromUtf8(file.read(64 * 1024)).split('\n');
    for (const QString& raw : lines) {
      const QString line = raw.trimmed();
      if (line.startsWith('#') || !line.startsWith(wanted + '=')) continue;
      QString value = line.mid(wanted.size() + 1);
      if (value.size() < 2 || !value.startsWith('"') || !value.endsWith('"')) continue;
      value = value.mid(1, value.size() - 2);
      QString unescaped;
      for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) ++i;
        unescaped += value[i];
      }
      if (unescaped == QLatin1String("$HOME")) return home();
      if (unescaped.startsWith(QLatin1String("$HOME/")))
        return QDir::cleanPath(home() + unescaped.mid(5));
      if (QDir::isAbsolutePath(unescaped)) return QDir::cleanPath(unescaped);
    }
  }
  const QString fromEnvironment = environment(wanted.toLatin1().constData());
  if (QDir::isAbsolutePath(fromEnvironment)) return QDir::cleanPath(fromEnvironment);
  return home() + '/' + QLatin1String(fallback);
}

QString temporaryFolder() {
  const QString tmp = environment("TMPDIR");
  return QDir::isAbsolutePath(tmp) ? QDir::cleanPath(tmp) : QStringLiteral("/tmp");
}

// Where a folder type lives in a domain; empty when the domain has no such folder.
QString folderPath(Domain domain, OSType type) {
  switch (domain) {
    case Domain::User:
      switch (type) {
        case kApplicationSupportFolderType: return places::userDataHome();
        case kLogsFolderType: return places::userStateHome() + QStringLiteral("/log");
        case kPreferencesFolderType: return places::userConfigHome();
        case kCachedDataFolderType: return xdgBase("XDG_CACHE_HOME", ".cache");
        case kFontsFolderType: return places::userDataHome() + QStringLiteral("/fonts");
        case kTemporaryFolderType: return temporaryFolder();
        case kCurrentUserFolderType: return home();
        case kDesktopFolderType: return userDirectory("DESKTOP", "Desktop");
        case kDocumentsFolderType: return userDirectory("DOCUMENTS", "Documents");
        case kDownloadsFolderType: return userDirectory("DOWNLOAD", "Downloads");
        case kPictureDocumentsFolderType: return userDirectory("PICTURES", "Pictures");
        case kMovieDocumentsFolderType: return userDirectory("VIDEOS", "Videos");
        case kMusicDocumentsFolderType: return userDirectory("MUSIC", "Music");
        default: return {};
      }
    case Domain::Local:
      switch (type) {
        case kApplicationSupportFolderType:
          return places::hostPath(QStringLiteral("/Library/Application Support"));
        case kLogsFolderType: return places::hostPath(QStringLiteral("/Library/Logs"));
        case kPreferencesFolderType: return places::hostPath(QStringLiteral("/Library/Preferences"));
        case kCachedDataFolderType: return places::hostPath(QStringLiteral("/Library/Caches"));
        case kFontsFolderType: return places::hostPath(QStringLiteral("/Library/Fonts"));
        case kDomainLibraryFolderType: return places::hostPath(QStringLiteral("/Library"));
        case kApplicationsFolderType: return places::hostPath(QStringLiteral("/Applications"));
        case kUsersFolderType: return places::hostPath(QStringLiteral("/Users"));
        case kTemporaryFolderType: return temporaryFolder();
        default: return {};
      }
    case Domain::System:
      switch (type) {
        case kSystemFolderType: return places::hostPath(QStringLiteral("/System"));
        case kDomainLibraryFolderType: return places::hostPath(QStringLiteral("/System/Library"));
        case kApplicationSupportFolderType:
          return places::hostPath(QStringLiteral("/System/Library/Application Support"));
        case kPreferencesFolderType:
          return places::hostPath(QStringLiteral("/System/Library/Preferences"));
        case kFontsFolderType: return places::hostPath(QStringLiteral("/System/Library/Fonts"));
        case kTemporaryFolderType: return temporaryFolder();
        default: return {};
      }
  }
  return {};
}

bool isPerUserType(OSType type) {
  switch (type) {
    case kDesktopFolderType:
    case kDocumentsFolderType:
    case kDownloadsFolderType:
    case kPictureDocumentsFolderType:
    case kMovieDocumentsFolderType:
    case kMusicDocumentsFolderType:
    case kCurrentUserFolderType:
      return true;
    default:
      return false;
  }
}

// Creates the folder and whatever parents it lacks.
OSErr makeFolders(const std::string& path, mode_t mode) {
  std::size_t pos = 1;
  while (true) {
    const std::size_t slash = path.find('/', pos);
    const std::string prefix = path.substr(0, slash);
    if (!prefix.empty() && mkdir(prefix.c_str(), mode) != 0 && errno != EEXIST)
      return filemanager::errorFromErrno(errno);
    if (slash == std::string::npos) return noErr;
    pos = slash + 1;
  }
}

OSErr findAt(const QString& where, bool perUser, Boolean createFolder, FSRef* foundRef) {
  if (where.isEmpty()) return fnfErr;
  const std::string path = QFile::encodeName(where).toStdString();
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) {
    if (errno != ENOENT) return filemanager::errorFromErrno(errno);
    if (!createFolder) return fnfErr;
    // Folders of the user's own are private, as the XDG rules ask of their base folders.
    if (OSErr err = makeFolders(path, perUser ? 0700 : 0755)) return err;
  }
  Boolean isFolder = false;
  FSRef ref;
  if (OSStatus err = FSPathMakeRef(reinterpret_cast<const UInt8*>(path.c_str()), &ref, &isFolder))
    return OSErr(err);
  if (!isFolder) return errFSNotAFolder;
  *foundRef = ref;
  return noErr;
}

}  // namespace

OSErr FSFindFolder(FSVolumeRefNum vRefNum, OSType folderType, Boolean createFolder,
                   FSRef* foundRef) {
  if (!foundRef) return paramErr;
  switch (vRefNum) {
    case kUserDomain:
      return findAt(folderPath(Domain::User, folderType), true, createFolder, foundRef);
    case kLocalDomain:
      return findAt(folderPath(Domain::Local, folderType), false, createFolder, foundRef);
    case kSystemDomain:
      return findAt(folderPath(Domain::System, folderType), false, createFolder, foundRef);
    case kOnSystemDisk:
    case kOnAppropriateDisk:
      if (isPerUserType(folderType))
        return findAt(folderPath(Domain::User, folderType), true, createFolder, foundRef);
      if (!folderPath(Domain::Local, folderType).isEmpty())
        return findAt(folderPath(Domain::Local, folderType), false, createFolder, foundRef);
      return findAt(folderPath(Domain::System, folderType), false, createFolder, foundRef);
    case kNetworkDomain:
    case kClassicDomain:
      return fnfErr;  // neither exists on Linux
    default:
      break;
  }
  // A volume: its root, or a standard folder that happens to lie on it.
  std::lock_guard lock(filemanager::catalogMutex());
  UInt64 device;
  if (OSErr err = filemanager::deviceOfVolume(vRefNum, &device)) return err;
  if (folderType == kVolumeRootFolderType) {
    filemanager::Key root;
    if (OSErr err = filemanager::volumeRootKey(device, &root)) return err;
    filemanager::Resolved item;
    if (OSErr err = filemanager::resolveKey(root, &item)) return err;
    filemanager::makeRef(root, foundRef);
    return noErr;
  }
  for (Domain domain : {Domain::User, Domain::Local, Domain::System}) {
    FSRef ref;
    if (findAt(folderPath(domain, folderType), domain == Domain::User, kDontCreateFolder, &ref))
      continue;
    filemanager::Resolved item;
    if (filemanager::resolveRef(&ref, &item) == noErr && item.st.id.device == device) {
      *foundRef = ref;
      return noErr;
    }
  }
  return fnfErr;
}

OSErr FindFolder(FSVolumeRefNum vRefNum, OSType folderType, Boolean createFolder,
                 FSVolumeRefNum* foundVRefNum, SInt32* foundDirID) {
  if (!foundVRefNum || !foundDirID) return paramErr;
  FSRef ref;
  if (OSErr err = FSFindFolder(vRefNum, folderType, createFolder, &ref)) return err;
  FSCatalogInfo info;
  if (OSErr err = FSGetCatalogInfo(&ref, kFSCatInfoVolume | kFSCatInfoNodeID, &info, nullptr,
                                   nullptr, nullptr))
    return err;
  *foundVRefNum = info.volume;
  *foundDirID = SInt32(info.nodeID);
  return noErr;
}
