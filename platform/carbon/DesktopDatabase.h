// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Desktop databases on Linux: per volume, the application bundles ("*.app" folders with
// Contents/Info.plist) found in the standard application folders that lie on that volume
// (/Applications under the system root, ~/Applications), keyed by their CFBundleSignature. The
// folders are read at each call, so a bundle installed a moment ago is found.
#include "platform/carbon/Files.h"

enum : OSErr {
  afpItemNotFound = -5012,  // no application with that creator
};

#pragma pack(push, 2)
struct DTPBRec {
  ParamBlockHeader header;  // ioNamePtr: in, a buffer of 64 bytes for the name; ioVRefNum
  SInt16 ioDTRefNum;        // out of PBDTGetPath, in for the other calls
  SInt16 ioIndex;           // which application of the creator: 0 the newest, 1.. by age
  SInt32 ioTagInfo;         // out: the application's modification date (classic seconds)
  Ptr ioDTBuffer;
  SInt32 ioDTReqCount;
  SInt32 ioDTActCount;
  SInt8 ioFiller1;
  UInt8 ioIconType;
  SInt16 ioFiller2;
  SInt32 ioDirID;
  OSType ioFileCreator;     // in: the creator looked for
  OSType ioFileType;
  SInt32 ioFiller3;
  SInt32 ioDTLgLen;
  SInt32 ioDTPyLen;
  SInt16 ioFiller4[14];
  SInt32 ioAPPLParID;       // out: the folder holding the application
};
#pragma pack(pop)
typedef DTPBRec* DTPBPtr;

// The database of the volume ioVRefNum: ioDTRefNum becomes its reference (the volume's
// vRefNum). nsvErr for a volume that is not mounted.
OSErr PBDTGetPath(DTPBPtr paramBlock);
// The application with creator ioFileCreator in the database ioDTRefNum: its name into
// ioNamePtr (as in its FSSpec), its folder into ioAPPLParID, its modification date into
// ioTagInfo. With several, ioIndex 0 (and 1) is the newest, 2 the next. afpItemNotFound when
// there is none; paramErr without a name buffer.
OSErr PBDTGetAPPLSync(DTPBPtr paramBlock);

// Used by Internet Config for helper applications: the signature of an application bundle on
// any volume whose bundle name (CFBundleName, else the folder name without ".app") is name;
// 0 when none.
OSType DesktopSignatureForApplicationName(const char* name);
