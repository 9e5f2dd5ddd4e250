// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Bounded C strings and their lists, case-insensitive search and comparison, match scores and
// decimal text. Characters are bytes in the system encoding (UTF-8).
#include <cstddef>

#include "foundation/PooledList.h"
#include "platform/carbon/Files.h"
#include "platform/carbon/MacTypes.h"
#include "platform/cf/CFString.h"

// A NUL-terminated string of at most 255 bytes in a 256-byte buffer. Every assigning and
// appending operation cuts silently so that the text never passes 255 bytes.
class BoundedString {
 public:
  static constexpr std::size_t kSize = 256;
  static constexpr std::size_t kMaxLength = kSize - 1;

  BoundedString() { text_[0] = 0; }
  explicit BoundedString(const char* s) { Assign(s); }

  const char* c_str() const { return text_; }
  char* data() { return text_; }
  std::size_t Length() const;
  bool IsEmpty() const { return text_[0] == 0; }

  void Clear() { text_[0] = 0; }
  void Assign(const char* s);                 // null gives the empty text
  void AssignPascal(ConstStr255Param s);
  // The string in the system encoding; a string that does not fit is cut before the first
  // character that would pass 255 bytes (never inside a character). Null gives the empty text.
  void AssignCFString(CFStringRef s);
  void AssignHandle(Handle h);                // min(handle size, 255) bytes
  void AssignNumber(SInt32 n);

  void Append(const char* s);                 // null changes nothing
  // Appends only while the text has at most 253 bytes (two free bytes).
  void AppendChar(char c);
  void AppendNumber(SInt32 n);
  void AppendPascal(ConstStr255Param s);
  void AppendCFString(CFStringRef s);         // cut as AssignCFString

  // Cuts at the last '.' of the whole text (if any), then appends '.' and the extension.
  void ReplaceExtension(const char* extension);
  void ToLower();
  // Deletes every byte that is neither alphanumeric nor punctuation in the C locale.
  void StripSpaceAndControl();
  void Reverse();

  // Heap objects come from the type's pool.
  static void* operator new(std::size_t size);
  static void operator delete(void* p, std::size_t size);

 private:
  void appendBytes(const char* s, std::size_t length);
  char text_[kSize];
};
static_assert(sizeof(BoundedString) == 256);

// A list of bounded strings (cells from their own pool).
class BoundedStringList : public PooledList<BoundedString> {
 public:
  Cell* AppendItem(const char* s);
};

// --- Search and comparison ------------------------------------------------------------------

// The first occurrence of needle in haystack comparing toupper of both; null when none. An
// empty needle matches at the start. Null arguments count as empty texts.
const char* FindIgnoringCase(const char* haystack, const char* needle);
// 0 when the first n bytes agree by toupper (or both end within them), else non-zero.
int CompareIgnoringCase(const char* a, const char* b, std::size_t n);
Boolean StartsWith(const char* text, const char* prefix, Boolean ignoreCase);
Boolean StartsWith(const char* text, const char* prefix);  // ignoring case
Boolean EndsWith(const char* text, const char* suffix, Boolean ignoreCase);
Boolean EndsWith(const char* text, const char* suffix);    // ignoring case

// Appends s and a line feed to the NUL-terminated text in destination, a buffer of
// destinationSize bytes. When they do not fit, s is cut so that the line feed and the
// terminator still do; answers false then (and when the buffer holds no terminator).
Boolean AppendLine(const char* s, char* destination, std::size_t destinationSize);
// Writes s and a line feed at the fork's current position; the whole line, however long.
OSErr WriteLine(const char* s, FSIORefNum refNum);

// --- Lists ------------------------------------------------------------------------------------

// Clears the list, then appends the tokens of source (cut to 255 bytes) between runs of the
// delimiter bytes; empty tokens never appear. Null source or delimiters count as empty.
void Split(const char* source, const char* delimiters, BoundedStringList& list);
// The items joined by separator; a separator is dropped once the text has 254 bytes.
void Join(BoundedString& out, char separator, const BoundedStringList& list);

// --- Match scores: 0.0 no match, 1.0 full match ------------------------------------------------

void MatchTokensInOrder(const BoundedString& text, const BoundedStringList& pattern, Float32* score);
void MatchTokensInOrder(const char* text, const BoundedStringList& pattern, Float32* score);
void MatchTokensInOrderIgnoringCase(const BoundedString& text, const BoundedStringList& pattern,
                                    Float32* score);
void MatchTokensInOrderIgnoringCase(const char* text, const BoundedStringList& pattern,
                                    Float32* score);
void MatchEqual(const BoundedString& text, const BoundedString& pattern, Float32* score);
void MatchEqual(const BoundedString& text, const char* pattern, Float32* score);
void MatchEqualIgnoringCase(const BoundedString& text, const BoundedString& pattern, Float32* score);
void MatchEqualIgnoringCase(const BoundedString& text, const char* pattern, Float32* score);
void MatchContains(const BoundedString& text, const BoundedString& pattern, Float32* score);
void MatchContains(const BoundedString& text, const char* pattern, Float32* score);
void MatchContainsIgnoringCase(const BoundedString& text, const BoundedString& pattern, Float32* score);
void MatchContainsIgnoringCase(const BoundedString& text, const char* pattern, Float32* score);
// 2m / (len(text) + len(pattern)), m the pattern's bytes found in order in the text; two empty
// texts score 0.0, as an empty pattern does everywhere else.
void MatchSimilarity(const BoundedString& text, const BoundedString& pattern, Float32* score);
void MatchSimilarity(const BoundedString& text, const char* pattern, Float32* score);
void MatchSimilarityIgnoringCase(const BoundedString& text, const BoundedString& pattern, Float32* score);
void MatchSimilarityIgnoringCase(const BoundedString& text, const char* pattern, Float32* score);

// --- Decimal text -------------------------------------------------------------------------------

// A new array of digit count + 2 bytes holding the decimal text; the caller frees it with
// delete[]. The most negative value of each width gives its exact text.
char* NewDecimalString(UInt32 value);
char* NewDecimalString(SInt32 value);
char* NewDecimalString(SInt16 value);
// Writes the decimal text into buffer (capacity bytes with the terminator). When the whole
// text does not fit, the buffer gets the empty text (nothing at all for capacity <= 0): a
// number is never shown with digits missing.
void FormatDecimal(char* buffer, SInt16 capacity, SInt32 value);
void FormatDecimal(char* buffer, SInt16 capacity, SInt64 value);
