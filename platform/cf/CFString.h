// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CFString: immutable and mutable strings of UTF-16 code units, with conversions to and from
// byte encodings, comparison, searching and formatting.
#include <cstdarg>

#include "platform/cf/CFBase.h"

typedef const struct __CFArray* CFArrayRef;
typedef const struct __CFDictionary* CFDictionaryRef;

typedef UInt32 CFStringEncoding;
enum : CFStringEncoding {
  kCFStringEncodingMacRoman = 0,
  kCFStringEncodingWindowsLatin1 = 0x0500,  // cp1252
  kCFStringEncodingISOLatin1 = 0x0201,
  kCFStringEncodingASCII = 0x0600,
  kCFStringEncodingUnicode = 0x0100,  // UTF-16 in host byte order
  kCFStringEncodingUTF8 = 0x08000100,
  kCFStringEncodingUTF16 = 0x0100,
  kCFStringEncodingUTF16BE = 0x10000100,
  kCFStringEncodingUTF16LE = 0x14000100,
  kCFStringEncodingUTF32 = 0x0c000100,  // host byte order
  kCFStringEncodingUTF32BE = 0x18000100,
  kCFStringEncodingUTF32LE = 0x1c000100,
  kCFStringEncodingInvalidId = 0xffffffffU,
};

typedef CFOptionFlags CFStringCompareFlags;
enum : CFOptionFlags {
  kCFCompareCaseInsensitive = 1,
  kCFCompareBackwards = 4,     // searching: the last occurrence
  kCFCompareAnchored = 8,      // searching: only at the start (or the end, when backwards)
  kCFCompareNonliteral = 16,   // canonically equivalent sequences compare equal
  kCFCompareLocalized = 32,    // the user's collation order instead of code-unit order
  kCFCompareNumerically = 64,  // runs of digits compare by their value ("a2" < "a10")
  kCFCompareDiacriticInsensitive = 128,
  kCFCompareWidthInsensitive = 256,  // full-width and half-width forms compare equal
  kCFCompareForcedOrdering = 512,
};

// A constant string that lives as long as the process; equal literals give the same object.
// The literal is read as UTF-8.
#define CFSTR(cStr) __CFStringMakeConstantString("" cStr "")
CFStringRef __CFStringMakeConstantString(const char* cStr);

CFTypeID CFStringGetTypeID(void);

// The encoding of C strings and Pascal strings on this system: UTF-8, Linux's own.
CFStringEncoding CFStringGetSystemEncoding(void);
Boolean CFStringIsEncodingAvailable(CFStringEncoding encoding);
// The most bytes that `length` UTF-16 units can need in the encoding (no terminator).
CFIndex CFStringGetMaximumSizeForEncoding(CFIndex length, CFStringEncoding encoding);

// Creation. All answer null when the bytes are not valid in the encoding.
CFStringRef CFStringCreateWithCString(CFAllocatorRef alloc, const char* cStr,
                                      CFStringEncoding encoding);
CFStringRef CFStringCreateWithPascalString(CFAllocatorRef alloc, ConstStr255Param pStr,
                                           CFStringEncoding encoding);
CFStringRef CFStringCreateWithCharacters(CFAllocatorRef alloc, const UniChar* chars,
                                         CFIndex numChars);
// With isExternalRepresentation, a leading byte-order mark of a UTF-16 or UTF-32 encoding
// decides the byte order (big-endian without one) and is dropped.
CFStringRef CFStringCreateWithBytes(CFAllocatorRef alloc, const UInt8* bytes, CFIndex numBytes,
                                    CFStringEncoding encoding, Boolean isExternalRepresentation);
CFStringRef CFStringCreateWithSubstring(CFAllocatorRef alloc, CFStringRef str, CFRange range);
CFStringRef CFStringCreateCopy(CFAllocatorRef alloc, CFStringRef theString);
// maxLength is accepted as a hint; mutable strings grow as needed.
CFMutableStringRef CFStringCreateMutable(CFAllocatorRef alloc, CFIndex maxLength);
CFMutableStringRef CFStringCreateMutableCopy(CFAllocatorRef alloc, CFIndex maxLength,
                                             CFStringRef theString);

// %@ inserts an object's formatting description (a string's own text); %d %i %u %x %X %o %c
// %s %S %C %p %f %e %g %a with the usual flags, widths, precisions and length modifiers (hh
// h l ll q z t j L), %% and positional arguments ("%2$@"). formatOptions is ignored.
CFStringRef CFStringCreateWithFormat(CFAllocatorRef alloc, CFDictionaryRef formatOptions,
                                     CFStringRef format, ...);
CFStringRef CFStringCreateWithFormatAndArguments(CFAllocatorRef alloc,
                                                 CFDictionaryRef formatOptions, CFStringRef format,
                                                 va_list arguments);

