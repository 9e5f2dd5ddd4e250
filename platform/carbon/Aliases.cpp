// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/carbon/Aliases.h"

#include <sys/stat.h>

#include "platform/carbon/FilesCatalog.h"
#include "platform/carbon/Memory.h"

#include <dirent.h>
#include <fcntl.h>

#include <climits>
#include <mutex>
#include <string>
#include <vector>
#include <cstring>

OSErr FSIsAliasFile(const FSRef* fileRef, Boolean* aliasFileFlag, Boolean* folderFlag) {
  if (!fileRef || !aliasFileFlag || !folderFlag) return paramErr;
  *aliasFileFlag = *folderFlag = false;
  UInt8 path[PATH_MAX];
  if (OSStatus err = FSRefMakePath(fileRef, path, sizeof path)) return OSErr(err);
  struct stat st;
  if (lstat(reinterpret_cast<char*>(path), &st) != 0) return fnfErr;
  if (S_ISLNK(st.st_mode)) {
    struct stat target;
    *aliasFileFlag = true;
    *folderFlag = stat(reinterpret_cast<char*>(path), &target) == 0 && S_ISDIR(target.st_mode);
    return noErr;
  }
  FSCatalogInfo info;
  if (OSErr err = FSGetCatalogInfo(fileRef, kFSCatInfoFinderInfo | kFSCatInfoNodeFlags, &info,
                                   nullptr, nullptr, nullptr))
    return err;
  FileInfo finder;
  std::memcpy(&finder, info.finderInfo, sizeof finder);
  *aliasFileFlag = !(info.nodeFlags & kFSNodeIsDirectoryMask) && (finder.finderFlags & kIsAlias);
  return noErr;
}

namespace {

using namespace filemanager;

constexpr UInt32 kAliasTag = 0x5662416C;  // "VbAl"
constexpr UInt16 kAliasVersion = 1;
constexpr std::size_t kFixedSize = 50;      // everything before the path bytes
constexpr UInt16 kFolderFlag = 0x0001;

void put(std::vector<UInt8>& v, UInt64 x, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) v.push_back(UInt8(x >> (8 * i)));
}
UInt64 get(const UInt8* p, int bytes) {
  UInt64 x = 0;
  for (int i = 0; i < bytes; ++i) x = (x << 8) | p[i];
  return x;
}

struct Decoded {
  Identity id;
  bool folder = false;
  std::string path;
};

bool decode(const UInt8* b, std::size_t size, Decoded* out) {
  if (!b || size < kFixedSize) return false;
  const std::size_t declared = std::size_t(get(b + 4, 2));
  if (declared < kFixedSize || declared > size) return false;
  if (get(b + 6, 4) != kAliasTag || get(b + 10, 2) != kAliasVersion) return false;
  out->folder = get(b + 12, 2) & kFolderFlag;
  out->id.device = get(b + 14, 8);
  out->id.inode = get(b + 22, 8);
  out->id.stampKind = UInt32(get(b + 30, 4));
  out->id.stampSeconds = SInt64(get(b + 34, 8));
  out->id.stampNanos = UInt32(get(b + 42, 4));
  const std::size_t pathLength = std::size_t(get(b + 46, 4));
  if (out->id.stampKind > kGeneration || pathLength == 0 || kFixedSize + pathLength != declared) return false;
  out->path.assign(reinterpret_cast<const char*>(b + kFixedSize), pathLength);
  if (out->path[0] != '/' || out->path.find('\0') != std::string::npos) return false;
  return true;
}

// The item whose identity the record holds, in the folder the path names.
bool findRenamed(const Decoded& alias, std::string* found) {
  const std::size_t slash = alias.path.rfind('/');
  const std::string folder = slash == 0 ? std::string("/") : alias.path.substr(0, slash);
  DIR* dir = opendir(folder.c_str());
  if (!dir) return false;
  bool ok = false;
  while (const dirent* e = readdir(dir)) {
    if (e->d_ino != alias.id.inode) continue;
    ItemStat st;
    const std::string candidate = joinPath(folder, e->d_name);
    if (statItem(AT_FDCWD, candidate.c_str(), &st) == noErr && sameItem(st.id, alias.id)) {
      *found = candidate;
      ok = true;
      break;
    }
  }
  closedir(dir);
  return ok;
}

}  // namespace

