// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/FileOperations.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/carbon/Memory.h"
#include "platform/carbon/Resources.h"
#include "support/events/FinderEvents.h"
#include "support/files/FileManagerUtilities.h"

namespace {

// The string's UTF-16 units in a new block (DisposePtr it).
UniChar* copyCharacters(CFStringRef string, UniCharCount* length) {
  const CFIndex n = string ? CFStringGetLength(string) : 0;
  *length = UniCharCount(n);
  UniChar* units = reinterpret_cast<UniChar*>(NewPtr(Size((n ? n : 1) * sizeof(UniChar))));
  if (units && n) CFStringGetCharacters(string, CFRangeMake(0, n), units);
  return units;
}

OSErr lookUp(const FSRef* parent, CFStringRef name, FSRef* item) {
  UniCharCount length = 0;
  UniChar* units = copyCharacters(name, &length);
  if (!units) return memFullErr;
  const OSErr err = FSMakeFSRefUnicode(parent, length, units, kTextEncodingUnknown, item);
  DisposePtr(reinterpret_cast<Ptr>(units));
  return err;
}

OSErr createFile(const FSRef* parent, CFStringRef name, FSRef* file) {
  UniCharCount length = 0;
  UniChar* units = copyCharacters(name, &length);
  if (!units) return memFullErr;
  const OSErr err = FSCreateFileUnicode(parent, length, units, kFSCatInfoNone, nullptr, file, nullptr);
  DisposePtr(reinterpret_cast<Ptr>(units));
  return err;
}

OSErr setFinderField(const FSRef* file, bool creator, OSType value) {
  FSCatalogInfo info;
  if (OSErr err = FSGetCatalogInfo(file, kFSCatInfoFinderInfo, &info, nullptr, nullptr, nullptr)) return err;
  FileInfo finder;
  std::memcpy(&finder, info.finderInfo, sizeof finder);
  (creator ? finder.fileCreator : finder.fileType) = value;
  std::memcpy(info.finderInfo, &finder, sizeof finder);
  return FSSetCatalogInfo(file, kFSCatInfoFinderInfo, &info);
}

OSErr getDate(const FSRef* item, FSCatalogInfoBitmap which, UTCDateTime* date) {
  FSCatalogInfo info{};
  const OSErr err = FSGetCatalogInfo(item, which, &info, nullptr, nullptr, nullptr);
  if (date) {
    if (err) *date = UTCDateTime{};
    else if (which == kFSCatInfoCreateDate) *date = info.createDate;
    else if (which == kFSCatInfoContentMod) *date = info.contentModDate;
    else *date = info.attributeModDate;
  }
  return err;
}

// Its result is not examined: without a Finder running there is nobody to tell.
void notifyFinder(const FSRef* item) { aeutil::NotifyFinderOfChange(item); }

// Read the field, replace it, write it back, tell the Finder. A failed read changes nothing and
// still answers 0.
OSErr setDate(const FSRef* item, FSCatalogInfoBitmap which, const UTCDateTime* date) {
  if (!date) return paramErr;
  FSCatalogInfo info{};
  if (FSGetCatalogInfo(item, which, &info, nullptr, nullptr, nullptr) != noErr) return noErr;
  if (which == kFSCatInfoCreateDate) info.createDate = *date;
  else if (which == kFSCatInfoContentMod) info.contentModDate = *date;
  else info.attributeModDate = *date;
  const OSErr err = FSSetCatalogInfo(item, which, &info);
  notifyFinder(item);
  return err;
}

OSErr setDateOfSpec(const FSSpec* spec, FSCatalogInfoBitmap which, const UTCDateTime* date) {
  FSRef ref;
  if (OSErr err = FSpMakeFSRef(spec, &ref)) return err;
  return setDate(&ref, which, date);
}

}  // namespace

OSErr CreateFileIfMissing(const FSRef* parent, CFStringRef name, FSRef* file) {
  const OSErr found = lookUp(parent, name, file);
  if (found != fnfErr) return found;
  return createFile(parent, name, file);
}

