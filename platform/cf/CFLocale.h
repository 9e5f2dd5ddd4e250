// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CFTimeZone, CFLocale and CFDateFormatter over ICU: the locale's real date formats and the
// time-zone database's offsets, daylight saving time included.
#include "platform/cf/CFDate.h"
#include "platform/cf/CFString.h"

typedef const struct __CFTimeZone* CFTimeZoneRef;
typedef const struct __CFLocale* CFLocaleRef;
typedef struct __CFDateFormatter* CFDateFormatterRef;

// --- Time zones --------------------------------------------------------------------------------

CFTypeID CFTimeZoneGetTypeID(void);
// The zone of $TZ ("Europe/Berlin", ":Europe/Berlin"), else of /etc/localtime, else GMT; read
// afresh at every call.
CFTimeZoneRef CFTimeZoneCopySystem(void);
CFTimeZoneRef CFTimeZoneCopyDefault(void);  // the system zone unless one was set
void CFTimeZoneSetDefault(CFTimeZoneRef tz);  // null goes back to the system zone
// Null for a name the time-zone database does not know.
CFTimeZoneRef CFTimeZoneCreateWithName(CFAllocatorRef allocator, CFStringRef name,
                                       Boolean tryAbbrev);
CFTimeZoneRef CFTimeZoneCreateWithTimeIntervalFromGMT(CFAllocatorRef allocator, CFTimeInterval ti);
CFStringRef CFTimeZoneGetName(CFTimeZoneRef tz);  // not owned
// The offset from GMT at that instant, daylight saving time included.
CFTimeInterval CFTimeZoneGetSecondsFromGMT(CFTimeZoneRef tz, CFAbsoluteTime at);
Boolean CFTimeZoneIsDaylightSavingTime(CFTimeZoneRef tz, CFAbsoluteTime at);

// --- Locales -----------------------------------------------------------------------------------

CFTypeID CFLocaleGetTypeID(void);
// The user's locale for formats: $LC_ALL, else $LC_TIME, else $LANG ("de_DE.UTF-8" gives
// "de_DE"); "en_US_POSIX" for the C locale or none. Read afresh at every call.
CFLocaleRef CFLocaleCopyCurrent(void);
CFLocaleRef CFLocaleCreate(CFAllocatorRef allocator, CFStringRef localeIdentifier);
CFStringRef CFLocaleGetIdentifier(CFLocaleRef locale);  // not owned

// --- Date formatters ---------------------------------------------------------------------------

typedef CFIndex CFDateFormatterStyle;
enum : CFIndex {
  kCFDateFormatterNoStyle = 0,
  kCFDateFormatterShortStyle = 1,
  kCFDateFormatterMediumStyle = 2,
  kCFDateFormatterLongStyle = 3,
  kCFDateFormatterFullStyle = 4,
};

CFTypeID CFDateFormatterGetTypeID(void);
// Null for a null locale, a style out of range, or when ICU has no formatter for them. The
// formatter writes in the default time zone at the time it is made.
CFDateFormatterRef CFDateFormatterCreate(CFAllocatorRef allocator, CFLocaleRef locale,
                                         CFDateFormatterStyle dateStyle,
                                         CFDateFormatterStyle timeStyle);
// Properties: only kCFDateFormatterTimeZone (a CFTimeZone) is kept.
inline const CFStringRef kCFDateFormatterTimeZone = CFSTR("kCFDateFormatterTimeZoneKey");
void CFDateFormatterSetProperty(CFDateFormatterRef formatter, CFStringRef key, CFTypeRef value);
CFStringRef CFDateFormatterGetFormat(CFDateFormatterRef formatter);  // the ICU pattern; not owned
void CFDateFormatterSetFormat(CFDateFormatterRef formatter, CFStringRef formatString);
CFStringRef CFDateFormatterCreateStringWithDate(CFAllocatorRef allocator,
                                                CFDateFormatterRef formatter, CFDateRef date);
CFStringRef CFDateFormatterCreateStringWithAbsoluteTime(CFAllocatorRef allocator,
                                                        CFDateFormatterRef formatter,
                                                        CFAbsoluteTime at);
