// SPDX-License-Identifier: GPL-3.0-or-later
// The classic calls: specifications, the fork calls of reference numbers, and the
// parameter-block catalog calls, over the FSRef calls and the catalog.
#include <dirent.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <memory>
#include <vector>

#include "platform/carbon/Files.h"
#include "platform/carbon/FilesCatalog.h"

using namespace filemanager;

namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

std::string pascal(ConstStr255Param name) {
  return name ? std::string(reinterpret_cast<const char*>(name + 1), name[0]) : std::string();
}

void setPascal(StringPtr out, const std::string& text, std::size_t max) {
  if (!out) return;
  const std::size_t length = std::min(text.size(), max);
  out[0] = UInt8(length);
  std::memcpy(out + 1, text.data(), length);
}

UInt32 classicSeconds(const UTCDateTime& date) {
  const time_t now = time(nullptr);
  struct tm local;
  localtime_r(&now, &local);
  return date.lowSeconds + UInt32(local.tm_gmtoff);
}

// The folder and name a specification of a missing item names.
OSErr placeForNew(const FSSpec* spec, FSRef* folderRef, HFSUniStr255* name) {
  Lock lock(catalogMutex());
  Resolved item;
  Key folder;
  std::string leaf;
  const OSErr err = locateSpec(spec->vRefNum, spec->parID, pascal(spec->name), &item, &folder, &leaf);
  if (err == noErr) return dupFNErr;
  if (err != fnfErr || !folder) return err;
  makeRef(folder, folderRef);
  nameToUnicode(leaf, name);
  return noErr;
}

OSErr openSpecFork(const FSSpec* spec, bool resource, SInt8 permission, FSIORefNum* refNum) {
  if (!spec || !refNum) return paramErr;
  FSRef ref;
  if (OSErr err = FSpMakeFSRef(spec, &ref)) return err;
  HFSUniStr255 forkName;
  if (resource) FSGetResourceForkName(&forkName);
  else FSGetDataForkName(&forkName);
  return FSOpenFork(&ref, forkName.length, forkName.unicode, permission, refNum);
}

}  // namespace

namespace filemanager {

std::vector<std::string> visibleItems(const std::string& folder) {
  std::vector<std::string> names;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.c_str()), closedir);
  if (!dir) return names;
  while (const dirent* e = readdir(dir.get())) {
    const std::string name = e->d_name;
    if (name == "." || name == ".." || isCompanionName(name)) continue;
    names.push_back(name);
  }
  // The catalog of a Mac volume is sorted by name; the index calls follow that order.
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace filemanager

OSErr FSpCreate(const FSSpec* spec, OSType creator, OSType fileType, ScriptCode) {
  if (!spec) return paramErr;
  FSRef folder;
  HFSUniStr255 name;
  if (OSErr err = placeForNew(spec, &folder, &name)) return err;
  FSCatalogInfo info{};
  FileInfo finder{};
  finder.fileType = fileType;
  finder.fileCreator = creator;
  std::memcpy(info.finderInfo, &finder, sizeof finder);
  // Type and creator 0 leave no Finder information behind.
  const FSCatalogInfoBitmap which = (creator || fileType) ? kFSCatInfoFinderInfo : kFSCatInfoNone;
  return FSCreateFileUnicode(&folder, name.length, name.unicode, which, &info, nullptr, nullptr);
}

OSErr FSpDirCreate(const FSSpec* spec, ScriptCode, SInt32* createdDirID) {
  if (!spec) return paramErr;
  FSRef folder;
  HFSUniStr255 name;
  if (OSErr err = placeForNew(spec, &folder, &name)) return err;
  UInt32 id = 0;
  const OSErr err = FSCreateDirectoryUnicode(&folder, name.length, name.unicode, kFSCatInfoNone,
                                             nullptr, nullptr, nullptr, &id);
  if (!err && createdDirID) *createdDirID = SInt32(id);
  return err;
}

OSErr FSpDelete(const FSSpec* spec) {
  if (!spec) return paramErr;
  FSRef ref;
  if (OSErr err = FSpMakeFSRef(spec, &ref)) return err;
  return FSDeleteObject(&ref);
}

OSErr FSpOpenDF(const FSSpec* spec, SInt8 permission, FSIORefNum* refNum) {
  return openSpecFork(spec, false, permission, refNum);
}

OSErr FSpOpenRF(const FSSpec* spec, SInt8 permission, FSIORefNum* refNum) {
  return openSpecFork(spec, true, permission, refNum);
}

OSErr FSRead(FSIORefNum refNum, SInt32* count, void* buffPtr) {
  if (!count || *count < 0) return paramErr;
  ByteCount done = 0;
  const OSErr err = FSReadFork(refNum, fsAtMark, 0, ByteCount(*count), buffPtr, &done);
  *count = SInt32(done);
  return err;
}

OSErr FSWrite(FSIORefNum refNum, SInt32* count, const void* buffPtr) {
  if (!count || *count < 0) return paramErr;
  ByteCount done = 0;
  const OSErr err = FSWriteFork(refNum, fsAtMark, 0, ByteCount(*count), buffPtr, &done);
  *count = SInt32(done);
  return err;
}

OSErr GetFPos(FSIORefNum refNum, SInt32* filePos) {
  if (!filePos) return paramErr;
  SInt64 position = 0;
  const OSErr err = FSGetForkPosition(refNum, &position);
  if (err) return err;
  if (position > INT32_MAX) return fileBoundsErr;
  *filePos = SInt32(position);
  return noErr;
}

