// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Locations as lists of folder names, folder contents, and the operations that talk to the
// Finder or to this application through Apple events.
#include "foundation/PooledList.h"
#include "platform/carbon/AppleEvents.h"
#include "platform/cf/CFString.h"

// Folder names from the volume downward; the list owns one reference to each string.
typedef PooledList<CFStringRef> PathComponentList;
typedef PooledList<FSRef> FileRefList;

// Appends every non-empty piece of a POSIX path between "/".
void SplitPath(CFStringRef path, PathComponentList& list);
// The folders from the item's volume down to it (a file's own name is left out). Answers the
// last parent lookup's result.
OSErr GetPathComponents(const FSRef* item, PathComponentList& list);
// B has no more items than A and each equals A's at its position, ignoring case.
Boolean PathHasPrefix(const PathComponentList& a, const PathComponentList& b);
void DropLeadingComponents(PathComponentList& list, int n);
void ReleasePathComponents(PathComponentList& list);
OSErr CreateFolders(const FSRef* parent, const PathComponentList& list, FSRef* innermost);
OSErr CreateFileAlongPath(const FSRef* parent, const PathComponentList& list, CFStringRef name, FSRef* file);
// Appends each direct item of the folder that is not a folder.
OSErr ListFilesInFolder(const FSRef* folder, FileRefList& list);

// Through the Finder agent; the getter answers a new string (or null), the setter the result.
CFStringRef GetFinderComment(const FSRef* item);
OSErr SetFinderComment(const FSRef* item, CFStringRef comment);
Boolean YieldingIdleProc(EventRecord* event, SInt32* sleepTime, RgnHandle* mouseRgn);
// Resolves the file's 'alis' 128 resource and opens its target in the default application.
OSErr OpenAliasResourceTarget(const FSRef* file);
// One 'aevt'/'odoc' event to this process with a list of n aliases as its direct object.
OSErr OpenDocumentsInSelf(long n, const FSSpec* specs);
