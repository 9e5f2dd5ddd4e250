// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/FileKinds.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include "platform/carbon/Aliases.h"
#include "platform/carbon/LaunchServices.h"
#include "platform/cf/CFURL.h"

namespace {

constexpr CFIndex kMaxNameLength = 255;  // UTF-16 units, the HFS Plus limit

bool nodeFlags(const FSRef* ref, UInt16* flags) {
  FSCatalogInfo info;
  if (!ref || FSGetCatalogInfo(ref, kFSCatInfoNodeFlags, &info, nullptr, nullptr, nullptr) != noErr)
    return false;
  *flags = info.nodeFlags;
  return true;
}

bool finderInfo(const FSRef* ref, FileInfo* out) {
  FSCatalogInfo info;
  if (!ref || FSGetCatalogInfo(ref, kFSCatInfoFinderInfo, &info, nullptr, nullptr, nullptr) != noErr)
    return false;
  std::memcpy(out, info.finderInfo, sizeof *out);
  return true;
}

bool basicFlags(const FSRef* ref, LSItemInfoFlags* flags) {
  LSItemInfoRecord info;
  if (LSCopyItemInfoForRef(ref, kLSRequestBasicFlagsOnly, &info) != noErr) return false;
  *flags = info.flags;
  return true;
}

CFMutableStringRef copyName(const FSRef* ref) {
  HFSUniStr255 name;
  if (FSGetCatalogInfo(ref, kFSCatInfoNone, nullptr, &name, nullptr, nullptr) != noErr) return nullptr;
  CFMutableStringRef copy = CFStringCreateMutable(kCFAllocatorDefault, kMaxNameLength);
  CFStringAppendCharacters(copy, name.unicode, name.length);
  return copy;
}

OSErr renameTo(const FSRef* ref, CFStringRef name) {
  CFIndex length = std::min(CFStringGetLength(name), kMaxNameLength);
  // Never half a surrogate pair: the cut name must still be a name.
  const UniChar last = CFStringGetCharacterAtIndex(name, length - 1);
  if (length < CFStringGetLength(name) && last >= 0xD800 && last <= 0xDBFF) --length;
  std::vector<UniChar> units(std::size_t(std::max<CFIndex>(length, 1)));
  CFStringGetCharacters(name, CFRangeMake(0, length), units.data());
  return FSRenameUnicode(ref, UniCharCount(length), units.data(), kTextEncodingUnknown, nullptr);
}

struct MovieType {
  const char* type;
  const char* extension;
};
constexpr MovieType kMovieTypes[] = {{"MooV", ".mov"}, {"VfW ", ".avi"}, {"SWFL", ".swf"},
                                     {"mpg4", ".mp4"}, {"3gpp", ".3gp"}, {"3gp2", ".3g2"}};

OSType codeOf(const char* text) {
  return (OSType(UInt8(text[0])) << 24) | (OSType(UInt8(text[1])) << 16) |
         (OSType(UInt8(text[2])) << 8) | OSType(UInt8(text[3]));
}

}  // namespace

Boolean IsFolder(const FSRef* ref) {
  UInt16 flags;
  return nodeFlags(ref, &flags) && (flags & kFSNodeIsDirectoryMask);
}

Boolean IsFile(const FSRef* ref) {
  UInt16 flags;
  return nodeFlags(ref, &flags) && !(flags & kFSNodeIsDirectoryMask);
}

Boolean IsFolderAliasFile(const FSRef* ref) {
  Boolean alias = false, folder = false;
  return FSIsAliasFile(ref, &alias, &folder) == noErr && alias && folder;
}

Boolean IsVisible(const FSRef* ref) {
  FileInfo info;
  return finderInfo(ref, &info) && !(info.finderFlags & kIsInvisible);
}

Boolean IsApplication(const FSRef* ref) {
  LSItemInfoFlags flags;
  return basicFlags(ref, &flags) && (flags & kLSItemInfoIsApplication);
}

Boolean IsPackageOrApplication(const FSRef* ref) {
  LSItemInfoFlags flags;
  return basicFlags(ref, &flags) && (flags & (kLSItemInfoIsPackage | kLSItemInfoIsApplication));
}

Boolean IsContainer(const FSRef* ref) {
  LSItemInfoFlags flags;
  return basicFlags(ref, &flags) && (flags & kLSItemInfoIsContainer);
}

Boolean IsBundleLike(const FSRef* ref) { return IsPackageOrApplication(ref) || HasBundleExtension(ref); }

