// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Absolute time (seconds since 1 January 2001, 00:00:00 GMT) and CFDate.
#include "platform/cf/CFBase.h"

typedef double CFTimeInterval;
typedef CFTimeInterval CFAbsoluteTime;
typedef const struct __CFDate* CFDateRef;

inline constexpr CFTimeInterval kCFAbsoluteTimeIntervalSince1970 = 978307200.0;
inline constexpr CFTimeInterval kCFAbsoluteTimeIntervalSince1904 = 3061152000.0;

CFAbsoluteTime CFAbsoluteTimeGetCurrent(void);

CFTypeID CFDateGetTypeID(void);
CFDateRef CFDateCreate(CFAllocatorRef allocator, CFAbsoluteTime at);
CFAbsoluteTime CFDateGetAbsoluteTime(CFDateRef theDate);
CFTimeInterval CFDateGetTimeIntervalSinceDate(CFDateRef theDate, CFDateRef otherDate);
CFComparisonResult CFDateCompare(CFDateRef theDate, CFDateRef otherDate, void* context);
