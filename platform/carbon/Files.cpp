// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/carbon/Files.h"

#include <dirent.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/carbon/AppleDouble.h"
#include "platform/carbon/FilesCatalog.h"

#include <bit>

using namespace filemanager;

namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

// Extended attributes that keep what the catalog of the platform keeps and Linux does not.
constexpr const char* kFinderInfoAttribute = "user.vocabulon.finderinfo";
constexpr const char* kFinderXInfoAttribute = "user.vocabulon.finderxinfo";
constexpr const char* kCreateDateAttribute = "user.vocabulon.createdate";
constexpr const char* kBackupDateAttribute = "user.vocabulon.backupdate";

constexpr SInt64 kSecondsFrom1904To1970 = 2082844800;

UTCDateTime toDateTime(SInt64 unixSeconds, UInt32 nanoseconds) {
  SInt64 seconds = unixSeconds + kSecondsFrom1904To1970;
  if (seconds < 0) return {};
  if (seconds >= (SInt64(1) << 48)) seconds = (SInt64(1) << 48) - 1;
  UTCDateTime date;
  date.highSeconds = UInt16(seconds >> 32);
  date.lowSeconds = UInt32(seconds);
  date.fraction = UInt16((UInt64(nanoseconds) << 16) / 1000000000u);
  return date;
}

timespec toTimespec(const UTCDateTime& date) {
  const SInt64 seconds = (SInt64(date.highSeconds) << 32) | date.lowSeconds;
  timespec ts;
  ts.tv_sec = time_t(seconds - kSecondsFrom1904To1970);
  ts.tv_nsec = long((UInt64(date.fraction) * 1000000000u) >> 16);
  return ts;
}

UTCDateTime toDateTime(const statx_timestamp& t) { return toDateTime(t.tv_sec, t.tv_nsec); }

// Dates kept in attributes are stored big-endian: 16-bit high seconds, 32-bit low seconds,
// 16-bit fraction.
void encodeDate(const UTCDateTime& date, UInt8 out[8]) {
  out[0] = UInt8(date.highSeconds >> 8), out[1] = UInt8(date.highSeconds);
  for (int i = 0; i < 4; ++i) out[2 + i] = UInt8(date.lowSeconds >> (24 - 8 * i));
  out[6] = UInt8(date.fraction >> 8), out[7] = UInt8(date.fraction);
}

UTCDateTime decodeDate(const UInt8 in[8]) {
  UTCDateTime date;
  date.highSeconds = UInt16((in[0] << 8) | in[1]);
  date.lowSeconds = (UInt32(in[2]) << 24) | (UInt32(in[3]) << 16) | (UInt32(in[4]) << 8) | in[5];
  date.fraction = UInt16((in[6] << 8) | in[7]);
  return date;
}

// Reads an attribute of exactly size bytes; false when it is absent or of another size.
bool readAttribute(const std::string& path, const char* name, void* out, std::size_t size) {
  std::vector<UInt8> buffer(size + 1);
  const ssize_t n = lgetxattr(path.c_str(), name, buffer.data(), buffer.size());
  if (n != ssize_t(size)) return false;
  std::memcpy(out, buffer.data(), size);
  return true;
}

// Writes an attribute; all-zero contents remove it, as zeros are what an absent one reads as.
OSErr writeAttribute(const std::string& path, const char* name, const void* data,
                     std::size_t size) {
  const auto* bytes = static_cast<const UInt8*>(data);
  bool allZero = true;
  for (std::size_t i = 0; i < size; ++i) allZero = allZero && bytes[i] == 0;
  if (allZero) {
    if (lremovexattr(path.c_str(), name) == 0 || errno == ENODATA || errno == ENOTSUP ||
        errno == EPERM)
      return noErr;
    return errorFromErrno(errno);
  }
  if (lsetxattr(path.c_str(), name, data, size, 0) == 0) return noErr;
  // No user attributes here (or on symbolic links): nowhere to keep the information.
  if (errno == ENOTSUP || (errno == EPERM && access(path.c_str(), F_OK) == 0)) return wrgVolTypErr;
  return errorFromErrno(errno);
}