OSErr ValidateAliasRecord(const void* bytes, std::size_t size) {
  Decoded d;
  return decode(static_cast<const UInt8*>(bytes), size, &d) ? noErr : paramErr;
}

OSErr FSNewAlias(const FSRef*, const FSRef* target, AliasHandle* inAlias) {
  if (!target || !inAlias) return paramErr;
  *inAlias = nullptr;
  Resolved item;
  {
    std::lock_guard lock(catalogMutex());
    if (OSErr err = resolveRef(target, &item)) return err;
  }
  if (kFixedSize + item.path.size() > 0xFFFF) return pathTooLongErr;
  std::vector<UInt8> b;
  put(b, 0, 4);  // user type
  put(b, kFixedSize + item.path.size(), 2);
  put(b, kAliasTag, 4);
  put(b, kAliasVersion, 2);
  put(b, item.st.isDirectory() ? kFolderFlag : 0, 2);
  put(b, item.st.id.device, 8);
  put(b, item.st.id.inode, 8);
  put(b, item.st.id.stampKind, 4);
  put(b, UInt64(item.st.id.stampSeconds), 8);
  put(b, item.st.id.stampNanos, 4);
  put(b, item.path.size(), 4);
  b.insert(b.end(), item.path.begin(), item.path.end());
  Handle h = nullptr;
  if (OSErr err = PtrToHand(b.data(), &h, long(b.size()))) return err;
  *inAlias = reinterpret_cast<AliasHandle>(h);
  return noErr;
}

OSErr FSResolveAliasWithMountFlags(const FSRef*, AliasHandle inAlias, FSRef* target,
                                   Boolean* wasChanged, unsigned long) {
  if (wasChanged) *wasChanged = false;
  if (!inAlias || !*inAlias || !target) return paramErr;
  const Size size = GetHandleSize(reinterpret_cast<Handle>(inAlias));
  if (MemError() != noErr) return paramErr;
  Decoded alias;
  if (!decode(reinterpret_cast<const UInt8*>(*inAlias), std::size_t(size), &alias)) return paramErr;
  std::string path = alias.path;
  ItemStat st;
  bool moved = false;
  if (statItem(AT_FDCWD, path.c_str(), &st) != noErr || !sameItem(st.id, alias.id)) {
    std::string renamed;
    if (findRenamed(alias, &renamed)) {
      path = renamed;
      moved = true;
    } else if (statItem(AT_FDCWD, path.c_str(), &st) == noErr) {
      moved = true;  // replaced under the same name: the item there now is the one meant
    } else {
      return fnfErr;
    }
  }
  std::lock_guard lock(catalogMutex());
  Resolved item;
  if (OSErr err = refFromPath(path, false, &item)) return err;
  makeRef(item.key, target);
  if (wasChanged) *wasChanged = moved;
  return noErr;
}

OSErr FSResolveAlias(const FSRef* fromFile, AliasHandle alias, FSRef* target, Boolean* wasChanged) {
  return FSResolveAliasWithMountFlags(fromFile, alias, target, wasChanged, 0);
}

Size GetAliasSize(AliasHandle alias) {
  if (!alias || !*alias || GetHandleSize(reinterpret_cast<Handle>(alias)) < 6) return 0;
  return Size(get(reinterpret_cast<const UInt8*>(*alias) + 4, 2));
}

OSType GetAliasUserType(AliasHandle alias) {
  if (!alias || !*alias || GetHandleSize(reinterpret_cast<Handle>(alias)) < 6) return 0;
  return OSType(get(reinterpret_cast<const UInt8*>(*alias), 4));
}
