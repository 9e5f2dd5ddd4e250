// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Launch Services item information on Linux: what kind of item a reference names, answered
// from the file system the way a Linux desktop sees it.
#include "platform/carbon/Files.h"
#include "platform/cf/CFString.h"
#include "platform/cf/CFURL.h"

typedef OptionBits LSRequestedInfo;
enum : UInt32 {
  kLSRequestExtension = 0x00000001,
  kLSRequestTypeCreator = 0x00000002,
  kLSRequestBasicFlagsOnly = 0x00000004,
  kLSRequestAppTypeFlags = 0x00000008,
  kLSRequestAllFlags = 0x00000010,
  kLSRequestIconAndKind = 0x00000020,
  kLSRequestExtensionFlagsOnly = 0x00000040,
  kLSRequestAllInfo = 0xFFFFFFFF,
};

typedef OptionBits LSItemInfoFlags;
enum : UInt32 {
  kLSItemInfoIsPlainFile = 0x00000001,
  kLSItemInfoIsPackage = 0x00000002,
  kLSItemInfoIsApplication = 0x00000004,
  kLSItemInfoIsContainer = 0x00000008,
  kLSItemInfoIsAliasFile = 0x00000010,
  kLSItemInfoIsSymlink = 0x00000020,
  kLSItemInfoIsInvisible = 0x00000040,
  kLSItemInfoIsVolume = 0x00000400,
  kLSItemInfoExtensionIsHidden = 0x00100000,
};

struct LSItemInfoRecord {
  LSItemInfoFlags flags;
  OSType filetype;
  OSType creator;
  CFStringRef extension;  // owned by the caller when requested (kLSRequestExtension)
  CFStringRef iconFileName;
  UInt32 kindID;
};

// Basic flags: a folder is a container; a folder whose name has a bundle extension (app,
// bundle, framework, plugin, kext, and this system's dictionary, action, workflow) or that
// holds Contents/Info.plist is also a package; an ".app" package, a desktop entry of
// Type=Application and an executable regular file are applications; any other regular file is
// a plain file; a symbolic link is an alias file and a symlink. paramErr for null arguments,
// the File Manager's error (fnfErr ...) for a reference that names nothing.
OSStatus LSCopyItemInfoForRef(const FSRef* inItemRef, LSRequestedInfo inWhichInfo,
                              LSItemInfoRecord* outItemInfo);

// --- Opening items ------------------------------------------------------------------------
// Items open in the user's default application through the desktop's opener: the program named
// by the environment variable VOCABULON_OPENER when it is set, else xdg-open. The opener runs
// detached with the item's path (file URLs) or the URL as its one argument.
enum : OSStatus {
  kLSApplicationNotFoundErr = -10814,
  kLSLaunchInProgressErr = -10818,
  kLSNotInitializedErr = -10828,
};
typedef OptionBits LSInitializeFlags;
enum : UInt32 { kLSInitializeDefaults = 0x00000001 };

OSStatus LSInit(LSInitializeFlags inFlags);
OSStatus LSTerm(void);
// fnfErr for a file URL naming nothing; kLSApplicationNotFoundErr when no opener can start.
// outLaunchedURL (optional) gets a retained copy of the URL opened.
OSStatus LSOpenCFURLRef(CFURLRef inURL, CFURLRef* outLaunchedURL);
OSStatus LSOpenFSRef(const FSRef* inRef, FSRef* outLaunchedRef);