// Hidden as Linux file managers hide: a name beginning with "." or a line of the folder's
// ".hidden" file.
bool hiddenByName(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos || slash + 1 >= path.size()) return false;  // "/" itself
  const std::string name = path.substr(slash + 1);
  if (name[0] == '.') return true;
  std::ifstream hidden(path.substr(0, slash) + "/.hidden");
  for (std::string line; std::getline(hidden, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line == name) return true;
  }
  return false;
}

constexpr std::size_t kFinderFlagsOffset = 8;  // in both FileInfo and FolderInfo

UInt16 finderFlagsOf(const UInt8 finderInfo[16]) {
  UInt16 flags;
  std::memcpy(&flags, finderInfo + kFinderFlagsOffset, sizeof flags);
  return flags;
}

void setFinderFlags(UInt8 finderInfo[16], UInt16 flags) {
  std::memcpy(finderInfo + kFinderFlagsOffset, &flags, sizeof flags);
}

// Finder information as the companion keeps it (big-endian) and as callers read it (host order):
// the same swap both ways, field by field.
void swapFinderInfo(bool folder, UInt8 info[32]) {
  if constexpr (std::endian::native == std::endian::big) return;
  // Field widths: a file's FileInfo and ExtendedFileInfo, a folder's FolderInfo and
  // ExtendedFolderInfo.
  static const int fileFields[] = {4, 4, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 4};
  static const int folderFields[] = {2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 4, 2, 2, 4};
  int at = 0;
  const int* fields = folder ? folderFields : fileFields;
  const std::size_t count = folder ? std::size(folderFields) : std::size(fileFields);
  for (std::size_t i = 0; i < count; ++i) {
    std::reverse(info + at, info + at + fields[i]);
    at += fields[i];
  }
}

// The companion's Finder information entry, in host order; false when there is none.
bool companionFinderInfo(const std::string& path, bool folder, UInt8 out[32]) {
  std::vector<UInt8> bytes;
  if (appledouble::readEntry(appledouble::companionPath(path), appledouble::kFinderInfoEntry,
                             &bytes) != noErr ||
      bytes.size() < 16)
    return false;
  std::memset(out, 0, 32);
  std::memcpy(out, bytes.data(), std::min<std::size_t>(bytes.size(), 32));
  swapFinderInfo(folder, out);
  return true;
}

void carryCompanion(const std::string& from, const std::string& to) {
  const std::string a = appledouble::companionPath(from), b = appledouble::companionPath(to);
  if (!a.empty() && !b.empty()) std::rename(a.c_str(), b.c_str());
}

UInt32 countItems(const std::string& path) {
  DIR* dir = opendir(path.c_str());
  if (!dir) return 0;
  UInt32 count = 0;
  while (dirent* d = readdir(dir))
    if (strcmp(d->d_name, ".") && strcmp(d->d_name, "..") && !isCompanionName(d->d_name)) ++count;
  closedir(dir);
  return count;
}

OSErr checkInfoBitmap(FSCatalogInfoBitmap whichInfo, const void* catalogInfo) {
  if (whichInfo & kFSCatInfoReserved) return errFSBadInfoBitmap;
  if (whichInfo != kFSCatInfoNone && !catalogInfo) return paramErr;
  return noErr;
}

void fillOutputs(Key key, FSRef* ref, FSSpec* spec) {
  if (ref) makeRef(key, ref);
  if (spec) specOf(key, spec);
}

OSErr createItem(bool folder, const FSRef* parentRef, UniCharCount nameLength,
                 const UniChar* name, FSCatalogInfoBitmap whichInfo,
                 const FSCatalogInfo* catalogInfo, FSRef* newRef, FSSpec* newSpec,
                 UInt32* newDirID) {
  if (!parentRef) return paramErr;
  if (OSErr err = checkInfoBitmap(whichInfo, catalogInfo)) return err;
  std::string itemName;
  if (OSErr err = nameFromUnicode(name, nameLength, &itemName)) return err;
  Lock lock(catalogMutex());
  Resolved parent;
  if (OSErr err = resolveRef(parentRef, &parent)) return err;
  if (!parent.st.isDirectory()) return errFSNotAFolder;
  const std::string path = joinPath(parent.path, itemName);
  if (folder) {
    if (mkdir(path.c_str(), 0777) != 0) return errorFromErrno(errno);
  } else {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0) return errorFromErrno(errno);
    close(fd);
  }
  Resolved item;
  OSErr err = lookupChild(parent, itemName, &item);
  if (err == noErr && (whichInfo & kFSCatInfoSettableInfo))
    err = applyCatalogInfo(item, whichInfo, catalogInfo);
  if (err != noErr) {
    // Creation with information is one step: do not leave half of it behind.
    if (item.key) noteDeleted(item.key);
    if (folder) rmdir(path.c_str());
    else unlink(path.c_str());
    return err;
  }
  fillOutputs(item.key, newRef, newSpec);
  if (newDirID) *newDirID = nodeIdOf(item.key);
  return noErr;
}

