// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Alias files on Linux: symbolic links, and files whose Finder flags carry the alias bit.
#include <cstddef>

#include "platform/carbon/Files.h"

// *aliasFileFlag: the item is a symbolic link or has kIsAlias in its Finder flags;
// *folderFlag: it is a symbolic link whose target is a folder. paramErr for a null argument;
// the File Manager's error for a reference that names nothing.
OSErr FSIsAliasFile(const FSRef* fileRef, Boolean* aliasFileFlag, Boolean* folderFlag);

// --- Alias records ------------------------------------------------------------------------
// An alias record names an item by its absolute path and its identity (device, inode number,
// birth time or generation), all big-endian, so that it can be stored in a resource or a file
// and resolved in another process: an item renamed within its folder is found again by its
// identity; an item replaced under the same path (a program's safe save) is the item at the path.
// The record's own fields are big-endian too: read them with GetAliasSize and
// GetAliasUserType.
struct AliasRecord {
  OSType userType;
  UInt16 aliasSize;  // of the whole record, these six bytes included
};
typedef AliasRecord* AliasPtr;
typedef AliasPtr* AliasHandle;

enum : UInt32 {
  kResolveAliasFileNoUI = 0x00000001,
  kResolveAliasTryFileIDFirst = 0x00000002,
};

// A new alias handle (DisposeHandle it). fromFile is accepted and not used: records are absolute.
OSErr FSNewAlias(const FSRef* fromFile, const FSRef* target, AliasHandle* inAlias);
// fnfErr when the item is gone; paramErr for a record that is not one of ours or is damaged.
// *wasChanged (optional) is true when the item was found somewhere else than the record says.
OSErr FSResolveAliasWithMountFlags(const FSRef* fromFile, AliasHandle inAlias, FSRef* target,
                                   Boolean* wasChanged, unsigned long mountFlags);
OSErr FSResolveAlias(const FSRef* fromFile, AliasHandle alias, FSRef* target, Boolean* wasChanged);
Size GetAliasSize(AliasHandle alias);
OSType GetAliasUserType(AliasHandle alias);
// Checks a record without resolving it: noErr, or paramErr when damaged.
OSErr ValidateAliasRecord(const void* bytes, std::size_t size);
