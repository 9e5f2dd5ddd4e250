// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "app/core/LookupWorkflowBuilder.h"

// The folder the workflow is written to, and its helpers (File Manager statuses, the
// platform's ownership rules: the caller disposes of what Copy hands out).
#include "platform/carbon/MacTypes.h"
struct FSRef;
typedef const struct __CFString* CFStringRef;

// Application Support/Quenbrook/<bundle name>, created as needed; true with its reference.
Boolean GetApplicationSupportFolder(FSRef* folder);
// True unless the item's lookup reports file-not-found.
Boolean FolderItemExists(const FSRef* parent, CFStringRef name, FSRef* item);
// Creates the folder unless an item of that name is found; 0 on success.
OSErr CreateFolderIfMissing(const FSRef* parent, CFStringRef name, FSRef* folder);
// A copy of the main bundle's name, or null.
CFStringRef CopyBundleName();
// The string's UTF-16 units in a new block (DisposePtr it) and their count.
UniChar* CopyStringCharacters(CFStringRef string, UniCharCount* length);
