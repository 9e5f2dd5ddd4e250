// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CFBundle: a bundle folder ("Name.app", "Name.dictionary") with Contents/Info.plist and
// Contents/Resources, read through the Qt-side Bundle.
#include "platform/cf/CFDictionary.h"
#include "platform/cf/CFString.h"
#include "platform/cf/CFURL.h"

typedef struct __CFBundle* CFBundleRef;

// Inline, so that they are set before any static object of a file that includes this one.
inline const CFStringRef kCFBundleInfoDictionaryVersionKey = CFSTR("CFBundleInfoDictionaryVersion");
inline const CFStringRef kCFBundleExecutableKey = CFSTR("CFBundleExecutable");
inline const CFStringRef kCFBundleIdentifierKey = CFSTR("CFBundleIdentifier");
inline const CFStringRef kCFBundleVersionKey = CFSTR("CFBundleVersion");
inline const CFStringRef kCFBundleNameKey = CFSTR("CFBundleName");
inline const CFStringRef kCFBundleLocalizationsKey = CFSTR("CFBundleLocalizations");
inline const CFStringRef kCFBundleDevelopmentRegionKey = CFSTR("CFBundleDevelopmentRegion");

CFTypeID CFBundleGetTypeID(void);

// The application's bundle (places::mainBundlePath()); not owned, and never freed. Null when
// that folder does not exist.
CFBundleRef CFBundleGetMainBundle(void);
// A bundle for a folder's file URL; null when the URL is not a file URL or the folder does
// not exist.
CFBundleRef CFBundleCreate(CFAllocatorRef allocator, CFURLRef bundleURL);

// The Info.plist as CF objects, built once and kept by the bundle: the values stay valid as
// long as the bundle. Not owned. An empty dictionary when the Info.plist is missing or bad.
CFDictionaryRef CFBundleGetInfoDictionary(CFBundleRef bundle);
CFTypeRef CFBundleGetValueForInfoDictionaryKey(CFBundleRef bundle, CFStringRef key);
CFStringRef CFBundleGetIdentifier(CFBundleRef bundle);  // null unless a string

CFURLRef CFBundleCopyBundleURL(CFBundleRef bundle);
CFURLRef CFBundleCopyResourcesDirectoryURL(CFBundleRef bundle);  // absolute
// The URL of resourceName[.resourceType] in Contents/Resources[/subDirName], looked up first in
// that folder itself, then in the localization folders "<language>.lproj" (the user's
// languages from $LANGUAGE, then $LC_ALL, $LC_MESSAGES or $LANG, each as "de_DE", "de-DE" and
// "de"; then the development region, "Base" and "en"); null when there is no such file.
CFURLRef CFBundleCopyResourceURL(CFBundleRef bundle, CFStringRef resourceName,
                                 CFStringRef resourceType, CFStringRef subDirName);
// The value of key in the strings table tableName ("Localizable" when null): the tables of the
// localization folders in the order above come first, then Resources/<tableName>.strings.
// When the key is in no table: value, unless that is null or empty, then key. A table is read
// once per bundle; a table with a syntax error counts as empty. The caller releases the result.
CFStringRef CFBundleCopyLocalizedString(CFBundleRef bundle, CFStringRef key, CFStringRef value,
                                        CFStringRef tableName);