Boolean HasBundleExtension(const FSRef* ref) {
  CFURLRef url = CFURLCreateFromFSRef(kCFAllocatorDefault, ref);
  if (!url) return false;
  CFStringRef extension = CFURLCopyPathExtension(url);
  CFRelease(url);
  if (!extension) return false;
  bool found = false;
  for (CFStringRef known : {CFSTR("app"), CFSTR("bundle"), CFSTR("framework"), CFSTR("plugin"), CFSTR("kext")})
    if (!found) found = CFStringCompare(extension, known, kCFCompareCaseInsensitive) == kCFCompareEqualTo;
  CFRelease(extension);
  return found;
}

OSErr GetFileType(const FSRef* ref, OSType* type) {
  if (!type) return paramErr;
  *type = 0;
  if (!ref) return paramErr;
  FSCatalogInfo info;
  const OSErr err = FSGetCatalogInfo(ref, kFSCatInfoFinderInfo, &info, nullptr, nullptr, nullptr);
  if (err == noErr) *type = reinterpret_cast<const FileInfo*>(info.finderInfo)->fileType;
  return err;
}

OSErr GetFileCreator(const FSRef* ref, OSType* creator) {
  if (!creator) return paramErr;
  *creator = 0;
  if (!ref) return paramErr;
  FSCatalogInfo info;
  const OSErr err = FSGetCatalogInfo(ref, kFSCatInfoFinderInfo, &info, nullptr, nullptr, nullptr);
  if (err == noErr) *creator = reinterpret_cast<const FileInfo*>(info.finderInfo)->fileCreator;
  return err;
}

CFStringRef CopyMovieExtension(const FSRef* ref) {
  OSType type = 0;
  if (GetFileType(ref, &type) != noErr) return nullptr;
  for (const MovieType& movie : kMovieTypes)
    if (codeOf(movie.type) == type)
      return CFStringCreateWithCString(kCFAllocatorDefault, movie.extension, kCFStringEncodingASCII);
  return nullptr;
}

void ChangeFileExtension(const FSRef* ref, CFStringRef oldExtension, CFStringRef newExtension) {
  if (!ref || !newExtension) return;
  CFURLRef url = CFURLCreateFromFSRef(kCFAllocatorDefault, ref);
  if (!url) return;
  CFMutableStringRef name = copyName(ref);
  if (name) {
    CFStringRef extension = CFURLCopyPathExtension(url);
    if (extension) {
      if (oldExtension &&
          CFStringCompare(extension, oldExtension, kCFCompareCaseInsensitive) == kCFCompareEqualTo) {
        const CFRange at = CFStringFind(name, extension, kCFCompareBackwards);
        if (at.location != kCFNotFound) CFStringReplace(name, at, newExtension);
      }
      CFRelease(extension);
    } else {
      CFStringAppend(name, CFSTR("."));
      CFStringAppend(name, newExtension);
    }
    renameTo(ref, name);
    CFRelease(name);
  }
  CFRelease(url);
}

CFStringRef AddSuffixIfNoExtension(CFStringRef posixPath, CFStringRef suffix) {
  if (!posixPath || !suffix) return nullptr;
  // Paths as long as Linux allows, not only those under 256 bytes.
  char path[PATH_MAX];
  if (!CFStringGetCString(posixPath, path, sizeof path, kCFStringEncodingUTF8)) return nullptr;
  FSRef ref;
  if (FSPathMakeRef(reinterpret_cast<const UInt8*>(path), &ref, nullptr) != noErr) return nullptr;
  CFURLRef url = CFURLCreateFromFSRef(kCFAllocatorDefault, &ref);
  if (!url) return nullptr;
  CFStringRef extension = CFURLCopyPathExtension(url);
  CFRelease(url);
  if (extension) {
    CFRelease(extension);
    return nullptr;
  }
  CFMutableStringRef name = copyName(&ref);
  if (!name) return nullptr;
  CFStringAppend(name, suffix);
  const OSErr err = renameTo(&ref, name);
  CFRelease(name);
  if (err != noErr) return nullptr;
  UInt8 newPath[PATH_MAX];
  if (FSRefMakePath(&ref, newPath, sizeof newPath) != noErr) return nullptr;
  return CFStringCreateWithCString(kCFAllocatorDefault, reinterpret_cast<char*>(newPath),
                                   kCFStringEncodingUTF8);
}
