// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The application's own bundle (identifier, executable name, creator signature, folder,
// resources, icon registration), the running system's version and the preferences.
#include "platform/carbon/Files.h"
#include "platform/carbon/IconServices.h"
#include "platform/cf/CFString.h"
#include "support/StringUtilities.h"

// Null when there is no main bundle or no such key; not retained.
CFStringRef GetBundleIdentifier(void);
CFStringRef GetExecutableName(void);
// Assign the value in the system encoding; answer false (0) and leave text alone when absent.
Boolean GetBundleIdentifierText(BoundedString& text);
Boolean GetExecutableNameText(BoundedString& text);
// "CFBundleSignature" as a four-character code, first character most significant. A shorter
// signature is padded with zero bytes ("AB" gives 0x41420000); 0 when absent.
OSType GetBundleSignature(void);
UInt32* SwapBytes32(UInt32 value, UInt32* swapped);

Boolean GetBundleRef(FSRef* ref);
// The bundle folder's POSIX path (the caller releases it); *ref, when given, its reference.
CFStringRef CopyBundlePath(FSRef* ref);
// The resource name.type in the bundle's resources (localized folders included).
Boolean GetBundleResourceRef(const char* name, const char* type, FSRef* ref);
// Registers the bundle's name.icns under the creator 'Qbzr' and iconType.
OSErr RegisterBundleIcon(const char* name, OSType iconType, IconRef* icon);

// Gestalt 'sysv' in binary-coded decimal (0x1068 for 10.6.8); 0 when it cannot be had.
SInt32 GetSystemVersion(void);

// Preferences under the bundle identifier, for this user (the application domain) or, with
// machineWide, for any user of this host. Keys are read as UTF-8, bytes that are not as Mac
// Roman, so every key converts and a key reads back as the user defaults see it.
//
// Stores value (null removes the key). Machine-wide, a domain that cannot be written (an
// ordinary user) takes nothing, and the value goes to the application domain instead.
// Always answers noErr.
OSErr SetPreference(CFPropertyListRef value, ConstStr255Param key, Boolean machineWide);
// Machine-wide, the machine's value, else the application domain's; the caller releases it.
// Null when neither holds the key, or without a key.
CFPropertyListRef CopyPreference(ConstStr255Param key, Boolean machineWide);