// Renames with no replacing of an existing item, also where the kernel lacks the flag for it.
OSErr renameNoReplace(const std::string& from, const std::string& to, const Identity& moving) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return noErr;
  if (errno != EINVAL && errno != ENOSYS) return errorFromErrno(errno);
  ItemStat existing;
  // An item found under the new name that is the moving item itself is a change of letter case
  // on a file system that ignores case.
  if (statItem(AT_FDCWD, to.c_str(), &existing) == noErr && !sameItem(existing.id, moving))
    return dupFNErr;
  if (std::rename(from.c_str(), to.c_str()) == 0) return noErr;
  return errno == EINVAL ? OSErr(badMovErr) : errorFromErrno(errno);
}

bool hexValue(const std::string& digits, UInt32* value) {
  if (digits.empty() || digits.size() > 8) return false;
  UInt32 v = 0;
  for (char ch : digits) {
    int d;
    if (ch >= '0' && ch <= '9') d = ch - '0';
    else if (ch >= 'A' && ch <= 'F') d = ch - 'A' + 10;
    else return false;
    v = (v << 4) | UInt32(d);
  }
  *value = v;
  return true;
}

// The item that a shortened classic name ("Long na#1F2E.txt") stands for, found by its ID.
bool findShortened(UInt64 device, Key folder, const std::string& name, Resolved* out) {
  const std::size_t hash = name.rfind('#');
  if (hash == std::string::npos) return false;
  const std::size_t dot = name.find('.', hash);
  UInt32 id;
  if (!hexValue(name.substr(hash + 1, (dot == std::string::npos ? name.size() : dot) - hash - 1),
                &id))
    return false;
  Key key;
  if (keyForId(device, id, &key) != noErr || catalogParent(key) != folder) return false;
  FSSpec spec;
  specOf(key, &spec);
  if (std::string(reinterpret_cast<const char*>(spec.name + 1), spec.name[0]) != name) return false;
  return resolveKey(key, out) == noErr;
}

std::string pascalToString(ConstStr255Param name) {
  if (!name) return {};
  return std::string(reinterpret_cast<const char*>(name + 1), name[0]);
}

}  // namespace

