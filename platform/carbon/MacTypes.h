// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The platform's basic C types and result codes, as the ported code and its File Manager
// expect them: fixed widths, 16-bit result codes, UTF-16 code units.
#include <cstddef>
#include <cstdint>

typedef uint8_t UInt8;
typedef int8_t SInt8;
typedef uint16_t UInt16;
typedef int16_t SInt16;
typedef uint32_t UInt32;
typedef int32_t SInt32;
typedef uint64_t UInt64;
typedef int64_t SInt64;

typedef float Float32;
typedef double Float64;

typedef unsigned char Boolean;  // true and false; any other nonzero value also counts as true

typedef SInt16 OSErr;
typedef SInt32 OSStatus;

// A UTF-16 code unit; layout-compatible with char16_t (ICU's UChar) and QChar.
typedef UInt16 UniChar;
typedef unsigned long UniCharCount;
static_assert(sizeof(UniChar) == sizeof(char16_t));

typedef char* Ptr;
typedef Ptr* Handle;
typedef long Size;
typedef UInt32 ByteCount;
typedef UInt32 ItemCount;

typedef UInt32 FourCharCode;
typedef FourCharCode OSType;
typedef FourCharCode ResType;

typedef unsigned char Str255[256];
typedef unsigned char Str63[64];
typedef unsigned char Str31[32];
typedef unsigned char Str27[28];
typedef unsigned char Str15[16];
typedef unsigned char* StringPtr;
typedef const unsigned char* ConstStringPtr;
typedef const unsigned char* ConstStr255Param;
typedef const unsigned char* ConstStr63Param;
typedef const unsigned char* ConstStr31Param;

typedef UInt32 UTF32Char;
typedef UInt16 UTF16Char;
typedef UInt8 UTF8Char;
typedef UInt32 TextEncoding;
typedef UInt32 OptionBits;

// Builds a four-character code from its four characters ('asup' on the platform).
constexpr FourCharCode FOUR_CHAR_CODE(const char (&code)[5]) {
  return (FourCharCode(UInt8(code[0])) << 24) | (FourCharCode(UInt8(code[1])) << 16) |
         (FourCharCode(UInt8(code[2])) << 8) | FourCharCode(UInt8(code[3]));
}

// Result codes.
enum : OSErr {
  noErr = 0,
  unimpErr = -4,        // not implemented on this system
  dirFulErr = -33,      // directory full
  dskFulErr = -34,      // disk full
  nsvErr = -35,         // no such volume
  ioErr = -36,          // I/O error
  bdNamErr = -37,       // bad file or folder name
  fnOpnErr = -38,       // file not open
  eofErr = -39,         // end of file
  posErr = -40,         // position before the start of the file
  tmfoErr = -42,        // too many files open
  fnfErr = -43,         // file not found
  wPrErr = -44,         // volume write-protected
  fLckdErr = -45,       // file locked
  vLckdErr = -46,       // volume locked
  fBsyErr = -47,        // file or folder busy (open, or folder not empty)
  dupFNErr = -48,       // an item of that name exists
  opWrErr = -49,        // file already open for writing
  paramErr = -50,       // a bad or null argument
  rfNumErr = -51,       // bad fork reference number
  permErr = -54,        // permission denied
  nsDrvErr = -56,       // no such drive
  wrPermErr = -61,      // write permission denied
  memFullErr = -108,    // out of memory
  nilHandleErr = -109,  // a null handle
  memWZErr = -111,      // a freed block
  dirNFErr = -120,      // directory not found
  tmwdoErr = -121,      // too many working directories
  badMovErr = -122,     // a folder moved into itself or its own descendant
  wrgVolTypErr = -123,  // not an HFS volume
  volGoneErr = -124,    // server volume disconnected
  fidNotFound = -1300,  // file ID not found
  fidExists = -1301,    // file ID already exists
  notAFileErr = -1302,  // a folder where a file was expected
  diffVolErr = -1303,   // items on different volumes
  catChangedErr = -1304,
  sameFileErr = -1306,
  badFidErr = -1307,
  notARemountErr = -1308,
  fileBoundsErr = -1309,
  fsDataTooBigErr = -1310,
  errFSUnknownCall = -1400,
  errFSBadFSRef = -1401,
  errFSBadForkName = -1402,
  errFSBadBuffer = -1403,
  errFSBadForkRef = -1404,
  errFSBadInfoBitmap = -1405,
  errFSMissingCatInfo = -1406,
  errFSNotAFolder = -1407,
  errFSForkNotFound = -1409,
  errFSNameTooLong = -1410,
  errFSMissingName = -1411,
  errFSBadPosMode = -1412,
  errFSBadAllocFlags = -1413,
  errFSNoMoreItems = -1417,
  errFSBadItemCount = -1418,
  errFSBadSearchParams = -1419,
  errFSRefsDifferent = -1420,
  errFSForkExists = -1421,
  errFSBadIteratorFlags = -1422,
  errFSIteratorNotFound = -1423,
  errFSIteratorNotSupported = -1424,
  errFSQuotaExceeded = -1425,
  userCanceledErr = -128,  // the user cancelled
  resNotFound = -192,
  resFNotFound = -193,
  procNotFound = -600,     // no such process
  afpAccessDenied = -5000,
  afpObjectTypeErr = -5025,
};

// Unicode collation.
enum : OSStatus {
  kCollateAttributesNotFoundErr = -7100,
  kCollateInvalidOptions = -7101,
  kCollateMissingUnicodeTableErr = -7102,
  kCollateUnicodeConvertFailedErr = -7103,
  kCollatePatternNotFoundErr = -7104,
  kCollateInvalidChar = -7105,
  kCollateBufferTooSmall = -7106,
  kCollateInvalidCollationRef = -7107,
};