// Access.
CFIndex CFStringGetLength(CFStringRef theString);
UniChar CFStringGetCharacterAtIndex(CFStringRef theString, CFIndex idx);  // 0 when out of range
void CFStringGetCharacters(CFStringRef theString, CFRange range, UniChar* buffer);
// The string's own units for an immutable string, null for a mutable one.
const UniChar* CFStringGetCharactersPtr(CFStringRef theString);
// False when the string does not convert or does not fit with its terminator; the buffer is
// never written past bufferSize and holds an empty string after a failure.
Boolean CFStringGetCString(CFStringRef theString, char* buffer, CFIndex bufferSize,
                           CFStringEncoding encoding);
// A pointer valid as long as the string, or null (always allowed: callers fall back to
// CFStringGetCString). Given for immutable strings in UTF-8, and in the single-byte encodings
// for pure ASCII text, when the text holds no NUL.
const char* CFStringGetCStringPtr(CFStringRef theString, CFStringEncoding encoding);
// A length byte and at most 255 bytes; false when the result does not fit in bufferSize.
Boolean CFStringGetPascalString(CFStringRef theString, StringPtr buffer, CFIndex bufferSize,
                                CFStringEncoding encoding);
// Converts the range into buffer (or only measures, when buffer is null). A unit that does not
// convert becomes lossByte, or ends the conversion when lossByte is 0. Answers the number of
// UTF-16 units converted and puts the bytes used in *usedBufLen.
CFIndex CFStringGetBytes(CFStringRef theString, CFRange range, CFStringEncoding encoding,
                         UInt8 lossByte, Boolean isExternalRepresentation, UInt8* buffer,
                         CFIndex maxBufLen, CFIndex* usedBufLen);
SInt32 CFStringGetIntValue(CFStringRef str);     // leading integer, 0 when none
double CFStringGetDoubleValue(CFStringRef str);  // leading number, 0.0 when none

// Comparison and search. Case-insensitive comparison folds letter case only (full Unicode case
// folding: "ß" matches "SS"); diacritics, widths and canonical equivalents stay distinct unless
// their options are given.
CFComparisonResult CFStringCompare(CFStringRef theString1, CFStringRef theString2,
                                   CFStringCompareFlags compareOptions);
CFComparisonResult CFStringCompareWithOptions(CFStringRef theString1, CFStringRef theString2,
                                              CFRange rangeToCompare,
                                              CFStringCompareFlags compareOptions);
CFRange CFStringFind(CFStringRef theString, CFStringRef stringToFind,
                     CFStringCompareFlags compareOptions);
Boolean CFStringFindWithOptions(CFStringRef theString, CFStringRef stringToFind,
                                CFRange rangeToSearch, CFStringCompareFlags searchOptions,
                                CFRange* result);
Boolean CFStringHasPrefix(CFStringRef theString, CFStringRef prefix);
Boolean CFStringHasSuffix(CFStringRef theString, CFStringRef suffix);
// The pieces between the separators; the whole string as one piece when none occurs.
CFArrayRef CFStringCreateArrayBySeparatingStrings(CFAllocatorRef alloc, CFStringRef theString,
                                                  CFStringRef separatorString);
CFStringRef CFStringCreateByCombiningStrings(CFAllocatorRef alloc, CFArrayRef theArray,
                                             CFStringRef separatorString);

// Changing a mutable string. Called with an immutable string they do nothing.
void CFStringAppend(CFMutableStringRef theString, CFStringRef appendedString);
void CFStringAppendCharacters(CFMutableStringRef theString, const UniChar* chars, CFIndex numChars);
void CFStringAppendCString(CFMutableStringRef theString, const char* cStr,
                           CFStringEncoding encoding);
void CFStringAppendPascalString(CFMutableStringRef theString, ConstStr255Param pStr,
                                CFStringEncoding encoding);
void CFStringAppendFormat(CFMutableStringRef theString, CFDictionaryRef formatOptions,
                          CFStringRef format, ...);
void CFStringInsert(CFMutableStringRef str, CFIndex idx, CFStringRef insertedStr);
void CFStringDelete(CFMutableStringRef theString, CFRange range);
void CFStringReplace(CFMutableStringRef theString, CFRange range, CFStringRef replacement);
void CFStringReplaceAll(CFMutableStringRef theString, CFStringRef replacement);
// Replaces every match of stringToFind in the range; answers the number replaced.
CFIndex CFStringFindAndReplace(CFMutableStringRef theString, CFStringRef stringToFind,
                               CFStringRef replacementString, CFRange rangeToSearch,
                               CFStringCompareFlags compareOptions);
// Removes white space and line breaks (Unicode separators, U+0009..U+000D, U+0085) at both ends.
void CFStringTrimWhitespace(CFMutableStringRef theString);
// Removes whole occurrences of trimString at both ends.
void CFStringTrim(CFMutableStringRef theString, CFStringRef trimString);