namespace filemanager {

// The item that (volume, folder ID, name) names. An empty name names the folder itself; a name
// with ':' is a colon path. On fnfErr, *leaf is the missing item's name and *folder the key of
// the folder that would hold it (0 when there is none).
OSErr locateSpec(FSVolumeRefNum vRefNum, SInt32 dirID, const std::string& name, Resolved* out,
                 Key* folder, std::string* leaf) {
  *folder = 0;
  *leaf = name;
  if (name.find(':') != std::string::npos) return locateColonPath(vRefNum, dirID, name, out, folder, leaf);
  UInt64 device;
  if (OSErr err = deviceOfVolume(vRefNum, &device)) return err;
  if (dirID == 0) dirID = fsRtDirID;
  if (dirID == fsRtParID) {
    Key root;
    if (OSErr err = volumeRootKey(device, &root)) return err;
    if (!name.empty() && name != catalogName(root)) return fnfErr;
    return resolveKey(root, out);
  }
  Key folderKey;
  if (keyForId(device, UInt32(dirID), &folderKey) != noErr) return dirNFErr;
  Resolved parent;
  if (OSErr err = resolveKey(folderKey, &parent)) return err == fnfErr ? OSErr(dirNFErr) : err;
  if (name.empty()) {
    *out = parent;
    return noErr;
  }
  if (!parent.st.isDirectory()) return dirNFErr;
  OSErr err = lookupChild(parent, name, out);
  if (err == fnfErr && findShortened(device, folderKey, name, out)) return noErr;
  if (err == fnfErr) *folder = folderKey;
  return err;
}

OSErr locateColonPath(FSVolumeRefNum vRefNum, SInt32 dirID, const std::string& name,
                      Resolved* out, Key* folder, std::string* leaf) {
  Resolved at;
  std::size_t pos;
  if (name[0] != ':') {
    // A full path begins with a volume's name.
    const std::size_t colon = name.find(':');
    UInt64 device;
    Key root;
    if (OSErr err = deviceOfVolumeNamed(name.substr(0, colon), &device)) return err;
    if (OSErr err = volumeRootKey(device, &root)) return err;
    if (OSErr err = resolveKey(root, &at)) return err == fnfErr ? OSErr(nsvErr) : err;
    pos = colon + 1;
  } else {
    Key unused;
    std::string none;
    if (OSErr err = locateSpec(vRefNum, dirID, "", &at, &unused, &none))
      return err == fnfErr ? OSErr(dirNFErr) : err;
    if (!at.st.isDirectory()) return dirNFErr;
    pos = 1;
  }
  std::vector<std::string> pieces;
  for (std::size_t next; pos <= name.size(); pos = next + 1) {
    next = name.find(':', pos);
    if (next == std::string::npos) next = name.size();
    pieces.push_back(name.substr(pos, next - pos));
  }
  // A trailing ':' marks a folder; it does not climb.
  if (!pieces.empty() && pieces.back().empty()) pieces.pop_back();
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    const bool last = i + 1 == pieces.size();
    if (pieces[i].empty()) {
      const Key up = catalogParent(at.key);
      if (!up) return dirNFErr;  // above a volume's root
      if (OSErr err = resolveKey(up, &at)) return err == fnfErr ? OSErr(dirNFErr) : err;
      continue;
    }
    if (pieces[i] == "." || pieces[i] == ".." || pieces[i].find('/') != std::string::npos)
      return bdNamErr;
    Resolved child;
    OSErr err = lookupChild(at, pieces[i], &child);
    if (err == fnfErr && findShortened(at.st.id.device, at.key, pieces[i], &child)) err = noErr;
    if (err == fnfErr && last) {
      *folder = at.key;
      *leaf = pieces[i];
      return fnfErr;
    }
    if (err) return err == fnfErr || err == errFSNotAFolder ? OSErr(dirNFErr) : err;
    if (!last && !child.st.isDirectory()) return dirNFErr;
    at = std::move(child);
  }
  *out = std::move(at);
  *leaf = catalogName(out->key);
  return noErr;
}


void finderInfoForCompanion(const Resolved& item, UInt8 out[32]) {
  FSCatalogInfo info{};
  fillCatalogInfo(item, kFSCatInfoFinderInfo | kFSCatInfoFinderXInfo, &info);
  std::memcpy(out, info.finderInfo, 16);
  std::memcpy(out + 16, info.extFinderInfo, 16);
  // The invisible bit that a leading "." gives is the name's, not stored information.
  if (hiddenByName(item.path)) {
    UInt8 stored[16] = {};
    if (!readAttribute(item.path, kFinderInfoAttribute, stored, 16) ||
        !(finderFlagsOf(stored) & kIsInvisible))
      setFinderFlags(out, finderFlagsOf(out) & ~kIsInvisible);
  }
  swapFinderInfo(item.st.isDirectory(), out);
}

