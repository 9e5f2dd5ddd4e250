// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The File Manager utility library: full colon paths, references from volume, folder and name,
// parents, names, Finder information, folder listings and fork-to-fork copies. Its names live
// in the namespace fsutil, beside the support library's own operations of the same names.
#include "platform/carbon/Files.h"

namespace fsutil {

// FSMakeFSSpec; on success a parent ID of 0 becomes fsRtParID.
OSErr MakeSpecCompat(FSVolumeRefNum vRefNum, SInt32 dirID, ConstStr255Param name, FSSpec* spec);

// "Volume:Folder:Item", with ":" after a folder. fnfErr for a missing item of an existing
// folder, with the path it would have. The caller disposes of *pathHandle.
OSErr GetFullPath(FSVolumeRefNum vRefNum, SInt32 dirID, ConstStr255Param name, SInt16* pathLength,
                  Handle* pathHandle);
OSErr GetFullPathOfSpec(const FSSpec* spec, SInt16* pathLength, Handle* pathHandle);

OSErr MakeFSRefFromParts(FSVolumeRefNum vRefNum, SInt32 dirID, ConstStr255Param name, FSRef* ref);
// The folder holding the item; all zero bytes for a volume's root folder.
OSErr GetParentRef(const FSRef* ref, FSRef* parentRef);
OSErr GetItemName(const FSRef* ref, HFSUniStr255* name);
// Each output is optional.
OSErr GetFinderInfo(const FSRef* ref, FileInfo* info, UInt8 extendedInfo[16], Boolean* isFolder);
// The folder's direct items as consecutive FSRefs in a new handle (the caller disposes of it).
OSErr GetDirectoryItems(const FSRef* folder, Handle* refsHandle, ItemCount* count,
                        Boolean* changed);
// Copies the whole source fork into the destination fork, in chunks of the buffer's size
// (rounded down to a multiple of 4096 from 4096 up).
OSErr CopyForkContents(FSIORefNum source, FSIORefNum destination, void* buffer,
                       ByteCount bufferSize);

}  // namespace fsutil
