// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/StringUtilities.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>

#include "platform/carbon/Memory.h"

namespace {

const char* orEmpty(const char* s) { return s ? s : ""; }

int upper(char c) { return std::toupper(static_cast<unsigned char>(c)); }
int lower(char c) { return std::tolower(static_cast<unsigned char>(c)); }

// The digits of magnitude with a leading '-' when negative, least significant first, then
// reversed in place; answers the length (at most 20 digits and the sign).
std::size_t decimalText(UInt64 magnitude, bool negative, char out[22]) {
  std::size_t n = 0;
  do {
    out[n++] = char('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude);
  if (negative) out[n++] = '-';
  out[n] = 0;
  std::reverse(out, out + n);
  return n;
}

UInt64 magnitudeOf(SInt64 value) { return value < 0 ? UInt64(0) - UInt64(value) : UInt64(value); }

char* newDecimal(UInt64 magnitude, bool negative) {
  char text[22];
  const std::size_t length = decimalText(magnitude, negative, text);
  const std::size_t digits = length - (negative ? 1 : 0);
  char* result = new char[digits + 2]();
  std::memcpy(result, text, length + 1);
  return result;
}

// The system encoding's bytes of s, cut before the first character that would pass maxBytes.
std::string convertBounded(CFStringRef s, std::size_t maxBytes) {
  std::string out(maxBytes, '\0');
  CFIndex used = 0;
  CFStringGetBytes(s, CFRangeMake(0, CFStringGetLength(s)), CFStringGetSystemEncoding(), '?',
                   false, reinterpret_cast<UInt8*>(out.data()), CFIndex(maxBytes), &used);
  out.resize(std::size_t(std::max<CFIndex>(used, 0)));
  // A NUL inside the string would end the C string anyway.
  out.resize(std::strlen(out.c_str()));
  return out;
}

template <class Same>
const char* findFrom(const char* haystack, const char* needle, Same same) {
  const std::size_t n = std::strlen(needle);
  for (const char* at = haystack;; ++at) {
    std::size_t i = 0;
    while (i < n && at[i] && same(at[i], needle[i])) ++i;
    if (i == n) return at;
    if (!*at) return nullptr;
  }
}

bool sameUpper(char a, char b) { return upper(a) == upper(b); }
bool sameLower(char a, char b) { return lower(a) == lower(b); }

void tokensInOrder(const char* text, const BoundedStringList& pattern, bool ignoreCase,
                   Float32* score) {
  if (!score) return;
  const char* at = text;
  for (auto* cell = pattern.head(); cell; cell = cell->next) {
    const char* found = ignoreCase ? FindIgnoringCase(at, cell->value.c_str())
                                   : std::strstr(at, cell->value.c_str());
    if (!found) {
      *score = 0.0f;
      return;
    }
    at = found + std::strlen(cell->value.c_str());
  }
  *score = 1.0f;
}

void similarity(const char* a, const char* b, bool ignoreCase, Float32* score) {
  if (!score) return;
  const std::size_t lengthA = std::strlen(a), lengthB = std::strlen(b);
  if (lengthA + lengthB == 0) {
    *score = 0.0f;
    return;
  }
  std::size_t m = 0, p = 0;
  for (std::size_t j = 0; j < lengthB && p < lengthA; ++j) {
    for (std::size_t k = p; k < lengthA; ++k) {
      if (ignoreCase ? sameLower(a[k], b[j]) : a[k] == b[j]) {
        ++m;
        p = k + 1;
        break;
      }
    }
  }
  *score = Float32(2.0 * double(m) / double(lengthA + lengthB));
}

}  // namespace

// --- BoundedString -----------------------------------------------------------------------------

std::size_t BoundedString::Length() const { return std::strlen(text_); }

void BoundedString::appendBytes(const char* s, std::size_t length) {
  const std::size_t have = Length();
  const std::size_t room = kMaxLength - have;
  const std::size_t n = std::min(length, room);
  std::memmove(text_ + have, s, n);
  text_[have + n] = 0;
}

void BoundedString::Assign(const char* s) {
  Clear();
  Append(s);
}

void BoundedString::AssignPascal(ConstStr255Param s) {
  Clear();
  AppendPascal(s);
}

void BoundedString::AssignCFString(CFStringRef s) {
  Clear();
  AppendCFString(s);
}

void BoundedString::AssignHandle(Handle h) {
  Clear();
  if (!h || !*h) return;
  const Size size = GetHandleSize(h);
  if (size <= 0) return;
  const std::size_t n = std::min<std::size_t>(std::size_t(size), kMaxLength);
  std::memcpy(text_, *h, n);
  text_[n] = 0;
}

void BoundedString::AssignNumber(SInt32 n) {
  FormatDecimal(text_, 31, n);
}

void BoundedString::Append(const char* s) {
  if (s) appendBytes(s, std::strlen(s));
}

void BoundedString::AppendChar(char c) {
  const std::size_t have = Length();
  if (have > kMaxLength - 2) return;
  text_[have] = c;
  text_[have + 1] = 0;
}

void BoundedString::AppendNumber(SInt32 n) {
  char digits[31];
  FormatDecimal(digits, sizeof digits, n);
  Append(digits);
}

void BoundedString::AppendPascal(ConstStr255Param s) {
  if (!s) return;
  // Up to the first NUL, as the C-string conversion would stop there.
  const std::size_t length = strnlen(reinterpret_cast<const char*>(s + 1), s[0]);
  appendBytes(reinterpret_cast<const char*>(s + 1), length);
}

void BoundedString::AppendCFString(CFStringRef s) {
  if (!s || CFGetTypeID(s) != CFStringGetTypeID()) return;
  const std::string bytes = convertBounded(s, kMaxLength - Length());
  appendBytes(bytes.data(), bytes.size());
}

void BoundedString::ReplaceExtension(const char* extension) {
  if (char* dot = std::strrchr(text_, '.')) *dot = 0;
  AppendChar('.');
  Append(extension);
}

void BoundedString::ToLower() {
  for (char* at = text_; *at; ++at) *at = char(lower(*at));
}

void BoundedString::StripSpaceAndControl() {
  char* out = text_;
  for (const char* at = text_; *at; ++at) {
    const unsigned char c = static_cast<unsigned char>(*at);
    if (std::isalnum(c) || std::ispunct(c)) *out++ = *at;
  }
  *out = 0;
}

void BoundedString::Reverse() { std::reverse(text_, text_ + Length()); }

void* BoundedString::operator new(std::size_t size) {
  if (size != sizeof(BoundedString)) return ::operator new(size);
  return ObjectPool<BoundedString>::shared().take();
}

void BoundedString::operator delete(void* p, std::size_t size) {
  if (!p) return;
  if (size != sizeof(BoundedString)) return ::operator delete(p);
  ObjectPool<BoundedString>::shared().give(p);
}

BoundedStringList::Cell* BoundedStringList::AppendItem(const char* s) {
  return append(BoundedString(s));
}

// --- Search and comparison --------------------------------------------------------------------

const char* FindIgnoringCase(const char* haystack, const char* needle) {
  return findFrom(orEmpty(haystack), orEmpty(needle), sameUpper);
}

int CompareIgnoringCase(const char* a, const char* b, std::size_t n) {
  a = orEmpty(a), b = orEmpty(b);
  for (std::size_t i = 0; i < n; ++i) {
    const int difference = upper(a[i]) - upper(b[i]);
    if (difference) return difference;
    if (!a[i]) return 0;
  }
  return 0;
}

Boolean StartsWith(const char* text, const char* prefix, Boolean ignoreCase) {
  text = orEmpty(text), prefix = orEmpty(prefix);
  const std::size_t n = std::strlen(prefix);
  return (ignoreCase ? CompareIgnoringCase(text, prefix, n) : std::strncmp(text, prefix, n)) == 0;
}

Boolean StartsWith(const char* text, const char* prefix) { return StartsWith(text, prefix, true); }

Boolean EndsWith(const char* text, const char* suffix, Boolean ignoreCase) {
  text = orEmpty(text), suffix = orEmpty(suffix);
  const std::size_t length = std::strlen(text), n = std::strlen(suffix);
  if (length < n) return false;
  return StartsWith(text + length - n, suffix, ignoreCase);
}

Boolean EndsWith(const char* text, const char* suffix) { return EndsWith(text, suffix, true); }

Boolean AppendLine(const char* s, char* destination, std::size_t destinationSize) {
  if (!destination || destinationSize < 2) return false;
  const std::size_t have = strnlen(destination, destinationSize);
  if (have + 2 > destinationSize) return false;  // no terminator, or no room for the line feed
  s = orEmpty(s);
  const std::size_t length = std::strlen(s);
  const std::size_t room = destinationSize - have - 2;
  const std::size_t n = std::min(length, room);
  std::memcpy(destination + have, s, n);
  destination[have + n] = '\n';
  destination[have + n + 1] = 0;
  return n == length;
}

OSErr WriteLine(const char* s, FSIORefNum refNum) {
  std::string line(orEmpty(s));
  line += '\n';
  return FSWriteFork(refNum, fsAtMark, 0, ByteCount(line.size()), line.data(), nullptr);
}

// --- Lists --------------------------------------------------------------------------------------

void Split(const char* source, const char* delimiters, BoundedStringList& list) {
  list.clear();
  BoundedString copy(source);
  // strtok_r: the same tokens as strtok, without its hidden process-wide state.
  char* state = nullptr;
  for (char* token = strtok_r(copy.data(), orEmpty(delimiters), &state); token;
       token = strtok_r(nullptr, orEmpty(delimiters), &state))
    list.AppendItem(token);
}

void Join(BoundedString& out, char separator, const BoundedStringList& list) {
  out.Clear();
  int number = 0;
  for (auto* cell = list.head(); cell; cell = cell->next) {
    out.Append(cell->value.c_str());
    if (++number != list.count()) out.AppendChar(separator);
  }
}

// --- Match scores -------------------------------------------------------------------------------

void MatchTokensInOrder(const BoundedString& text, const BoundedStringList& pattern, Float32* score) {
  tokensInOrder(text.c_str(), pattern, false, score);
}
void MatchTokensInOrder(const char* text, const BoundedStringList& pattern, Float32* score) {
  MatchTokensInOrder(BoundedString(text), pattern, score);
}
void MatchTokensInOrderIgnoringCase(const BoundedString& text, const BoundedStringList& pattern,
                                    Float32* score) {
  tokensInOrder(text.c_str(), pattern, true, score);
}
void MatchTokensInOrderIgnoringCase(const char* text, const BoundedStringList& pattern,
                                    Float32* score) {
  MatchTokensInOrderIgnoringCase(BoundedString(text), pattern, score);
}

void MatchEqual(const BoundedString& text, const BoundedString& pattern, Float32* score) {
  if (!score) return;
  *score = !pattern.IsEmpty() && std::strcmp(text.c_str(), pattern.c_str()) == 0 ? 1.0f : 0.0f;
}
void MatchEqual(const BoundedString& text, const char* pattern, Float32* score) {
  MatchEqual(text, BoundedString(pattern), score);
}

void MatchEqualIgnoringCase(const BoundedString& text, const BoundedString& pattern, Float32* score) {
  if (!score) return;
  bool equal = !text.IsEmpty() && !pattern.IsEmpty();
  const char *a = text.c_str(), *b = pattern.c_str();
  for (; equal && (*a || *b); ++a, ++b) equal = sameLower(*a, *b);
  *score = equal ? 1.0f : 0.0f;
}
void MatchEqualIgnoringCase(const BoundedString& text, const char* pattern, Float32* score) {
  MatchEqualIgnoringCase(text, BoundedString(pattern), score);
}

void MatchContains(const BoundedString& text, const BoundedString& pattern, Float32* score) {
  if (!score) return;
  *score = !pattern.IsEmpty() && std::strstr(text.c_str(), pattern.c_str()) ? 1.0f : 0.0f;
}
void MatchContains(const BoundedString& text, const char* pattern, Float32* score) {
  MatchContains(text, BoundedString(pattern), score);
}

void MatchContainsIgnoringCase(const BoundedString& text, const BoundedString& pattern, Float32* score) {
  if (!score) return;
  *score = !pattern.IsEmpty() && FindIgnoringCase(text.c_str(), pattern.c_str()) ? 1.0f : 0.0f;
}
void MatchContainsIgnoringCase(const BoundedString& text, const char* pattern, Float32* score) {
  MatchContainsIgnoringCase(text, BoundedString(pattern), score);
}

void MatchSimilarity(const BoundedString& text, const BoundedString& pattern, Float32* score) {
  similarity(text.c_str(), pattern.c_str(), false, score);
}
void MatchSimilarity(const BoundedString& text, const char* pattern, Float32* score) {
  MatchSimilarity(text, BoundedString(pattern), score);
}
void MatchSimilarityIgnoringCase(const BoundedString& text, const BoundedString& pattern, Float32* score) {
  similarity(text.c_str(), pattern.c_str(), true, score);
}
void MatchSimilarityIgnoringCase(const BoundedString& text, const char* pattern, Float32* score) {
  MatchSimilarityIgnoringCase(text, BoundedString(pattern), score);
}

// --- Decimal text ---------------------------------------------------------------------------------

char* NewDecimalString(UInt32 value) { return newDecimal(value, false); }
char* NewDecimalString(SInt32 value) { return newDecimal(magnitudeOf(value), value < 0); }
char* NewDecimalString(SInt16 value) { return newDecimal(magnitudeOf(value), value < 0); }

void FormatDecimal(char* buffer, SInt16 capacity, SInt64 value) {
  if (!buffer || capacity <= 0) return;
  char text[22];
  const std::size_t length = decimalText(magnitudeOf(value), value < 0, text);
  if (length + 1 > std::size_t(capacity)) {
    buffer[0] = 0;
    return;
  }
  std::memcpy(buffer, text, length + 1);
}

void FormatDecimal(char* buffer, SInt16 capacity, SInt32 value) {
  FormatDecimal(buffer, capacity, SInt64(value));
}
