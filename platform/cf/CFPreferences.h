// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CFPreferences: property-list values under string keys, in domains named by application,
// user and host. On this system two domains are kept, each a preference file:
//
//   (application, kCFPreferencesCurrentUser, kCFPreferencesAnyHost)
//       $XDG_CONFIG_HOME/<application>.plist, through the very PreferenceStore that the
//       application's user defaults use, so the two never disagree;
//   (application, kCFPreferencesAnyUser, kCFPreferencesCurrentHost or kCFPreferencesAnyHost)
//       places::machineConfigHome()/<application>.plist ("/etc/xdg"); writing it needs root.
//       A file (or folder) that a synchronize creates there is readable by every user.
//
// kCFPreferencesCurrentApplication is the main bundle's identifier (the user defaults'
// fallback identifier without one). Other domains (any application, the current user on the
// current host only, another user) are not kept: reads give null, writes do nothing and
// synchronizing fails. So are application names that cannot be file names.
//
// Values stay in memory until a synchronize, which merges: it re-reads the file and writes back
// only the keys changed here, atomically (see platform/PreferenceStore.h). A change to the
// machine domain that synchronizing cannot write is dropped, so the domain goes on showing what
// the machine's file holds, not what this process failed to store there.
#include "platform/cf/CFBase.h"
#include "platform/cf/CFString.h"

inline const CFStringRef kCFPreferencesAnyApplication = CFSTR("kCFPreferencesAnyApplication");
inline const CFStringRef kCFPreferencesCurrentApplication = CFSTR("kCFPreferencesCurrentApplication");
inline const CFStringRef kCFPreferencesAnyHost = CFSTR("kCFPreferencesAnyHost");
inline const CFStringRef kCFPreferencesCurrentHost = CFSTR("kCFPreferencesCurrentHost");
inline const CFStringRef kCFPreferencesAnyUser = CFSTR("kCFPreferencesAnyUser");
inline const CFStringRef kCFPreferencesCurrentUser = CFSTR("kCFPreferencesCurrentUser");

// The application domain (current user, any host). The caller releases the value.
CFPropertyListRef CFPreferencesCopyAppValue(CFStringRef key, CFStringRef applicationID);
// A null value removes the key; a value that is not a property list changes nothing.
void CFPreferencesSetAppValue(CFStringRef key, CFPropertyListRef value, CFStringRef applicationID);
Boolean CFPreferencesAppSynchronize(CFStringRef applicationID);

// Any kept domain.
CFPropertyListRef CFPreferencesCopyValue(CFStringRef key, CFStringRef applicationID, CFStringRef userName,
                                         CFStringRef hostName);
void CFPreferencesSetValue(CFStringRef key, CFPropertyListRef value, CFStringRef applicationID,
                           CFStringRef userName, CFStringRef hostName);
// False when the file cannot be written (an ordinary user and the machine domain), is left
// alone as unreadable, or the domain is not kept.
Boolean CFPreferencesSynchronize(CFStringRef applicationID, CFStringRef userName, CFStringRef hostName);