void fillCatalogInfo(const Resolved& item, FSCatalogInfoBitmap which, FSCatalogInfo* info) {
  const struct statx& sx = item.st.sx;
  const bool folder = item.st.isDirectory();
  if (which & kFSCatInfoTextEncoding) info->textEncodingHint = kTextEncodingUnicodeDefault;
  if (which & kFSCatInfoNodeFlags) {
    UInt16 flags = 0;
    if (folder) flags |= kFSNodeIsDirectoryMask;
    if ((sx.stx_attributes_mask & STATX_ATTR_IMMUTABLE) && (sx.stx_attributes & STATX_ATTR_IMMUTABLE))
      flags |= kFSNodeLockedMask;
    if (!folder && sx.stx_nlink > 1) flags |= kFSNodeHardLinkMask;
    if (!folder) flags |= openForkFlags(item.st.id);
    info->nodeFlags = flags;
  }
  if (which & kFSCatInfoVolume) info->volume = volumeOf(item.key);
  if (which & kFSCatInfoParentDirID) info->parentDirID = parentIdOf(item.key);
  if (which & kFSCatInfoNodeID) info->nodeID = nodeIdOf(item.key);
  // No file sharing here: no sharing flags, and the owner's privileges are left to permissions.
  if (which & kFSCatInfoSharingFlags) info->sharingFlags = 0;
  if (which & kFSCatInfoUserPrivs) info->userPrivileges = 0;
  if (which & kFSCatInfoCreateDate) {
    UInt8 stored[8];
    if (readAttribute(item.path, kCreateDateAttribute, stored, sizeof stored))
      info->createDate = decodeDate(stored);
    else if (sx.stx_mask & STATX_BTIME)
      info->createDate = toDateTime(sx.stx_btime);
    else
      info->createDate = toDateTime(sx.stx_mtime);
  }
  if (which & kFSCatInfoContentMod) info->contentModDate = toDateTime(sx.stx_mtime);
  if (which & kFSCatInfoAttrMod) info->attributeModDate = toDateTime(sx.stx_ctime);
  if (which & kFSCatInfoAccessDate) info->accessDate = toDateTime(sx.stx_atime);
  if (which & kFSCatInfoBackupDate) {
    UInt8 stored[8];
    info->backupDate = readAttribute(item.path, kBackupDateAttribute, stored, sizeof stored)
                           ? decodeDate(stored)
                           : UTCDateTime{};
  }
  if (which & (kFSCatInfoPermissions | kFSCatInfoUserAccess)) {
    FSPermissionInfo permissions{};
    std::memcpy(&permissions, info->permissions, sizeof permissions);
    if (which & kFSCatInfoPermissions) {
      permissions.userID = sx.stx_uid;
      permissions.groupID = sx.stx_gid;
      permissions.mode = sx.stx_mode;
    }
    if (which & kFSCatInfoUserAccess) permissions.userAccess = 0;
    std::memcpy(info->permissions, &permissions, sizeof permissions);
  }
  UInt8 fromCompanion[32];
  const bool inCompanion = (which & (kFSCatInfoFinderInfo | kFSCatInfoFinderXInfo)) &&
                           companionFinderInfo(item.path, folder, fromCompanion);
  if (which & kFSCatInfoFinderInfo) {
    if (inCompanion)
      std::memcpy(info->finderInfo, fromCompanion, 16);
    else if (!readAttribute(item.path, kFinderInfoAttribute, info->finderInfo, sizeof info->finderInfo))
      std::memset(info->finderInfo, 0, sizeof info->finderInfo);
    if (hiddenByName(item.path))
      setFinderFlags(info->finderInfo, finderFlagsOf(info->finderInfo) | kIsInvisible);
  }
  if ((which & kFSCatInfoFinderXInfo) && inCompanion)
    std::memcpy(info->extFinderInfo, fromCompanion + 16, 16);
  else if ((which & kFSCatInfoFinderXInfo) &&
      !readAttribute(item.path, kFinderXInfoAttribute, info->extFinderInfo,
                     sizeof info->extFinderInfo))
    std::memset(info->extFinderInfo, 0, sizeof info->extFinderInfo);
  if (which & kFSCatInfoValence) info->valence = folder ? countItems(item.path) : 0;
  if (which & kFSCatInfoDataSizes) {
    info->dataLogicalSize = folder ? 0 : sx.stx_size;
    info->dataPhysicalSize = folder ? 0 : sx.stx_blocks * 512;
  }
  if (which & kFSCatInfoRsrcSizes) {
    appledouble::Header header;
    const appledouble::Entry* rsrc = nullptr;
    if (appledouble::readCompanion(appledouble::companionPath(item.path), &header, nullptr) == noErr)
      rsrc = header.find(appledouble::kResourceForkEntry);
    info->rsrcLogicalSize = rsrc ? rsrc->length : 0;
    info->rsrcPhysicalSize = rsrc ? (UInt64(rsrc->length) + 511) / 512 * 512 : 0;
  }
}

