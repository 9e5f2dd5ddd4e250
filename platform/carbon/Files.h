// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The File Manager on Linux: item references (FSRef), classic specifications (FSSpec), catalog
// information, creation, renaming, moving, deleting, directory iteration and data forks.
//
// An FSRef names an item, not a path: it keeps naming the same file or folder after the item
// is renamed or moved through these calls, and stops working (fnfErr) once the item is deleted
// or replaced by another item of the same name. See FILE_MANAGER.md beside this file.
//
// Names are UTF-16 (HFSUniStr255 and UniChar arrays) and stand for the item's POSIX name; bytes
// of a POSIX name that are not UTF-8 travel as the code units U+DC80..U+DCFF, so every name
// round-trips. Paths are POSIX paths of bytes (UTF-8 in practice), NUL-terminated.
#include "platform/carbon/MacTypes.h"

// Result codes used here that the shared list lacks.
enum : OSErr {
  pathTooLongErr = -2110,  // FSRefMakePath: the path does not fit in the buffer
};

enum : TextEncoding {
  kTextEncodingUnknown = 0xFFFF,          // the hint callers pass when they do not know
  kTextEncodingUnicodeDefault = 0x0100,
};

typedef SInt16 FSVolumeRefNum;
typedef SInt16 ScriptCode;
typedef SInt16 FSIORefNum;

#pragma pack(push, 2)

// An item on a mounted file system. Opaque: only this File Manager reads the bytes.
struct FSRef {
  UInt8 hidden[80];
};
typedef FSRef* FSRefPtr;
static_assert(sizeof(FSRef) == 80);

// A classic specification: the volume, the ID of the folder holding the item, and the item's
// name. A volume's root folder is {vRefNum, fsRtParID (1), volume name}.
struct FSSpec {
  FSVolumeRefNum vRefNum;
  SInt32 parID;
  Str63 name;
};
typedef FSSpec* FSSpecPtr;
static_assert(sizeof(FSSpec) == 70);

struct HFSUniStr255 {
  UInt16 length;
  UniChar unicode[255];
};
typedef const HFSUniStr255* ConstHFSUniStr255Param;
static_assert(sizeof(HFSUniStr255) == 512);

// Seconds since 1 January 1904 UTC in 48 bits, and 1/65536 seconds.
struct UTCDateTime {
  UInt16 highSeconds;
  UInt32 lowSeconds;
  UInt16 fraction;
};
static_assert(sizeof(UTCDateTime) == 8);

struct FSPermissionInfo {
  UInt32 userID;
  UInt32 groupID;
  UInt8 reserved1;
  UInt8 userAccess;
  UInt16 mode;  // POSIX mode, file type bits included
  UInt32 reserved2;
};
static_assert(sizeof(FSPermissionInfo) == 16);

struct FSCatalogInfo {
  UInt16 nodeFlags;
  FSVolumeRefNum volume;
  UInt32 parentDirID;
  UInt32 nodeID;
  UInt8 sharingFlags;
  UInt8 userPrivileges;
  UInt8 reserved1;
  UInt8 reserved2;
  UTCDateTime createDate;
  UTCDateTime contentModDate;
  UTCDateTime attributeModDate;
  UTCDateTime accessDate;
  UTCDateTime backupDate;
  UInt32 permissions[4];   // an FSPermissionInfo
  UInt8 finderInfo[16];    // FileInfo or FolderInfo
  UInt8 extFinderInfo[16]; // ExtendedFileInfo or ExtendedFolderInfo
  UInt64 dataLogicalSize;
  UInt64 dataPhysicalSize;
  UInt64 rsrcLogicalSize;
  UInt64 rsrcPhysicalSize;
  UInt32 valence;          // number of direct items of a folder
  TextEncoding textEncodingHint;
};
typedef FSCatalogInfo* FSCatalogInfoPtr;
static_assert(sizeof(FSCatalogInfo) == 144);

// The classic Finder information of a file.
struct FileInfo {
  OSType fileType;
  OSType fileCreator;
  UInt16 finderFlags;
  SInt16 locationV;  // a Point: v, h
  SInt16 locationH;
  UInt16 reservedField;
};
static_assert(sizeof(FileInfo) == 16);

#pragma pack(pop)

