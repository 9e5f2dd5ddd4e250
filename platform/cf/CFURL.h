// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CFURL: URLs kept as their string (RFC 2396 syntax), optionally relative to a base URL; file
// URLs for POSIX paths; percent escapes.
#include "platform/cf/CFString.h"

typedef const struct __CFURL* CFURLRef;
struct FSRef;

typedef CFIndex CFURLPathStyle;
enum : CFIndex {
  kCFURLPOSIXPathStyle = 0,
  kCFURLHFSPathStyle = 1,      // not on this system: functions given it answer null
  kCFURLWindowsPathStyle = 2,  // likewise
};

CFTypeID CFURLGetTypeID(void);

// Null when the string holds a character a URL cannot hold (a space, a non-ASCII character,
// a '%' that does not begin an escape, ...). A relative string is kept with its base.
CFURLRef CFURLCreateWithString(CFAllocatorRef allocator, CFStringRef URLString, CFURLRef baseURL);
// A "file://" URL of the path, escaped; a relative path is taken from the current folder.
// A directory URL ends in "/". Null for an empty path or a style other than POSIX.
CFURLRef CFURLCreateWithFileSystemPath(CFAllocatorRef allocator, CFStringRef filePath,
                                       CFURLPathStyle pathStyle, Boolean isDirectory);
CFURLRef CFURLCreateFromFileSystemRepresentation(CFAllocatorRef allocator, const UInt8* buffer,
                                                 CFIndex bufLen, Boolean isDirectory);
CFURLRef CFURLCopyAbsoluteURL(CFURLRef relativeURL);
CFURLRef CFURLCreateCopyAppendingPathComponent(CFAllocatorRef allocator, CFURLRef url,
                                               CFStringRef pathComponent, Boolean isDirectory);
CFURLRef CFURLCreateCopyDeletingLastPathComponent(CFAllocatorRef allocator, CFURLRef url);
CFURLRef CFURLCreateCopyAppendingPathExtension(CFAllocatorRef allocator, CFURLRef url,
                                               CFStringRef extension);
CFURLRef CFURLCreateCopyDeletingPathExtension(CFAllocatorRef allocator, CFURLRef url);

// The string the URL was made from (relative to its base, if it has one); not owned.
CFStringRef CFURLGetString(CFURLRef anURL);
CFURLRef CFURLGetBaseURL(CFURLRef anURL);  // not owned; null when none

CFStringRef CFURLCopyScheme(CFURLRef anURL);    // null when none
CFStringRef CFURLCopyHostName(CFURLRef anURL);  // unescaped; null when none
// The path as it stands in the URL's own string, escapes kept (possibly empty).
CFStringRef CFURLCopyPath(CFURLRef anURL);
Boolean CFURLHasDirectoryPath(CFURLRef anURL);
// The unescaped path with no trailing "/" (except for the root); null when the escapes do
// not decode as UTF-8 or the style is not POSIX.
CFStringRef CFURLCopyFileSystemPath(CFURLRef anURL, CFURLPathStyle pathStyle);
// The path's bytes (UTF-8) with a terminator; false for a URL that is not a file URL, or
// when the path does not fit in maxBufLen bytes.
Boolean CFURLGetFileSystemRepresentation(CFURLRef url, Boolean resolveAgainstBase, UInt8* buffer,
                                         CFIndex maxBufLen);
CFStringRef CFURLCopyLastPathComponent(CFURLRef url);  // unescaped
// The text after the last '.' of the last path component, unescaped; null when there is none
// (a leading '.' starts a name, not an extension).
CFStringRef CFURLCopyPathExtension(CFURLRef url);

// Percent escapes (RFC 2396). A character is left as it is when it may stand in a URL: the
// letters and digits, the marks - _ . ! ~ * ' ( ) and the reserved characters ; / ? : @ & = + $ ,.
// Every other character, '%' and '#' included, becomes %XX escapes (upper-case hex) of its
// bytes in the encoding. So '%' is escaped even where it already begins an escape: decode
// first (CFURLCreateStringByReplacingPercentEscapes) to escape a text exactly once.
// charactersToLeaveUnescaped exempts characters that would be escaped;
// legalURLCharactersToBeEscaped forces escaping of characters that would stay.
// Null when a character has no representation in the encoding.
CFStringRef CFURLCreateStringByAddingPercentEscapes(CFAllocatorRef allocator,
                                                    CFStringRef originalString,
                                                    CFStringRef charactersToLeaveUnescaped,
                                                    CFStringRef legalURLCharactersToBeEscaped,
                                                    CFStringEncoding encoding);
// Decodes the escapes as UTF-8, except those of the characters in charactersToLeaveEscaped;
// with null for that set nothing is decoded (the empty string decodes everything). Null when
// a '%' is not followed by two hex digits, or a run of escapes is not valid UTF-8.
CFStringRef CFURLCreateStringByReplacingPercentEscapes(CFAllocatorRef allocator,
                                                       CFStringRef originalString,
                                                       CFStringRef charactersToLeaveEscaped);
// The same, with the escaped bytes read in the given encoding.
CFStringRef CFURLCreateStringByReplacingPercentEscapesUsingEncoding(CFAllocatorRef allocator,
                                                                    CFStringRef origString,
                                                                    CFStringRef charsToLeaveEscaped,
                                                                    CFStringEncoding encoding);

// File URLs and File Manager references (CFURLFileManager.cpp). A folder's URL ends in "/".
// Null for a reference that names nothing.
CFURLRef CFURLCreateFromFSRef(CFAllocatorRef allocator, const FSRef* fsRef);
// False for a URL that is not a file URL or names no existing item.
Boolean CFURLGetFSRef(CFURLRef url, FSRef* fsRef);
