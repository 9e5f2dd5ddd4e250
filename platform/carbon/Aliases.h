// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Alias files on Linux: symbolic links, and files whose Finder flags carry the alias bit.
#include "platform/carbon/Files.h"

// *aliasFileFlag: the item is a symbolic link or has kIsAlias in its Finder flags;
// *folderFlag: it is a symbolic link whose target is a folder. paramErr for a null argument;
// the File Manager's error for a reference that names nothing.
OSErr FSIsAliasFile(const FSRef* fileRef, Boolean* aliasFileFlag, Boolean* folderFlag);