// Finder flags (FileInfo.finderFlags, and the same place in a folder's Finder information).
enum : UInt16 {
  kIsOnDesk = 0x0001,
  kHasBeenInited = 0x0100,
  kHasCustomIcon = 0x0400,
  kIsStationery = 0x0800,
  kNameLocked = 0x1000,
  kHasBundle = 0x2000,
  // Also reported for names beginning with "." and names listed in the folder's ".hidden"
  // file, which Linux file managers hide.
  kIsInvisible = 0x4000,
  kIsAlias = 0x8000,
};

typedef UInt32 FSCatalogInfoBitmap;
enum : FSCatalogInfoBitmap {
  kFSCatInfoNone = 0x00000000,
  kFSCatInfoTextEncoding = 0x00000001,
  kFSCatInfoNodeFlags = 0x00000002,
  kFSCatInfoVolume = 0x00000004,
  kFSCatInfoParentDirID = 0x00000008,
  kFSCatInfoNodeID = 0x00000010,
  kFSCatInfoCreateDate = 0x00000020,
  kFSCatInfoContentMod = 0x00000040,
  kFSCatInfoAttrMod = 0x00000080,
  kFSCatInfoAccessDate = 0x00000100,
  kFSCatInfoBackupDate = 0x00000200,
  kFSCatInfoPermissions = 0x00000400,
  kFSCatInfoFinderInfo = 0x00000800,
  kFSCatInfoFinderXInfo = 0x00001000,
  kFSCatInfoValence = 0x00002000,
  kFSCatInfoDataSizes = 0x00004000,
  kFSCatInfoRsrcSizes = 0x00008000,
  kFSCatInfoSharingFlags = 0x00010000,
  kFSCatInfoUserPrivs = 0x00020000,
  kFSCatInfoUserAccess = 0x00080000,
  kFSCatInfoAllDates = 0x000003E0,
  kFSCatInfoGettableInfo = 0x0003FFFF,
  kFSCatInfoSettableInfo = 0x00001FE3,
  kFSCatInfoReserved = 0xFFFC0000,
};

// Node flags.
enum : UInt16 {
  kFSNodeLockedBit = 0,
  kFSNodeLockedMask = 0x0001,
  kFSNodeDataOpenBit = 3,
  kFSNodeDataOpenMask = 0x0008,
  kFSNodeIsDirectoryBit = 4,
  kFSNodeIsDirectoryMask = 0x0010,
  kFSNodeForkOpenBit = 7,
  kFSNodeForkOpenMask = 0x0080,
  kFSNodeHardLinkBit = 8,
  kFSNodeHardLinkMask = 0x0100,
};

// Well-known directory IDs.
enum : SInt32 {
  fsRtParID = 1,  // the parent of every volume's root folder
  fsRtDirID = 2,  // every volume's root folder
};

// The whole File Manager answers OSErr; the Unicode calls keep it for compatibility.

// --- References and paths -----------------------------------------------------------------

// The item at a POSIX path (relative paths start at the working directory). A symbolic link at
// the end of the path is followed; *isDirectory (optional) says whether the item is a folder.
OSStatus FSPathMakeRef(const UInt8* path, FSRef* ref, Boolean* isDirectory);

enum : UInt32 {
  kFSPathMakeRefDefaultOptions = 0,
  kFSPathMakeRefDoNotFollowLeafSymlink = 0x01,
};
OSStatus FSPathMakeRefWithOptions(const UInt8* path, UInt32 options, FSRef* ref,
                                  Boolean* isDirectory);

// The item's POSIX path, NUL-terminated, in at most maxPathSize bytes. pathTooLongErr when it
// does not fit (the buffer is then left as it was).
OSStatus FSRefMakePath(const FSRef* ref, UInt8* path, UInt32 maxPathSize);

// noErr when both name the same item, diffVolErr when their items lie on different volumes,
// errFSRefsDifferent otherwise.
OSErr FSCompareFSRefs(const FSRef* ref1, const FSRef* ref2);

// The item with the given name inside the folder parentRef. fnfErr when there is none,
// bdNamErr for an empty name, ".", "..", or a name holding '/' or NUL.
OSErr FSMakeFSRefUnicode(const FSRef* parentRef, UniCharCount nameLength, const UniChar* name,
                         TextEncoding textEncodingHint, FSRef* newRef);

// --- Catalog information -------------------------------------------------------------------

// Every output is optional; catalogInfo is required when whichInfo asks for anything. The parent
// of a volume's root folder is an all-zero FSRef.
OSErr FSGetCatalogInfo(const FSRef* ref, FSCatalogInfoBitmap whichInfo,
                       FSCatalogInfo* catalogInfo, HFSUniStr255* outName, FSSpec* fsSpec,
                       FSRef* parentRef);