OSErr applyCatalogInfo(const Resolved& item, FSCatalogInfoBitmap which, const FSCatalogInfo* info) {
  which &= kFSCatInfoSettableInfo;
  const std::string& path = item.path;
  if (which & kFSCatInfoNodeFlags) {
    // The only settable flag is the lock; Linux's nearest kin (immutable) needs privileges that
    // a user program lacks, so it can be reported but not changed.
    const bool locked = (item.st.sx.stx_attributes & STATX_ATTR_IMMUTABLE) != 0;
    if (bool(info->nodeFlags & kFSNodeLockedMask) != locked) return permErr;
  }
  if (which & kFSCatInfoFinderInfo) {
    UInt8 finderInfo[16];
    std::memcpy(finderInfo, info->finderInfo, sizeof finderInfo);
    // The invisible bit that the name alone gives is not stored: it would outlive a rename.
    UInt8 stored[16] = {};
    if (hiddenByName(path) && (!readAttribute(path, kFinderInfoAttribute, stored, sizeof stored) ||
                               !(finderFlagsOf(stored) & kIsInvisible)))
      setFinderFlags(finderInfo, finderFlagsOf(finderInfo) & ~kIsInvisible);
    if (OSErr err = writeAttribute(path, kFinderInfoAttribute, finderInfo, 16)) return err;
  }
  if (which & kFSCatInfoFinderXInfo)
    if (OSErr err = writeAttribute(path, kFinderXInfoAttribute, info->extFinderInfo, 16)) return err;
  // Where a companion keeps the Finder information, it is the one that counts: keep it current.
  UInt8 companion[32];
  if ((which & (kFSCatInfoFinderInfo | kFSCatInfoFinderXInfo)) &&
      companionFinderInfo(path, item.st.isDirectory(), companion)) {
    if (which & kFSCatInfoFinderInfo) {
      UInt8 stored[16];
      if (readAttribute(path, kFinderInfoAttribute, stored, 16)) std::memcpy(companion, stored, 16);
    }
    if (which & kFSCatInfoFinderXInfo) std::memcpy(companion + 16, info->extFinderInfo, 16);
    swapFinderInfo(item.st.isDirectory(), companion);
    if (OSErr err = appledouble::writeFinderInfo(appledouble::companionPath(path), companion))
      return err;
  }
  if (which & kFSCatInfoCreateDate) {
    UInt8 stored[8];
    encodeDate(info->createDate, stored);
    if (OSErr err = writeAttribute(path, kCreateDateAttribute, stored, 8)) return err;
  }
  if (which & kFSCatInfoBackupDate) {
    UInt8 stored[8];
    encodeDate(info->backupDate, stored);
    if (OSErr err = writeAttribute(path, kBackupDateAttribute, stored, 8)) return err;
  }
  if (which & kFSCatInfoPermissions) {
    FSPermissionInfo permissions;
    std::memcpy(&permissions, info->permissions, sizeof permissions);
    if ((permissions.userID != item.st.sx.stx_uid || permissions.groupID != item.st.sx.stx_gid) &&
        lchown(path.c_str(), permissions.userID, permissions.groupID) != 0)
      return errorFromErrno(errno);
    if (!item.st.isSymlink() && chmod(path.c_str(), permissions.mode & 07777) != 0)
      return errorFromErrno(errno);
  }
  // The attribute-modification date is the system's change time, which nobody can set.
  if (which & (kFSCatInfoContentMod | kFSCatInfoAccessDate)) {
    timespec times[2];
    times[0].tv_nsec = times[1].tv_nsec = UTIME_OMIT;
    if (which & kFSCatInfoAccessDate) times[0] = toTimespec(info->accessDate);
    if (which & kFSCatInfoContentMod) times[1] = toTimespec(info->contentModDate);
    if (utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
      return errorFromErrno(errno);
  }
  return noErr;
}

}  // namespace filemanager

OSStatus FSPathMakeRef(const UInt8* path, FSRef* ref, Boolean* isDirectory) {
  return FSPathMakeRefWithOptions(path, kFSPathMakeRefDefaultOptions, ref, isDirectory);
}

OSStatus FSPathMakeRefWithOptions(const UInt8* path, UInt32 options, FSRef* ref,
                                  Boolean* isDirectory) {
  if (!path || !ref || (options & ~UInt32(kFSPathMakeRefDoNotFollowLeafSymlink))) return paramErr;
  Lock lock(catalogMutex());
  Resolved item;
  if (OSErr err = refFromPath(reinterpret_cast<const char*>(path),
                              !(options & kFSPathMakeRefDoNotFollowLeafSymlink), &item))
    return err;
  makeRef(item.key, ref);
  if (isDirectory) *isDirectory = item.st.isDirectory();
  return noErr;
}

