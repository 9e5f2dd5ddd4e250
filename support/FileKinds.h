// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a file-system item is (folder, file, alias, application, package, container, visible,
// bundle by name), and file-name extensions on disk.
#include "platform/carbon/Files.h"
#include "platform/cf/CFString.h"

// Each answers false when the catalog or Launch Services cannot answer.
Boolean IsFolder(const FSRef* ref);
Boolean IsFile(const FSRef* ref);
Boolean IsFolderAliasFile(const FSRef* ref);
Boolean IsVisible(const FSRef* ref);
Boolean IsApplication(const FSRef* ref);
Boolean IsPackageOrApplication(const FSRef* ref);
Boolean IsContainer(const FSRef* ref);
Boolean IsBundleLike(const FSRef* ref);
// The name's extension is app, bundle, framework, plugin or kext, in any letter case.
Boolean HasBundleExtension(const FSRef* ref);

// The File Manager's result; *value is 0 on failure.
OSErr GetFileType(const FSRef* ref, OSType* type);
OSErr GetFileCreator(const FSRef* ref, OSType* creator);
// ".mov", ".avi", ".swf", ".mp4", ".3gp" or ".3g2" for the item's classic movie file type;
// null otherwise. The caller releases the result.
CFStringRef CopyMovieExtension(const FSRef* ref);

// Renames the item: an extension equal to oldExtension (ignoring case) becomes newExtension; a
// name without one gets "." and newExtension. Names are cut to 255 UTF-16 units. An item of
// the new name is never replaced. Errors are not reported.
void ChangeFileExtension(const FSRef* ref, CFStringRef oldExtension, CFStringRef newExtension);
// Appends suffix (no dot added) to the name of the item at posixPath when the name has no
// extension; answers the new path (the caller releases it), or null when nothing was renamed.
CFStringRef AddSuffixIfNoExtension(CFStringRef posixPath, CFStringRef suffix);
