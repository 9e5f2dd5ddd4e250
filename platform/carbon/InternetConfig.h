// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Internet Config records shared by the mapping tables and the Internet Config client.
#include "platform/carbon/MacTypes.h"

#pragma pack(push, 2)
// One file-mapping entry: what ICGetIndMapEntry fills. Handled whole, by value.
struct ICMapEntry {
  SInt16 totalLength;
  UInt16 fixedLength;
  UInt16 version;
  OSType fileType;
  OSType fileCreator;
  OSType postCreator;
  UInt32 flags;
  Str255 extension;
  Str255 creatorAppName;
  Str255 postAppName;
  Str255 MIMEType;
  Str255 entryName;
};
#pragma pack(pop)
static_assert(sizeof(ICMapEntry) == 1302);

// --- Internet Config on Linux ----------------------------------------------------------------
// Answers come from the desktop's own databases, so they agree with the file manager and the
// browser: file mappings from shared-mime-info (QMimeDatabase) and mimeapps.list, helper
// applications from the x-scheme-handler defaults, URLs opened by the desktop's opener.
//
// Preferences:
// - "Mapping": one packed entry per "*.ext" glob of shared-mime-info: extension with its dot,
//   MIME type, the type's comment as entry name, the default application's name (mimeapps.list
//   and its desktop entry) as creator application name, and type and creator from a small table
//   of well-known kinds (else zero).
// - "Helper•SCHEME" (the bullet in UTF-8 or Mac Roman): an ICAppSpec naming the default
//   handler of x-scheme-handler/SCHEME; its creator is the signature of an application bundle
//   of that name (see DesktopDatabase.h), else '????'.

enum : OSType {
  kICComponentType = FOUR_CHAR_CODE("PREF"),
  kICComponentSubType = FOUR_CHAR_CODE("ICAp"),
  kICComponentManufacturer = FOUR_CHAR_CODE("JPQE"),
};

enum : OSStatus {
  icPrefNotFoundErr = -666,
  icPermErr = -667,
  icPrefDataErr = -668,
  icInternalErr = -669,
  icTruncatedErr = -670,
  icNoMoreWritersErr = -671,
  icNothingToOverrideErr = -672,
  icNoURLErr = -673,
  icConfigNotFoundErr = -674,
  icConfigInappropriateErr = -675,
  badComponentInstance = (OSStatus)0x80008001,
};

typedef SInt32 ICAttr;
typedef UInt8 ICPerm;
enum : ICPerm { icNoPerm = 0, icReadOnlyPerm = 1, icReadWritePerm = 2 };
enum : ICAttr { kICAttrNoChange = (ICAttr)0xFFFFFFFF, kICAttrLockedMask = 1, kICAttrVolatileMask = 2 };

// Entry flags.
enum : UInt32 {
  kICMapBinaryMask = 0x00000001,
  kICMapResourceForkMask = 0x00000002,
  kICMapDataForkMask = 0x00000004,
  kICMapPostMask = 0x00000008,
  kICMapNotIncomingMask = 0x00000010,
  kICMapNotOutgoingMask = 0x00000020,
};

#pragma pack(push, 2)
// A helper application: its creator and name.
struct ICAppSpec {
  OSType fCreator;
  Str63 name;
};
#pragma pack(pop)
static_assert(sizeof(ICAppSpec) == 68);

struct OpaqueICInstance;
typedef OpaqueICInstance* ICInstance;

// invalidComponentID when Internet Config is not registered with the Component Manager.
OSStatus ICStart(ICInstance* inst, OSType signature);
OSStatus ICStop(ICInstance inst);
// Brackets a group of reads; icPermErr for an unknown permission or a bracket already open.
OSStatus ICBegin(ICInstance inst, ICPerm perm);
OSStatus ICEnd(ICInstance inst);
// Copies the value into buf (at most *size bytes; icTruncatedErr when it is longer); *size gets
// the value's length. icPrefNotFoundErr for an unknown key.
OSStatus ICGetPref(ICInstance inst, ConstStr255Param key, ICAttr* attr, void* buf, long* size);
// The value into the handle, resized to fit.
OSStatus ICGetPrefHandle(ICInstance inst, ConstStr255Param key, ICAttr* attr, Handle prefh);
// Walking a "Mapping" value: entries are 1-based; *pos gets the entry's offset.
OSStatus ICCountMapEntries(ICInstance inst, Handle entries, long* count);
OSStatus ICGetIndMapEntry(ICInstance inst, Handle entries, long index, long* pos, ICMapEntry* entry);
// The entry whose glob matches the name, by shared-mime-info's rules (the longest glob wins);
// icPrefNotFoundErr when none does.
OSStatus ICMapFilename(ICInstance inst, ConstStr255Param filename, ICMapEntry* entry);
// Finds the URL inside data[*selStart, *selEnd) (angle brackets and "URL:" taken off; a bare
// text gets the hint as its scheme), opens it through the desktop's opener (LSOpenCFURLRef) and
// sets the selection to it. icNoURLErr when the selection holds no URL.
OSStatus ICLaunchURL(ICInstance inst, ConstStr255Param hint, const void* data, long len,
                     long* selStart, long* selEnd);
// Opens the user's mimeapps.list (made when missing) in the default editor through the opener.
OSStatus ICEditPreferences(ICInstance inst, ConstStr255Param key);