OSErr SetFPos(FSIORefNum refNum, SInt16 posMode, SInt32 posOff) {
  return FSSetForkPosition(refNum, UInt16(posMode), posOff);
}

OSErr GetEOF(FSIORefNum refNum, SInt32* logEOF) {
  if (!logEOF) return paramErr;
  SInt64 size = 0;
  if (OSErr err = FSGetForkSize(refNum, &size)) return err;
  if (size > INT32_MAX) return fileBoundsErr;
  *logEOF = SInt32(size);
  return noErr;
}

OSErr SetEOF(FSIORefNum refNum, SInt32 logEOF) {
  if (logEOF < 0) return posErr;
  return FSSetForkSize(refNum, fsFromStart, logEOF);
}

OSErr FSClose(FSIORefNum refNum) { return FSCloseFork(refNum); }

OSErr PBGetCatInfoSync(CInfoPBPtr paramBlock) {
  if (!paramBlock) return paramErr;
  HFileInfo& file = paramBlock->hFileInfo;
  DirInfo& dir = paramBlock->dirInfo;
  Lock lock(catalogMutex());
  Resolved item;
  OSErr err;
  if (file.ioFDirIndex == 0) {
    Key folder;
    std::string leaf;
    err = locateSpec(file.header.ioVRefNum, file.ioDirID, pascal(file.header.ioNamePtr), &item,
                     &folder, &leaf);
  } else {
    Key unused;
    std::string none;
    Resolved folder;
    err = locateSpec(file.header.ioVRefNum, file.ioDirID, "", &folder, &unused, &none);
    if (err == fnfErr) err = dirNFErr;
    if (!err && file.ioFDirIndex < 0) {
      item = folder;
      if (!item.st.isDirectory()) err = dirNFErr;
    } else if (!err) {
      if (!folder.st.isDirectory()) {
        err = dirNFErr;
      } else {
        const std::vector<std::string> names = visibleItems(folder.path);
        if (std::size_t(file.ioFDirIndex) > names.size()) err = fnfErr;
        else err = lookupChild(folder, names[std::size_t(file.ioFDirIndex - 1)], &item);
      }
    }
    if (!err) {
      FSSpec spec;
      specOf(item.key, &spec);
      setPascal(file.header.ioNamePtr, pascal(spec.name), 63);
    }
  }
  file.header.ioResult = err;
  if (err) return err;

  FSCatalogInfo info{};
  fillCatalogInfo(item, kFSCatInfoGettableInfo, &info);
  file.header.ioVRefNum = info.volume;
  file.ioFRefNum = 0;
  SInt8 attributes = 0;
  if (info.nodeFlags & kFSNodeLockedMask) attributes |= kioFlAttribLockedMask;
  if (info.nodeFlags & kFSNodeIsDirectoryMask) attributes |= kioFlAttribDirMask;
  if (info.nodeFlags & kFSNodeDataOpenMask) attributes |= kioFlAttribDataOpenMask;
  file.ioFlAttrib = attributes;
  file.ioACUser = 0;
  if (item.st.isDirectory()) {
    std::memcpy(dir.ioDrUsrWds, info.finderInfo, 16);
    dir.ioDrDirID = SInt32(info.nodeID);
    dir.ioDrNmFls = UInt16(std::min<UInt32>(info.valence, 0xFFFF));
    dir.ioDrCrDat = classicSeconds(info.createDate);
    dir.ioDrMdDat = classicSeconds(info.contentModDate);
    dir.ioDrBkDat = info.backupDate.lowSeconds ? classicSeconds(info.backupDate) : 0;
    std::memcpy(dir.ioDrFndrInfo, info.extFinderInfo, 16);
    dir.ioDrParID = SInt32(info.parentDirID);
  } else {
    std::memcpy(&file.ioFlFndrInfo, info.finderInfo, 16);
    file.ioDirID = SInt32(info.nodeID);
    file.ioFlStBlk = 0;
    file.ioFlLgLen = SInt32(std::min<UInt64>(info.dataLogicalSize, INT32_MAX));
    file.ioFlPyLen = SInt32(std::min<UInt64>(info.dataPhysicalSize, INT32_MAX));
    file.ioFlRStBlk = 0;
    file.ioFlRLgLen = SInt32(std::min<UInt64>(info.rsrcLogicalSize, INT32_MAX));
    file.ioFlRPyLen = SInt32(std::min<UInt64>(info.rsrcPhysicalSize, INT32_MAX));
    file.ioFlCrDat = classicSeconds(info.createDate);
    file.ioFlMdDat = classicSeconds(info.contentModDate);
    file.ioFlBkDat = info.backupDate.lowSeconds ? classicSeconds(info.backupDate) : 0;
    std::memcpy(file.ioFlXFndrInfo, info.extFinderInfo, 16);
    file.ioFlParID = SInt32(info.parentDirID);
    file.ioFlClpSiz = 0;
  }
  return noErr;
}

OSErr PBMakeFSRefSync(FSRefParam* paramBlock) {
  if (!paramBlock || !paramBlock->newRef) return paramErr;
  Lock lock(catalogMutex());
  Resolved item;
  Key folder;
  std::string leaf;
  const OSErr err = locateSpec(paramBlock->header.ioVRefNum, paramBlock->ioDirID,
                               pascal(paramBlock->header.ioNamePtr), &item, &folder, &leaf);
  paramBlock->header.ioResult = err;
  if (!err) makeRef(item.key, paramBlock->newRef);
  return err;
}
