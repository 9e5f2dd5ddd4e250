// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Folder Manager: the standard folders of a domain, on Linux places.
//
// User domain: Application Support is $XDG_DATA_HOME, Logs is $XDG_STATE_HOME/log, Preferences is
// $XDG_CONFIG_HOME, Caches is $XDG_CACHE_HOME, the Desktop and the document folders are the XDG
// user directories (user-dirs.dirs), the user's folder is $HOME. Local and system domains are the
// mac-style folders under the system root (/Library/..., /System/Library/...).
#include "platform/carbon/Files.h"

// Domains, passed where a volume reference number would go.
enum : FSVolumeRefNum {
  kOnSystemDisk = -32768,       // the local domain, or the user's for per-user folders
  kOnAppropriateDisk = -32767,  // the same
  kSystemDomain = -32766,
  kLocalDomain = -32765,
  kNetworkDomain = -32764,
  kUserDomain = -32763,
  kClassicDomain = -32762,
};

enum : Boolean {
  kDontCreateFolder = 0,
  kCreateFolder = 1,
};

enum : OSType {
  kSystemFolderType = FOUR_CHAR_CODE("macs"),
  kDesktopFolderType = FOUR_CHAR_CODE("desk"),
  kPreferencesFolderType = FOUR_CHAR_CODE("pref"),
  kTemporaryFolderType = FOUR_CHAR_CODE("temp"),
  kDocumentsFolderType = FOUR_CHAR_CODE("docs"),
  kApplicationSupportFolderType = FOUR_CHAR_CODE("asup"),
  kLogsFolderType = FOUR_CHAR_CODE("logs"),
  kCachedDataFolderType = FOUR_CHAR_CODE("cach"),
  kCurrentUserFolderType = FOUR_CHAR_CODE("cusr"),
  kDomainLibraryFolderType = FOUR_CHAR_CODE("dlib"),
  kFontsFolderType = FOUR_CHAR_CODE("font"),
  kApplicationsFolderType = FOUR_CHAR_CODE("apps"),
  kUsersFolderType = FOUR_CHAR_CODE("usrs"),
  kVolumeRootFolderType = FOUR_CHAR_CODE("root"),
  kDownloadsFolderType = FOUR_CHAR_CODE("down"),
  kPictureDocumentsFolderType = FOUR_CHAR_CODE("pdoc"),
  kMovieDocumentsFolderType = FOUR_CHAR_CODE("mdoc"),
  kMusicDocumentsFolderType = 0xB5646F63,  // 'µdoc' (MacRoman micro sign)
};

// The folder of that type in the domain (or on the volume, for a volume reference number),
// created with its missing parents when createFolder is true. fnfErr when it is missing and not
// to be created, or when the domain has no such folder; nsvErr for an unknown volume;
// errFSNotAFolder when a file sits where the folder belongs.
OSErr FSFindFolder(FSVolumeRefNum vRefNum, OSType folderType, Boolean createFolder,
                   FSRef* foundRef);

// The classic form: the folder's volume and directory ID.
OSErr FindFolder(FSVolumeRefNum vRefNum, OSType folderType, Boolean createFolder,
                 FSVolumeRefNum* foundVRefNum, SInt32* foundDirID);
