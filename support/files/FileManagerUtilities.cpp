// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/files/FileManagerUtilities.h"

#include <cstring>

#include "platform/carbon/Memory.h"

namespace fsutil {

OSErr MakeSpecCompat(FSVolumeRefNum vRefNum, SInt32 dirID, ConstStr255Param name, FSSpec* spec) {
  const OSErr err = FSMakeFSSpec(vRefNum, dirID, name, spec);
  if (err == noErr && spec->parID == 0) spec->parID = fsRtParID;
  return err;
}

OSErr GetFullPath(FSVolumeRefNum vRefNum, SInt32 dirID, ConstStr255Param name, SInt16* pathLength,
                  Handle* pathHandle) {
  if (!pathLength || !pathHandle) return paramErr;
  *pathLength = 0;
  *pathHandle = nullptr;
  FSSpec spec;
  const OSErr err = MakeSpecCompat(vRefNum, dirID, name, &spec);
  if (err != noErr && err != fnfErr) return err;
  return GetFullPathOfSpec(&spec, pathLength, pathHandle);
}

OSErr GetFullPathOfSpec(const FSSpec* given, SInt16* pathLength, Handle* pathHandle) {
  if (!given || !pathLength || !pathHandle) return paramErr;
  *pathLength = 0;
  *pathHandle = nullptr;
  FSSpec spec;
  if (given->name[0] == 0) {
    if (OSErr err = MakeSpecCompat(given->vRefNum, given->parID, nullptr, &spec)) return err;
  } else {
    spec = *given;
  }
  OSErr result = noErr;
  Handle path = nullptr;
  if (spec.parID == fsRtParID) {
    UInt8 name[65];
    std::memcpy(name, spec.name + 1, spec.name[0]);
    name[spec.name[0]] = ':';
    if (OSErr err = PtrToHand(name, &path, spec.name[0] + 1)) return err;
  } else {
    CInfoPBRec pb{};
    Str255 name;
    std::memcpy(name, spec.name, spec.name[0] + 1);
    pb.dirInfo.header.ioNamePtr = name;
    pb.dirInfo.header.ioVRefNum = spec.vRefNum;
    pb.dirInfo.ioDrDirID = spec.parID;
    pb.dirInfo.ioFDirIndex = 0;
    result = PBGetCatInfoSync(&pb);
    if (result != noErr && result != fnfErr) return result;
    UInt8 bytes[257];
    std::memcpy(bytes, spec.name + 1, spec.name[0]);
    long length = spec.name[0];
    if (result == noErr && (pb.hFileInfo.ioFlAttrib & kioFlAttribDirMask)) bytes[length++] = ':';
    if (OSErr err = PtrToHand(bytes, &path, length)) return err;

    // Climb to the root, inserting each folder's name in front.
    OSErr err = noErr;
    SInt32 folderId = spec.parID;
    for (int depth = 0; depth < 4096; ++depth) {
      CInfoPBRec folder{};
      Str255 folderName{};
      folder.dirInfo.header.ioNamePtr = folderName;
      folder.dirInfo.header.ioVRefNum = spec.vRefNum;
      folder.dirInfo.ioDrDirID = folderId;
      folder.dirInfo.ioFDirIndex = -1;
      if ((err = PBGetCatInfoSync(&folder)) != noErr) break;
      folderName[++folderName[0]] = ':';
      Munger(path, 0, nullptr, 0, folderName + 1, folderName[0]);
      if ((err = MemError()) != noErr) break;
      if (folder.dirInfo.ioDrDirID == fsRtDirID) break;
      folderId = folder.dirInfo.ioDrParID;
    }
    if (err != noErr) {
      DisposeHandle(path);
      return err;
    }
  }
  *pathLength = SInt16(GetHandleSize(path));
  *pathHandle = path;
  return result;
}

OSErr MakeFSRefFromParts(FSVolumeRefNum vRefNum, SInt32 dirID, ConstStr255Param name, FSRef* ref) {
  if (!ref) return paramErr;
  FSRefParam pb{};
  pb.header.ioVRefNum = vRefNum;
  pb.ioDirID = dirID;
  pb.header.ioNamePtr = const_cast<StringPtr>(name);
  pb.newRef = ref;
  return PBMakeFSRefSync(&pb);
}

OSErr GetParentRef(const FSRef* ref, FSRef* parentRef) {
  if (!parentRef) return paramErr;
  FSCatalogInfo info;
  if (OSErr err = FSGetCatalogInfo(ref, kFSCatInfoNodeID, &info, nullptr, nullptr, parentRef))
    return err;
  if (info.nodeID == UInt32(fsRtDirID)) std::memset(parentRef, 0, sizeof *parentRef);
  return noErr;
}

OSErr GetItemName(const FSRef* ref, HFSUniStr255* name) {
  if (!name) return paramErr;
  return FSGetCatalogInfo(ref, kFSCatInfoNone, nullptr, name, nullptr, nullptr);
}

OSErr GetFinderInfo(const FSRef* ref, FileInfo* info, UInt8 extendedInfo[16], Boolean* isFolder) {
  FSCatalogInfoBitmap which = kFSCatInfoNone;
  if (info) which |= kFSCatInfoFinderInfo;
  if (extendedInfo) which |= kFSCatInfoFinderXInfo;
  if (isFolder) which |= kFSCatInfoNodeFlags;
  FSCatalogInfo catalog;
  if (OSErr err = FSGetCatalogInfo(ref, which, &catalog, nullptr, nullptr, nullptr)) return err;
  if (info) std::memcpy(info, catalog.finderInfo, sizeof *info);
  if (extendedInfo) std::memcpy(extendedInfo, catalog.extFinderInfo, 16);
  if (isFolder) *isFolder = (catalog.nodeFlags & kFSNodeIsDirectoryMask) != 0;
  return noErr;
}

OSErr GetDirectoryItems(const FSRef* folder, Handle* refsHandle, ItemCount* count,
                        Boolean* changed) {
  if (!refsHandle || !count || !changed) return paramErr;
  *count = 0;
  *changed = false;
  *refsHandle = NewHandle(0);
  if (!*refsHandle) return memFullErr;
  FSIterator iterator = nullptr;
  OSErr err = FSOpenIterator(folder, kFSIterateFlat, &iterator);
  while (err == noErr) {
    FSRef refs[10];
    ItemCount actual = 0;
    Boolean batchChanged = false;
    err = FSGetCatalogInfoBulk(iterator, 10, &actual, &batchChanged, kFSCatInfoNone, nullptr,
                               refs, nullptr, nullptr);
    if (batchChanged) *changed = true;
    if (err != noErr && err != errFSNoMoreItems) break;
    if (actual) {
      if (OSErr memErr = PtrAndHand(refs, *refsHandle, long(actual * sizeof(FSRef)))) {
        err = memErr;
        break;
      }
      *count += actual;
    }
    if (err == errFSNoMoreItems) {
      FSCloseIterator(iterator);
      return noErr;
    }
  }
  if (iterator) FSCloseIterator(iterator);
  DisposeHandle(*refsHandle);
  *refsHandle = nullptr;
  *count = 0;
  return err;
}

OSErr CopyForkContents(FSIORefNum source, FSIORefNum destination, void* buffer,
                       ByteCount bufferSize) {
  if (!buffer || bufferSize == 0) return paramErr;
  SInt64 size = 0;
  if (OSErr err = FSGetForkSize(source, &size)) return err;
  if (OSErr err = FSSetForkSize(destination, fsFromStart, size)) return err;
  if (OSErr err = FSSetForkPosition(source, fsFromStart, 0)) return err;
  if (OSErr err = FSSetForkPosition(destination, fsFromStart, 0)) return err;
  ByteCount chunk = bufferSize;
  if (chunk >= 4096 && chunk % 4096) chunk -= chunk % 4096;
  OSErr readErr = noErr, writeErr = noErr;
  while (readErr == noErr && writeErr == noErr) {
    ByteCount got = 0;
    readErr = FSReadFork(source, fsAtMark | noCacheMask, 0, chunk, buffer, &got);
    if (got) writeErr = FSWriteFork(destination, fsAtMark | noCacheMask, 0, got, buffer, nullptr);
  }
  if (writeErr) return writeErr;
  return readErr == eofErr ? OSErr(noErr) : readErr;
}

}  // namespace fsutil
