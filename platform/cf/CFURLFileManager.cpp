// SPDX-License-Identifier: GPL-3.0-or-later
#include <sys/stat.h>

#include <climits>
#include <cstring>

#include "platform/carbon/Files.h"
#include "platform/cf/CFURL.h"

CFURLRef CFURLCreateFromFSRef(CFAllocatorRef allocator, const FSRef* fsRef) {
  if (!fsRef) return nullptr;
  UInt8 path[PATH_MAX];
  if (FSRefMakePath(fsRef, path, sizeof path) != noErr) return nullptr;
  struct stat st;
  const bool folder = lstat(reinterpret_cast<char*>(path), &st) == 0 && S_ISDIR(st.st_mode);
  return CFURLCreateFromFileSystemRepresentation(
      allocator, path, CFIndex(std::strlen(reinterpret_cast<char*>(path))), folder);
}

Boolean CFURLGetFSRef(CFURLRef url, FSRef* fsRef) {
  if (!url || !fsRef) return false;
  UInt8 path[PATH_MAX];
  if (!CFURLGetFileSystemRepresentation(url, true, path, sizeof path)) return false;
  return FSPathMakeRef(path, fsRef, nullptr) == noErr;
}