// Sets the settable fields named by whichInfo: dates (the attribute-modification date is the
// system's own and is left alone), permissions, Finder information.
OSErr FSSetCatalogInfo(const FSRef* ref, FSCatalogInfoBitmap whichInfo,
                       const FSCatalogInfo* catalogInfo);

// --- Creating, renaming, moving, deleting -------------------------------------------------

// dupFNErr when an item of that name exists. catalogInfo (with whichInfo) is applied to the new
// item; newRef, newSpec and newDirID are optional outputs.
OSErr FSCreateDirectoryUnicode(const FSRef* parentRef, UniCharCount nameLength,
                               const UniChar* name, FSCatalogInfoBitmap whichInfo,
                               const FSCatalogInfo* catalogInfo, FSRef* newRef, FSSpec* newSpec,
                               UInt32* newDirID);
OSErr FSCreateFileUnicode(const FSRef* parentRef, UniCharCount nameLength, const UniChar* name,
                          FSCatalogInfoBitmap whichInfo, const FSCatalogInfo* catalogInfo,
                          FSRef* newRef, FSSpec* newSpec);

// Renames the item in place; every FSRef to it stays valid. newRef (optional) gets its reference.
OSErr FSRenameUnicode(const FSRef* ref, UniCharCount nameLength, const UniChar* name,
                      TextEncoding textEncodingHint, FSRef* newRef);

// Moves the item into destDirectory on the same volume (diffVolErr otherwise; badMovErr for a
// folder moved into itself or its own descendant); every FSRef to it stays valid.
OSErr FSMoveObject(const FSRef* ref, const FSRef* destDirectory, FSRef* newRef);

// Deletes a file or an empty folder (fBsyErr for a folder with items or a file with an open fork).
OSErr FSDeleteObject(const FSRef* ref);

// --- Classic specifications -----------------------------------------------------------------

// Volumes are the mounted file systems, numbered -100, -101, ... in the order they are first
// seen; 0 stands for the volume of the working directory. Folder IDs are inode numbers where
// they fit in 31 bits, otherwise numbers from a table kept for the life of the process; the root
// folder of every volume is fsRtDirID and its parent fsRtParID. dirID 0 stands for the root.
// Names longer than 63 bytes (or holding ':') appear shortened, with "#" and the item's ID in
// hexadecimal before the extension, and are found again by that ID.
// fnfErr (with *spec filled) when the folder exists but the item does not.
OSErr FSMakeFSSpec(FSVolumeRefNum vRefNum, SInt32 dirID, ConstStr255Param fileName, FSSpec* spec);
OSErr FSpMakeFSRef(const FSSpec* source, FSRef* newRef);

// --- Directory iteration ------------------------------------------------------------------

struct OpaqueFSIterator;
typedef OpaqueFSIterator* FSIterator;

typedef UInt32 FSIteratorFlags;
enum : FSIteratorFlags {
  kFSIterateFlat = 0,
  kFSIterateSubtree = 1,  // only catalog searches walk subtrees; FSOpenIterator refuses it
  kFSIterateDelete = 2,
  kFSIterateReserved = 0xFFFFFFFC,
};

OSErr FSOpenIterator(const FSRef* container, FSIteratorFlags iteratorFlags, FSIterator* iterator);
OSErr FSCloseIterator(FSIterator iterator);

// Up to maxObjects items, in the order the file system lists them; every output array is
// optional and must hold maxObjects elements. noErr while items come back, errFSNoMoreItems (with
// *actualObjects 0) once the folder is exhausted. *containerChanged becomes true when the folder
// was changed since the iterator was opened.
OSErr FSGetCatalogInfoBulk(FSIterator iterator, ItemCount maxObjects, ItemCount* actualObjects,
                           Boolean* containerChanged, FSCatalogInfoBitmap whichInfo,
                           FSCatalogInfo* catalogInfos, FSRef* refs, FSSpec* specs,
                           HFSUniStr255* names);

// --- Forks ----------------------------------------------------------------------------------

enum : SInt8 {
  fsCurPerm = 0x00,    // whatever is allowed: read-write, else read-only
  fsRdPerm = 0x01,
  fsWrPerm = 0x02,
  fsRdWrPerm = 0x03,   // read-write, no other writer
  fsRdWrShPerm = 0x04, // read-write, shared with other shared writers
};

