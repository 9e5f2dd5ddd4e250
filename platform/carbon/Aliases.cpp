// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/carbon/Aliases.h"

#include <sys/stat.h>

#include <climits>
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