OSStatus FSRefMakePath(const FSRef* ref, UInt8* path, UInt32 maxPathSize) {
  if (!path) return paramErr;
  Lock lock(catalogMutex());
  Resolved item;
  if (OSErr err = resolveRef(ref, &item)) return err;
  if (item.path.size() + 1 > maxPathSize) return pathTooLongErr;
  std::memcpy(path, item.path.c_str(), item.path.size() + 1);
  return noErr;
}

OSErr FSCompareFSRefs(const FSRef* ref1, const FSRef* ref2) {
  if (!ref1 || !ref2) return paramErr;
  Lock lock(catalogMutex());
  Resolved a, b;
  if (OSErr err = resolveRef(ref1, &a)) return err;
  if (OSErr err = resolveRef(ref2, &b)) return err;
  if (a.key == b.key) return noErr;
  return a.st.id.device != b.st.id.device ? diffVolErr : errFSRefsDifferent;
}

OSErr FSMakeFSRefUnicode(const FSRef* parentRef, UniCharCount nameLength, const UniChar* name,
                         TextEncoding, FSRef* newRef) {
  if (!parentRef || !newRef) return paramErr;
  std::string itemName;
  if (OSErr err = nameFromUnicode(name, nameLength, &itemName)) return err;
  Lock lock(catalogMutex());
  Resolved parent, item;
  if (OSErr err = resolveRef(parentRef, &parent)) return err;
  if (OSErr err = lookupChild(parent, itemName, &item)) return err;
  makeRef(item.key, newRef);
  return noErr;
}

OSErr FSGetCatalogInfo(const FSRef* ref, FSCatalogInfoBitmap whichInfo,
                       FSCatalogInfo* catalogInfo, HFSUniStr255* outName, FSSpec* fsSpec,
                       FSRef* parentRef) {
  if (OSErr err = checkInfoBitmap(whichInfo, catalogInfo)) return err;
  Lock lock(catalogMutex());
  Resolved item;
  if (OSErr err = resolveRef(ref, &item)) return err;
  if (catalogInfo) fillCatalogInfo(item, whichInfo, catalogInfo);
  if (outName) nameToUnicode(catalogName(item.key), outName);
  if (fsSpec) specOf(item.key, fsSpec);
  if (parentRef) {
    if (const Key parent = catalogParent(item.key)) makeRef(parent, parentRef);
    else std::memset(parentRef, 0, sizeof *parentRef);
  }
  return noErr;
}

OSErr FSSetCatalogInfo(const FSRef* ref, FSCatalogInfoBitmap whichInfo,
                       const FSCatalogInfo* catalogInfo) {
  if (OSErr err = checkInfoBitmap(whichInfo, catalogInfo)) return err;
  Lock lock(catalogMutex());
  Resolved item;
  if (OSErr err = resolveRef(ref, &item)) return err;
  return whichInfo ? applyCatalogInfo(item, whichInfo, catalogInfo) : OSErr(noErr);
}

OSErr FSCreateDirectoryUnicode(const FSRef* parentRef, UniCharCount nameLength,
                               const UniChar* name, FSCatalogInfoBitmap whichInfo,
                               const FSCatalogInfo* catalogInfo, FSRef* newRef, FSSpec* newSpec,
                               UInt32* newDirID) {
  return createItem(true, parentRef, nameLength, name, whichInfo, catalogInfo, newRef, newSpec,
                    newDirID);
}

OSErr FSCreateFileUnicode(const FSRef* parentRef, UniCharCount nameLength, const UniChar* name,
                          FSCatalogInfoBitmap whichInfo, const FSCatalogInfo* catalogInfo,
                          FSRef* newRef, FSSpec* newSpec) {
  return createItem(false, parentRef, nameLength, name, whichInfo, catalogInfo, newRef, newSpec,
                    nullptr);
}