OSErr CreateFileWithCreatorAndType(const FSRef* parent, CFStringRef name, OSType creator,
                                   OSType type, FSRef* file) {
  OSErr err = CreateFileIfMissing(parent, name, file);
  if (!err) err = SetFileType(file, type);
  if (!err) err = SetFileCreator(file, creator);
  return err;
}

OSErr MakeFileAtPath(CFStringRef path, FSRef* file) {
  if (!path || !file) return paramErr;
  const CFIndex max = CFStringGetMaximumSizeForEncoding(CFStringGetLength(path), kCFStringEncodingUTF8) + 1;
  std::string bytes(std::size_t(max), '\0');
  if (!CFStringGetCString(path, bytes.data(), max, kCFStringEncodingUTF8)) return paramErr;
  bytes.resize(std::strlen(bytes.c_str()));
  OSErr err = FSPathMakeRef(reinterpret_cast<const UInt8*>(bytes.c_str()), file, nullptr);
  const std::size_t slash = bytes.rfind('/');
  if (err != fnfErr || slash == std::string::npos) return err;
  const std::string folderPath = slash == 0 ? "/" : bytes.substr(0, slash);
  FSRef folder;
  if ((err = FSPathMakeRef(reinterpret_cast<const UInt8*>(folderPath.c_str()), &folder, nullptr)))
    return err;
  CFStringRef name = CFStringCreateWithCString(nullptr, bytes.c_str() + slash + 1, kCFStringEncodingUTF8);
  if (!name) return paramErr;
  err = createFile(&folder, name, file);
  CFRelease(name);
  return err;
}

OSErr MakeFileAtPathWithCreatorAndType(CFStringRef path, OSType creator, OSType type, FSRef* file) {
  OSErr err = MakeFileAtPath(path, file);
  if (!err) err = SetFileType(file, type);
  if (!err) err = SetFileCreator(file, creator);
  return err;
}

OSErr WriteFileAtPath(const char* path, const void* data, ByteCount count) {
  CFStringRef string = path ? CFStringCreateWithCString(nullptr, path, CFStringGetSystemEncoding()) : nullptr;
  if (!string) return noErr;
  FSRef file;
  const OSErr err = MakeFileAtPath(string, &file);
  CFRelease(string);
  if (!err) WriteDataFork(&file, data, count);
  return err;
}

UInt8* CopyDataFork(const FSRef* file) {
  FSIORefNum fork;
  // Read-only: reading needs no more, and read-only files are copied too.
  if (FSOpenFork(file, 0, nullptr, fsRdPerm, &fork) != noErr) return nullptr;
  SInt64 size = 0;
  UInt8* bytes = nullptr;
  if (FSGetForkSize(fork, &size) == noErr && size >= 0 && size <= SInt64(UINT32_MAX)) {
    bytes = static_cast<UInt8*>(std::malloc(std::size_t(size ? size : 1)));
    // A fork that cannot be read whole gives nothing, never a block of stale bytes.
    if (bytes && size > 0 &&
        FSReadFork(fork, fsFromStart | noCacheMask, 0, ByteCount(size), bytes, nullptr) != noErr) {
      std::free(bytes);
      bytes = nullptr;
    }
  }
  FSCloseFork(fork);
  return bytes;
}

UInt8* CopyDataForkAtPath(CFStringRef path) {
  if (!path) return nullptr;
  const char* direct = CFStringGetCStringPtr(path, CFStringGetSystemEncoding());
  std::string converted;
  if (!direct) {
    // A string without a direct pointer (a mutable one) is converted instead of refused.
    const CFIndex max = CFStringGetMaximumSizeForEncoding(CFStringGetLength(path), kCFStringEncodingUTF8) + 1;
    converted.assign(std::size_t(max), '\0');
    if (!CFStringGetCString(path, converted.data(), max, CFStringGetSystemEncoding())) return nullptr;
    direct = converted.c_str();
  }
  FSRef file;
  if (FSPathMakeRef(reinterpret_cast<const UInt8*>(direct), &file, nullptr) != noErr) return nullptr;
  return CopyDataFork(&file);
}