typedef UInt16 FSPositionMode;
enum : UInt16 {
  fsAtMark = 0,
  fsFromStart = 1,
  fsFromLEOF = 2,
  fsFromMark = 3,
  pleaseCacheMask = 0x0010,
  noCacheMask = 0x0020,
};

// The data fork's name is empty; the resource fork is "RESOURCE_FORK". A resource fork lives in
// the item's AppleDouble companion "._NAME" (see AppleDouble.h); every file has one, empty
// until written. Other named forks do not exist (errFSForkNotFound).
OSErr FSGetDataForkName(HFSUniStr255* dataForkName);
OSErr FSGetResourceForkName(HFSUniStr255* resourceForkName);
// Makes the named fork exist (only the resource fork can be made); errFSForkExists when the
// item's companion already holds one.
OSErr FSCreateFork(const FSRef* ref, UniCharCount forkNameLength, const UniChar* forkName);
OSErr FSCreateResourceFork(const FSRef* ref, UniCharCount forkNameLength, const UniChar* forkName,
                           UInt32 flags);

OSErr FSOpenFork(const FSRef* ref, UniCharCount forkNameLength, const UniChar* forkName,
                 SInt8 permissions, FSIORefNum* forkRefNum);
// eofErr when fewer bytes than requested were read; *actualCount (optional) gets the count.
OSErr FSReadFork(FSIORefNum forkRefNum, UInt16 positionMode, SInt64 positionOffset,
                 ByteCount requestCount, void* buffer, ByteCount* actualCount);
OSErr FSWriteFork(FSIORefNum forkRefNum, UInt16 positionMode, SInt64 positionOffset,
                  ByteCount requestCount, const void* buffer, ByteCount* actualCount);
OSErr FSGetForkPosition(FSIORefNum forkRefNum, SInt64* position);
OSErr FSSetForkPosition(FSIORefNum forkRefNum, UInt16 positionMode, SInt64 positionOffset);
OSErr FSGetForkSize(FSIORefNum forkRefNum, SInt64* forkSize);
OSErr FSSetForkSize(FSIORefNum forkRefNum, UInt16 positionMode, SInt64 positionOffset);
OSErr FSFlushFork(FSIORefNum forkRefNum);
OSErr FSCloseFork(FSIORefNum forkRefNum);

// --- Classic calls ----------------------------------------------------------------------------
// FSMakeFSSpec, FSpMakeFSRef and the parameter-block calls also take colon paths as names: a
// full path "Volume:Folder:Item" starts at a volume's name, a partial path ":Folder:Item" at the
// folder named by (vRefNum, dirID); each further ":" right after another climbs one folder up.

// Creates an empty file (with its type and creator) at the FSSpec; dupFNErr when it
// exists.
OSErr FSpCreate(const FSSpec* spec, OSType creator, OSType fileType, ScriptCode scriptTag);
OSErr FSpDirCreate(const FSSpec* spec, ScriptCode scriptTag, SInt32* createdDirID);
OSErr FSpDelete(const FSSpec* spec);
// The data or resource fork, opened as FSOpenFork does: the reference number is a fork's.
OSErr FSpOpenDF(const FSSpec* spec, SInt8 permission, FSIORefNum* refNum);
OSErr FSpOpenRF(const FSSpec* spec, SInt8 permission, FSIORefNum* refNum);
// *count is in: bytes asked, out: bytes done.
OSErr FSRead(FSIORefNum refNum, SInt32* count, void* buffPtr);
OSErr FSWrite(FSIORefNum refNum, SInt32* count, const void* buffPtr);
OSErr GetFPos(FSIORefNum refNum, SInt32* filePos);
OSErr SetFPos(FSIORefNum refNum, SInt16 posMode, SInt32 posOff);
OSErr GetEOF(FSIORefNum refNum, SInt32* logEOF);
OSErr SetEOF(FSIORefNum refNum, SInt32 logEOF);
OSErr FSClose(FSIORefNum refNum);

#pragma pack(push, 2)

// The part every parameter block begins with.
struct ParamBlockHeader {
  void* qLink;
  SInt16 qType;
  SInt16 ioTrap;
  Ptr ioCmdAddr;
  void* ioCompletion;
  OSErr ioResult;
  StringPtr ioNamePtr;
  FSVolumeRefNum ioVRefNum;
};