OSErr FSRenameUnicode(const FSRef* ref, UniCharCount nameLength, const UniChar* name,
                      TextEncoding, FSRef* newRef) {
  if (!ref) return paramErr;
  std::string newName;
  if (OSErr err = nameFromUnicode(name, nameLength, &newName)) return err;
  Lock lock(catalogMutex());
  Resolved item;
  if (OSErr err = resolveRef(ref, &item)) return err;
  if (item.path == "/") return permErr;
  if (isVolumeRoot(item.key)) return fBsyErr;  // a mount point is not ours to rename
  const std::size_t slash = item.path.rfind('/');
  const std::string folder = slash == 0 ? std::string("/") : item.path.substr(0, slash);
  if (item.path.substr(slash + 1) != newName) {
    if (OSErr err = renameNoReplace(item.path, joinPath(folder, newName), item.st.id)) return err;
    carryCompanion(item.path, joinPath(folder, newName));
    noteRenamed(item.key, newName);
  }
  if (newRef) makeRef(item.key, newRef);
  return noErr;
}

OSErr FSMoveObject(const FSRef* ref, const FSRef* destDirectory, FSRef* newRef) {
  if (!ref || !destDirectory) return paramErr;
  Lock lock(catalogMutex());
  Resolved item, dest;
  if (OSErr err = resolveRef(ref, &item)) return err;
  if (OSErr err = resolveRef(destDirectory, &dest)) return err;
  if (!dest.st.isDirectory()) return errFSNotAFolder;
  if (item.st.id.device != dest.st.id.device) return diffVolErr;
  if (isVolumeRoot(item.key)) return fBsyErr;
  if (isWithin(dest.key, item.key)) return badMovErr;
  const std::size_t slash = item.path.rfind('/');
  const std::string folder = slash == 0 ? std::string("/") : item.path.substr(0, slash);
  if (folder != dest.path) {
    const std::string name = item.path.substr(slash + 1);
    if (OSErr err = renameNoReplace(item.path, joinPath(dest.path, name), item.st.id)) return err;
    carryCompanion(item.path, joinPath(dest.path, name));
    noteMoved(item.key, dest.key);
  }
  if (newRef) makeRef(item.key, newRef);
  return noErr;
}

OSErr FSDeleteObject(const FSRef* ref) {
  if (!ref) return paramErr;
  Lock lock(catalogMutex());
  Resolved item;
  if (OSErr err = resolveRef(ref, &item)) return err;
  if (isVolumeRoot(item.key)) return fBsyErr;
  if (item.st.sx.stx_attributes & STATX_ATTR_IMMUTABLE) return fLckdErr;
  if (item.st.isDirectory()) {
    if (rmdir(item.path.c_str()) != 0)
      return errno == EEXIST || errno == ENOTEMPTY ? OSErr(fBsyErr) : errorFromErrno(errno);
  } else {
    if (openForkFlags(item.st.id)) return fBsyErr;
    if (unlink(item.path.c_str()) != 0) return errorFromErrno(errno);
  }
  const std::string companion = appledouble::companionPath(item.path);
  if (!companion.empty()) unlink(companion.c_str());
  noteDeleted(item.key);
  return noErr;
}

OSErr FSMakeFSSpec(FSVolumeRefNum vRefNum, SInt32 dirID, ConstStr255Param fileName, FSSpec* spec) {
  if (!spec) return paramErr;
  const std::string name = pascalToString(fileName);
  Lock lock(catalogMutex());
  Resolved item;
  Key folder;
  std::string leaf;
  const OSErr err = locateSpec(vRefNum, dirID, name, &item, &folder, &leaf);
  if (err == noErr) {
    specOf(item.key, spec);
    return noErr;
  }
  if (err == fnfErr && folder) {
    // The folder exists: the FSSpec names an item that could be created there.
    std::memset(spec, 0, sizeof *spec);
    spec->vRefNum = volumeOf(folder);
    spec->parID = SInt32(nodeIdOf(folder));
    const std::size_t length = std::min<std::size_t>(leaf.size(), 63);
    spec->name[0] = UInt8(length);
    std::memcpy(spec->name + 1, leaf.data(), length);
  }
  return err;
}

OSErr FSpMakeFSRef(const FSSpec* source, FSRef* newRef) {
  if (!source || !newRef) return paramErr;
  Lock lock(catalogMutex());
  Resolved item;
  Key folder;
  std::string leaf;
  if (OSErr err = locateSpec(source->vRefNum, source->parID, pascalToString(source->name), &item,
                             &folder, &leaf))
    return err;
  makeRef(item.key, newRef);
  return noErr;
}
