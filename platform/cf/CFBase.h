// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CoreFoundation's base: the scalar types, the opaque object references and the object
// runtime (retain, release, type, equality, hash, description).
//
// Objects are reference counted. A function whose name holds Create or Copy hands the caller a
// reference to release with CFRelease; Get functions hand out references the caller does not
// own. Constant objects (CFSTR literals, kCFBooleanTrue, kCFNull, the main bundle) are never
// freed; retaining and releasing them does nothing.
#include "platform/carbon/MacTypes.h"

typedef long CFIndex;
typedef unsigned long CFTypeID;
typedef unsigned long CFOptionFlags;
typedef unsigned long CFHashCode;

typedef const void* CFTypeRef;
typedef CFTypeRef CFPropertyListRef;

typedef const struct __CFAllocator* CFAllocatorRef;
typedef const struct __CFString* CFStringRef;
typedef struct __CFString* CFMutableStringRef;
typedef const struct __CFNull* CFNullRef;

// Allocators are accepted for the platform's signatures and otherwise ignored: every object
// lives on the C++ heap.
inline constexpr CFAllocatorRef kCFAllocatorDefault = nullptr;
inline constexpr CFAllocatorRef kCFAllocatorSystemDefault = nullptr;

enum : CFIndex { kCFNotFound = -1 };

struct CFRange {
  CFIndex location;
  CFIndex length;
};

inline CFRange CFRangeMake(CFIndex location, CFIndex length) { return CFRange{location, length}; }

typedef CFIndex CFComparisonResult;
enum : CFIndex {
  kCFCompareLessThan = -1,
  kCFCompareEqualTo = 0,
  kCFCompareGreaterThan = 1,
};

typedef CFComparisonResult (*CFComparatorFunction)(const void* val1, const void* val2,
                                                   void* context);

// The runtime. Every function accepts only objects of this library. CFRelease(nullptr) and the
// other calls on a null reference do nothing and answer 0, false or null, rather than crash.
CFTypeRef CFRetain(CFTypeRef cf);
void CFRelease(CFTypeRef cf);
CFIndex CFGetRetainCount(CFTypeRef cf);
CFTypeID CFGetTypeID(CFTypeRef cf);
Boolean CFEqual(CFTypeRef cf1, CFTypeRef cf2);
CFHashCode CFHash(CFTypeRef cf);
CFStringRef CFCopyDescription(CFTypeRef cf);
CFStringRef CFCopyTypeIDDescription(CFTypeID typeID);
// Writes the object's description and a line break to standard error.
void CFShow(CFTypeRef cf);

// The null object, for collections that must hold "nothing".
extern const CFNullRef kCFNull;
CFTypeID CFNullGetTypeID(void);
