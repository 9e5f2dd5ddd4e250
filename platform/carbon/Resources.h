// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Resource Manager over resource forks (kept in AppleDouble companions by the File Manager).
// A resource file's reference number is the number of its open fork. The whole map is read when
// the file is opened; a damaged map (any offset or length outside the fork) is mapReadErr and the
// file is not opened, so nothing past the fork is ever read. Changes are written back in the
// fork's real format (header, data, map with type list, reference lists and name list) by
// UpdateResFile, WriteResFile and CloseResFile.
#include "platform/carbon/Files.h"

typedef SInt16 ResID;
typedef SInt16 ResAttributes;
typedef SInt16 ResFileRefNum;

enum : OSErr {
  mapReadErr = -199,     // the resource map is damaged
  resAttrErr = -198,
  addResFailed = -194,
  rmvResFailed = -196,
};

enum : SInt8 { kResFileNotOpened = -1 };

// -1 on failure (ResError tells why). permission: fsRdPerm, fsWrPerm, fsRdWrPerm, fsCurPerm.
ResFileRefNum FSOpenResFile(const FSRef* ref, SInt8 permission);
OSErr FSOpenResourceFile(const FSRef* ref, UniCharCount forkNameLength, const UniChar* forkName,
                         SInt8 permissions, ResFileRefNum* refNum);
// Creates the fork with an empty map; dupFNErr-like errors as FSCreateFork gives them.
OSErr FSCreateResourceFile(const FSRef* parentRef, UniCharCount nameLength, const UniChar* name,
                           FSCatalogInfoBitmap whichInfo, const FSCatalogInfo* catalogInfo,
                           UniCharCount forkNameLength, const UniChar* forkName, FSRef* newRef,
                           FSSpec* newSpec);
void CloseResFile(ResFileRefNum refNum);
void UpdateResFile(ResFileRefNum refNum);
void WriteResFile(ResFileRefNum refNum);
ResFileRefNum CurResFile();
void UseResFile(ResFileRefNum refNum);
OSErr ResError();

// In the current resource file only. Null with resNotFound when absent. The same handle is
// answered until it is released.
Handle Get1Resource(ResType type, ResID id);
Handle Get1NamedResource(ResType type, ConstStr255Param name);
SInt16 Count1Resources(ResType type);
Handle Get1IndResource(ResType type, SInt16 index);
void GetResInfo(Handle resource, ResID* id, ResType* type, Str255 name);
void ReleaseResource(Handle resource);
void DetachResource(Handle resource);
// The handle becomes a resource of the current file (addResFailed for a read-only file, a null
// handle, or one that already is a resource).
void AddResource(Handle data, ResType type, ResID id, ConstStr255Param name);
void ChangedResource(Handle resource);
void RemoveResource(Handle resource);

// For tests and tools: the map of a fork's bytes. mapReadErr when damaged.
OSErr ValidateResourceFork(const UInt8* bytes, std::size_t size);