// Catalog information of a file (HFileInfo) or a folder (DirInfo).
struct HFileInfo {
  ParamBlockHeader header;
  FSIORefNum ioFRefNum;
  SInt8 ioFVersNum;
  SInt8 filler1;
  SInt16 ioFDirIndex;  // 0: by name; > 0: the n-th item of the folder; < 0: the folder ioDirID
  SInt8 ioFlAttrib;    // 0x10 folder, 0x01 locked, 0x04 resource fork open, 0x08 data fork open
  SInt8 ioACUser;
  FileInfo ioFlFndrInfo;
  SInt32 ioDirID;      // in: the folder; out: the item's node ID
  UInt16 ioFlStBlk;
  SInt32 ioFlLgLen;
  SInt32 ioFlPyLen;
  UInt16 ioFlRStBlk;
  SInt32 ioFlRLgLen;
  SInt32 ioFlRPyLen;
  UInt32 ioFlCrDat;    // seconds since 1904, local time as the classic calls give them
  UInt32 ioFlMdDat;
  UInt32 ioFlBkDat;
  UInt8 ioFlXFndrInfo[16];
  SInt32 ioFlParID;
  SInt32 ioFlClpSiz;
};

struct DirInfo {
  ParamBlockHeader header;
  FSIORefNum ioFRefNum;
  SInt8 ioFVersNum;
  SInt8 filler1;
  SInt16 ioFDirIndex;
  SInt8 ioFlAttrib;
  SInt8 ioACUser;
  UInt8 ioDrUsrWds[16];
  SInt32 ioDrDirID;
  UInt16 ioDrNmFls;    // items in the folder
  SInt16 filler3[9];
  UInt32 ioDrCrDat;
  UInt32 ioDrMdDat;
  UInt32 ioDrBkDat;
  UInt8 ioDrFndrInfo[16];
  SInt32 ioDrParID;
};

union CInfoPBRec {
  HFileInfo hFileInfo;
  DirInfo dirInfo;
};
typedef CInfoPBRec* CInfoPBPtr;

struct FSRefParam {
  ParamBlockHeader header;
  const FSRef* ref;    // unused by PBMakeFSRefSync
  SInt32 ioDirID;
  FSRef* newRef;
};

// Volume information (the volumeParam of an HParamBlockRec).
struct HVolumeParam {
  ParamBlockHeader header;
  SInt32 filler2;
  SInt16 ioVolIndex;   // > 0: the n-th volume; 0: by ioVRefNum; < 0: by name, else ioVRefNum
  UInt32 ioVCrDate;
  UInt32 ioVLsMod;
  SInt16 ioVAtrb;      // 0x8000 locked (mounted read-only)
  UInt16 ioVNmFls;
  UInt16 ioVBitMap;
  UInt16 ioAllocPtr;
  UInt16 ioVNmAlBlks;
  UInt32 ioVAlBlkSiz;
  UInt32 ioVClpSiz;
  UInt16 ioAlBlSt;
  UInt32 ioVNxtCNID;
  UInt16 ioVFrBlk;
  UInt16 ioVSigWord;
  SInt16 ioVDrvInfo;
  SInt16 ioVDRefNum;
  SInt16 ioVFSID;
  UInt32 ioVBkUp;
  SInt16 ioVSeqNum;
  UInt32 ioVWrCnt;
  UInt32 ioVFilCnt;
  UInt32 ioVDirCnt;
  SInt32 ioVFndrInfo[8];
};

union HParamBlockRec {
  HVolumeParam volumeParam;
};
typedef HParamBlockRec* HParmBlkPtr;

#pragma pack(pop)

enum : SInt8 {
  kioFlAttribLockedMask = 0x01,
  kioFlAttribResOpenMask = 0x04,
  kioFlAttribDataOpenMask = 0x08,
  kioFlAttribDirMask = 0x10,
};

// By name (ioFDirIndex 0), the n-th visible item of a folder (> 0) or the folder itself by its ID
// (< 0). ioNamePtr, when set, gets the item's name for index calls.
OSErr PBGetCatInfoSync(CInfoPBPtr paramBlock);
// The FSRef of (ioVRefNum, ioDirID, ioNamePtr) into *newRef.
OSErr PBMakeFSRefSync(FSRefParam* paramBlock);
// Volume facts; volumes are the mounted file systems listed in /proc/self/mountinfo, in the
// order of their vRefNums (-100 is "/").
OSErr PBHGetVInfoSync(HParmBlkPtr paramBlock);