UInt8* CopyDataForkOfSpec(FSVolumeRefNum vRefNum, SInt32 dirID, ConstStr255Param name) {
  FSRef file;
  if (fsutil::MakeFSRefFromParts(vRefNum, dirID, name, &file) != noErr) return nullptr;
  return CopyDataFork(&file);
}

OSErr WriteDataFork(const FSRef* file, const void* data, ByteCount count) {
  FSIORefNum fork;
  if (OSErr err = FSOpenFork(file, 0, nullptr, fsRdWrPerm, &fork)) return err;
  OSErr err = FSSetForkPosition(fork, fsFromStart, 0);
  if (!err) err = FSWriteFork(fork, fsAtMark | noCacheMask, 0, count, data, nullptr);
  const OSErr closeErr = FSCloseFork(fork);
  return err ? err : closeErr;
}

void CopyResourceFork(const FSRef* source, const FSRef* destination) {
  const ResFileRefNum in = FSOpenResFile(source, fsRdPerm);
  if (in == -1) return;
  HFSUniStr255 name;
  FSGetResourceForkName(&name);
  const OSErr created = FSCreateResourceFork(destination, name.length, name.unicode, 0);
  ResFileRefNum out = -1;
  if ((created == noErr || created == errFSForkExists) &&
      FSOpenResourceFile(destination, name.length, name.unicode, fsWrPerm, &out) == noErr) {
    char buffer[8192];
    fsutil::CopyForkContents(in, out, buffer, sizeof buffer);
    // The destination's in-memory map was never changed, so closing writes nothing over the copy.
    CloseResFile(out);
  }
  CloseResFile(in);
}

OSErr SetFileType(const FSRef* file, OSType type) { return setFinderField(file, false, type); }

OSErr SetFileCreator(const FSRef* file, OSType creator) { return setFinderField(file, true, creator); }

UInt64 GetDataForkSize(const FSRef* file) {
  FSCatalogInfo info;
  return FSGetCatalogInfo(file, kFSCatInfoDataSizes, &info, nullptr, nullptr, nullptr) ? 0
                                                                                        : info.dataLogicalSize;
}

UInt64 GetTotalSize(const FSRef* file) {
  FSCatalogInfo info;
  if (FSGetCatalogInfo(file, kFSCatInfoDataSizes | kFSCatInfoRsrcSizes, &info, nullptr, nullptr, nullptr))
    return 0;
  return info.dataLogicalSize + info.rsrcLogicalSize;
}

UInt32 GetModificationSeconds(const FSRef* item) {
  UTCDateTime date;
  getDate(item, kFSCatInfoContentMod, &date);
  return date.lowSeconds;
}

OSErr GetCreateDate(const FSRef* item, UTCDateTime* date) { return getDate(item, kFSCatInfoCreateDate, date); }
OSErr GetContentModDate(const FSRef* item, UTCDateTime* date) { return getDate(item, kFSCatInfoContentMod, date); }
OSErr GetAttributeModDate(const FSRef* item, UTCDateTime* date) { return getDate(item, kFSCatInfoAttrMod, date); }

OSErr SetCreateDate(const FSRef* item, const UTCDateTime* date) { return setDate(item, kFSCatInfoCreateDate, date); }
OSErr SetCreateDate(const FSSpec* item, const UTCDateTime* date) { return setDateOfSpec(item, kFSCatInfoCreateDate, date); }
OSErr SetContentModDate(const FSRef* item, const UTCDateTime* date) { return setDate(item, kFSCatInfoContentMod, date); }
OSErr SetContentModDate(const FSSpec* item, const UTCDateTime* date) { return setDateOfSpec(item, kFSCatInfoContentMod, date); }
OSErr SetAttributeModDate(const FSRef* item, const UTCDateTime* date) { return setDate(item, kFSCatInfoAttrMod, date); }
OSErr SetAttributeModDate(const FSSpec* item, const UTCDateTime* date) { return setDateOfSpec(item, kFSCatInfoAttrMod, date); }

