// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// File-system item operations: files made only when missing, whole data forks read and
// written, resource forks copied, Finder information, dates and permissions, and conversions
// between references, names, paths and specifications. Results are File Manager codes.
#include "platform/carbon/AppleEvents.h"
#include "platform/carbon/Files.h"
#include "platform/cf/CFString.h"

OSErr CreateFileIfMissing(const FSRef* parent, CFStringRef name, FSRef* file);
OSErr CreateFileWithCreatorAndType(const FSRef* parent, CFStringRef name, OSType creator,
                                   OSType type, FSRef* file);
// The file at a POSIX path, created (in the folder before the last "/") when missing.
OSErr MakeFileAtPath(CFStringRef path, FSRef* file);
OSErr MakeFileAtPathWithCreatorAndType(CFStringRef path, OSType creator, OSType type, FSRef* file);
// Answers the creation result (0 when the path cannot be made a string); write errors are not
// reported. The fork is not shortened.
OSErr WriteFileAtPath(const char* path, const void* data, ByteCount count);

// The whole data fork in a new block that the caller frees with free(); null when the fork
// cannot be opened, its size read, or its bytes read. Read-only files are read too.
UInt8* CopyDataFork(const FSRef* file);
UInt8* CopyDataForkAtPath(CFStringRef path);
UInt8* CopyDataForkOfSpec(FSVolumeRefNum vRefNum, SInt32 dirID, ConstStr255Param name);
// Writes the bytes at the start of the data fork; a longer fork keeps its old tail.
OSErr WriteDataFork(const FSRef* file, const void* data, ByteCount count);
// The source's resource fork, byte for byte, into the destination's; errors end it silently.
void CopyResourceFork(const FSRef* source, const FSRef* destination);

OSErr SetFileType(const FSRef* file, OSType type);
OSErr SetFileCreator(const FSRef* file, OSType creator);
UInt64 GetDataForkSize(const FSRef* file);  // 0 on error
UInt64 GetTotalSize(const FSRef* file);     // data and resource forks; 0 on error
UInt32 GetModificationSeconds(const FSRef* item);
OSErr GetCreateDate(const FSRef* item, UTCDateTime* date);
OSErr GetContentModDate(const FSRef* item, UTCDateTime* date);
OSErr GetAttributeModDate(const FSRef* item, UTCDateTime* date);
// Each then asks the Finder to update the item.
OSErr SetCreateDate(const FSRef* item, const UTCDateTime* date);
OSErr SetCreateDate(const FSSpec* item, const UTCDateTime* date);
OSErr SetContentModDate(const FSRef* item, const UTCDateTime* date);
OSErr SetContentModDate(const FSSpec* item, const UTCDateTime* date);
OSErr SetAttributeModDate(const FSRef* item, const UTCDateTime* date);
OSErr SetAttributeModDate(const FSSpec* item, const UTCDateTime* date);
OSErr SetCreateAndModDates(const FSRef* item, const UTCDateTime* created, const UTCDateTime* modified);
// Sets the three dates, rewrites the first byte of the data fork so that the file system
// records a change, and asks the Finder to update the item. Answers 0.
OSErr TouchFile(const FSRef* file, const UTCDateTime* date);
OSErr MakeReadableWritableByAll(const FSRef* item);

// A new string, or null.
CFStringRef CopyItemName(const FSRef* item);
OSErr RenameItem(FSRef* item, CFStringRef name);
// The POSIX path as a Pascal string (cut at 255 bytes); the path call's result.
OSErr GetPathAsPascal(const FSRef* item, Str255 path);
Boolean GetParentRef(const FSRef* item, FSRef* parent);
OSErr GetFSSpec(const FSRef* item, FSSpec* spec);
// The item a descriptor names: an 'fsrf' as it is, else anything coercing to 'fsrf' (an alias),
// else to 'fss '.
OSErr GetFSRefFromDesc(FSRef* ref, const AEDesc* desc);