OSErr SetCreateAndModDates(const FSRef* item, const UTCDateTime* created, const UTCDateTime* modified) {
  if (!created || !modified) return paramErr;
  FSCatalogInfo info{};
  info.createDate = *created;
  info.contentModDate = *modified;
  const OSErr err = FSSetCatalogInfo(item, kFSCatInfoCreateDate | kFSCatInfoContentMod, &info);
  notifyFinder(item);
  return err;
}

OSErr TouchFile(const FSRef* file, const UTCDateTime* date) {
  if (date) {
    FSCatalogInfo info{};
    info.createDate = info.contentModDate = info.attributeModDate = *date;
    FSSetCatalogInfo(file, kFSCatInfoCreateDate | kFSCatInfoContentMod | kFSCatInfoAttrMod, &info);
  }
  FSIORefNum fork;
  if (FSOpenFork(file, 0, nullptr, fsRdWrPerm, &fork) == noErr) {
    UInt8 first;
    // An empty file has no first byte to write back; nothing is added to it.
    if (FSReadFork(fork, fsFromStart, 0, 1, &first, nullptr) == noErr)
      FSWriteFork(fork, fsFromStart, 0, 1, &first, nullptr);
    FSCloseFork(fork);
  }
  notifyFinder(file);
  return noErr;
}

OSErr MakeReadableWritableByAll(const FSRef* item) {
  FSCatalogInfo info;
  if (OSErr err = FSGetCatalogInfo(item, kFSCatInfoPermissions, &info, nullptr, nullptr, nullptr)) return err;
  FSPermissionInfo permissions;
  std::memcpy(&permissions, info.permissions, sizeof permissions);
  permissions.mode |= 0666;
  std::memcpy(info.permissions, &permissions, sizeof permissions);
  return FSSetCatalogInfo(item, kFSCatInfoPermissions, &info);
}

CFStringRef CopyItemName(const FSRef* item) {
  HFSUniStr255 name;
  if (FSGetCatalogInfo(item, kFSCatInfoNone, nullptr, &name, nullptr, nullptr)) return nullptr;
  return CFStringCreateWithCharacters(nullptr, name.unicode, name.length);
}

OSErr RenameItem(FSRef* item, CFStringRef name) {
  UniCharCount length = 0;
  UniChar* units = copyCharacters(name, &length);
  if (!units) return memFullErr;
  const OSErr err = FSRenameUnicode(item, length, units, kTextEncodingUnknown, item);
  DisposePtr(reinterpret_cast<Ptr>(units));
  return err;
}

OSErr GetPathAsPascal(const FSRef* item, Str255 path) {
  if (!path) return paramErr;
  UInt8 buffer[255];
  const OSStatus err = FSRefMakePath(item, buffer, sizeof buffer);
  if (err) return OSErr(err);
  const std::size_t length = std::strlen(reinterpret_cast<char*>(buffer));
  path[0] = UInt8(length);
  std::memcpy(path + 1, buffer, length);
  return noErr;
}

Boolean GetParentRef(const FSRef* item, FSRef* parent) {
  return FSGetCatalogInfo(item, kFSCatInfoNone, nullptr, nullptr, nullptr, parent) == noErr;
}

OSErr GetFSSpec(const FSRef* item, FSSpec* spec) {
  return FSGetCatalogInfo(item, kFSCatInfoNone, nullptr, nullptr, spec, nullptr);
}

OSErr GetFSRefFromDesc(FSRef* ref, const AEDesc* desc) {
  if (!ref || !desc) return paramErr;
  if (desc->descriptorType == typeFSRef) {
    if (AEGetDescDataSize(desc) != Size(sizeof *ref)) return errAECoercionFail;
    return AEGetDescData(desc, ref, sizeof *ref);
  }
  AEDesc coerced;
  OSErr err = AECoerceDesc(desc, typeFSRef, &coerced);
  if (!err) {
    err = AEGetDescData(&coerced, ref, sizeof *ref);
    AEDisposeDesc(&coerced);
    return err;
  }
  if ((err = AECoerceDesc(desc, typeFSS, &coerced)) != noErr) return err;
  FSSpec spec;
  err = AEGetDescData(&coerced, &spec, sizeof spec);
  AEDisposeDesc(&coerced);
  return err ? err : FSpMakeFSRef(&spec, ref);
}
