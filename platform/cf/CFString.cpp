// SPDX-License-Identifier: GPL-3.0-or-later
// CFString creation, access, conversion and editing. Comparison and search live in
// CFStringCompare.cpp, formatting in CFStringFormat.cpp.
#include "platform/cf/CFString.h"

#include <QHash>
#include <QLocale>
#include <climits>
#include <cstring>
#include <string>
#include <unordered_map>

#include "platform/cf/CFArray.h"
#include "platform/cf/CFInternal.h"

namespace {

// The part of a range that lies inside a sequence of `length` elements.
CFRange clip(CFRange range, CFIndex length) {
  CFIndex start = std::clamp<CFIndex>(range.location, 0, length);
  CFIndex end =
      range.length < 0 ? start : std::clamp<CFIndex>(range.location + range.length, start, length);
  if (range.location > length) end = start;
  return CFRangeMake(start, end - start);
}

__CFString* mutableString(CFMutableStringRef s) {
  __CFString* str = cf::asMutable<__CFString>(s);
  return str && str->isMutable ? str : nullptr;
}

bool isTrimmedSpace(QChar c) {
  const char16_t u = c.unicode();
  if ((u >= 0x09 && u <= 0x0D) || u == 0x85) return true;
  const QChar::Category cat = c.category();
  return cat == QChar::Separator_Space || cat == QChar::Separator_Line ||
         cat == QChar::Separator_Paragraph;
}

bool isAsciiText(const QString& text) {
  for (QChar c : text)
    if (c.unicode() >= 0x80) return false;
  return true;
}

}  // namespace

namespace cf {

CFStringRef makeString(QString text) { return new __CFString(std::move(text), false); }

CFMutableStringRef makeMutableString(QString text) { return new __CFString(std::move(text), true); }

const QString& text(CFStringRef string) {
  static const QString empty;
  const __CFString* s = as<__CFString>(string);
  return s ? s->text : empty;
}

}  // namespace cf

bool __CFString::equals(const Object& other) const {
  return text == static_cast<const __CFString&>(other).text;
}

CFHashCode __CFString::hash() const { return qHash(text); }

QString __CFString::describeContents() const {
  return QStringLiteral("contents = \"%1\"").arg(text);
}

CFStringRef __CFStringMakeConstantString(const char* cStr) {
  if (!cStr) return nullptr;
  // Never destroyed: the constants must outlive every static object that holds one, and
  // stay reachable for leak checkers.
  static std::mutex* mutex = new std::mutex;
  static auto* constants = new std::unordered_map<std::string, const __CFString*>;
  std::lock_guard lock(*mutex);
  auto [it, inserted] = constants->try_emplace(cStr, nullptr);
  if (inserted) {
    QString text;
    const auto* bytes = reinterpret_cast<const unsigned char*>(cStr);
    if (!cf::decodeUtf8(bytes, qsizetype(std::strlen(cStr)), &text))
      text = QString::fromLatin1(cStr);
    it->second = new __CFString(std::move(text), cf::Object::Immortal{});
  }
  return it->second;
}

CFTypeID CFStringGetTypeID(void) { return cf::kStringType; }

CFStringEncoding CFStringGetSystemEncoding(void) { return kCFStringEncodingUTF8; }

Boolean CFStringIsEncodingAvailable(CFStringEncoding encoding) {
  return cf::isSupportedEncoding(encoding);
}

CFIndex CFStringGetMaximumSizeForEncoding(CFIndex length, CFStringEncoding encoding) {
  if (length < 0 || !cf::isSupportedEncoding(encoding)) return kCFNotFound;
  CFIndex perUnit = 1;
  switch (encoding) {
    case kCFStringEncodingUTF8: perUnit = 3; break;  // a pair of units takes 4 bytes, not 6
    case kCFStringEncodingUTF16:
    case kCFStringEncodingUTF16BE:
    case kCFStringEncodingUTF16LE: perUnit = 2; break;
    case kCFStringEncodingUTF32:
    case kCFStringEncodingUTF32BE:
    case kCFStringEncodingUTF32LE: perUnit = 4; break;
    default: break;
  }
  return length > LONG_MAX / perUnit ? kCFNotFound : length * perUnit;
}

CFStringRef CFStringCreateWithCString(CFAllocatorRef, const char* cStr, CFStringEncoding encoding) {
  if (!cStr) return nullptr;
  QString text;
  if (!cf::decode(cStr, qsizetype(std::strlen(cStr)), encoding, false, &text)) return nullptr;
  return cf::makeString(std::move(text));
}

CFStringRef CFStringCreateWithPascalString(CFAllocatorRef, ConstStr255Param pStr,
                                           CFStringEncoding encoding) {
  if (!pStr) return nullptr;
  QString text;
  if (!cf::decode(reinterpret_cast<const char*>(pStr + 1), pStr[0], encoding, false, &text))
    return nullptr;
  return cf::makeString(std::move(text));
}

CFStringRef CFStringCreateWithCharacters(CFAllocatorRef, const UniChar* chars, CFIndex numChars) {
  if (numChars < 0 || (!chars && numChars > 0)) return nullptr;
  return cf::makeString(QString(reinterpret_cast<const QChar*>(chars), numChars));
}

CFStringRef CFStringCreateWithBytes(CFAllocatorRef, const UInt8* bytes, CFIndex numBytes,
                                    CFStringEncoding encoding, Boolean isExternalRepresentation) {
  QString text;
  if (!cf::decode(reinterpret_cast<const char*>(bytes), numBytes, encoding,
                  isExternalRepresentation, &text))
    return nullptr;
  return cf::makeString(std::move(text));
}

CFStringRef CFStringCreateWithSubstring(CFAllocatorRef, CFStringRef str, CFRange range) {
  const __CFString* s = cf::as<__CFString>(str);
  if (!s) return nullptr;
  const CFRange r = clip(range, s->text.size());
  return cf::makeString(s->text.mid(r.location, r.length));
}

CFStringRef CFStringCreateCopy(CFAllocatorRef, CFStringRef theString) {
  const __CFString* s = cf::as<__CFString>(theString);
  if (!s) return nullptr;
  if (!s->isMutable) {
    CFRetain(s);  // an immutable string is its own copy
    return s;
  }
  return cf::makeString(s->text);
}

CFMutableStringRef CFStringCreateMutable(CFAllocatorRef, CFIndex) {
  return cf::makeMutableString(QString());
}

CFMutableStringRef CFStringCreateMutableCopy(CFAllocatorRef, CFIndex, CFStringRef theString) {
  const __CFString* s = cf::as<__CFString>(theString);
  return s ? cf::makeMutableString(s->text) : nullptr;
}

CFIndex CFStringGetLength(CFStringRef theString) { return cf::text(theString).size(); }

UniChar CFStringGetCharacterAtIndex(CFStringRef theString, CFIndex idx) {
  const QString& text = cf::text(theString);
  return idx >= 0 && idx < text.size() ? text[idx].unicode() : 0;
}

void CFStringGetCharacters(CFStringRef theString, CFRange range, UniChar* buffer) {
  if (!buffer) return;
  const QString& text = cf::text(theString);
  const CFRange r = clip(range, text.size());
  std::memcpy(buffer, text.utf16() + r.location, size_t(r.length) * sizeof(UniChar));
}

const UniChar* CFStringGetCharactersPtr(CFStringRef theString) {
  const __CFString* s = cf::as<__CFString>(theString);
  if (!s || s->isMutable) return nullptr;
  return reinterpret_cast<const UniChar*>(s->text.utf16());
}

Boolean CFStringGetCString(CFStringRef theString, char* buffer, CFIndex bufferSize,
                           CFStringEncoding encoding) {
  if (!buffer || bufferSize <= 0) return false;
  buffer[0] = '\0';
  const __CFString* s = cf::as<__CFString>(theString);
  QByteArray bytes;
  if (!s || !cf::encodeAll(s->text, encoding, &bytes) || bytes.size() >= bufferSize) return false;
  std::memcpy(buffer, bytes.constData(), size_t(bytes.size()));
  buffer[bytes.size()] = '\0';
  return true;
}

const char* CFStringGetCStringPtr(CFStringRef theString, CFStringEncoding encoding) {
  const __CFString* s = cf::as<__CFString>(theString);
  if (!s || s->isMutable) return nullptr;
  const bool asciiCompatible =
      encoding == kCFStringEncodingMacRoman || encoding == kCFStringEncodingISOLatin1 ||
      encoding == kCFStringEncodingWindowsLatin1 || encoding == kCFStringEncodingASCII;
  if (encoding != kCFStringEncodingUTF8 && !asciiCompatible) return nullptr;
  std::call_once(s->utf8Once, [s] {
    s->utf8Valid =
        !s->text.contains(QChar(0)) && cf::encodeAll(s->text, kCFStringEncodingUTF8, &s->utf8);
  });
  if (!s->utf8Valid) return nullptr;
  if (asciiCompatible && !isAsciiText(s->text)) return nullptr;
  return s->utf8.constData();
}

Boolean CFStringGetPascalString(CFStringRef theString, StringPtr buffer, CFIndex bufferSize,
                                CFStringEncoding encoding) {
  if (!buffer || bufferSize <= 0) return false;
  buffer[0] = 0;
  const __CFString* s = cf::as<__CFString>(theString);
  QByteArray bytes;
  if (!s || !cf::encodeAll(s->text, encoding, &bytes) || bytes.size() > 255 ||
      bytes.size() >= bufferSize)
    return false;
  buffer[0] = static_cast<unsigned char>(bytes.size());
  std::memcpy(buffer + 1, bytes.constData(), size_t(bytes.size()));
  return true;
}

CFIndex CFStringGetBytes(CFStringRef theString, CFRange range, CFStringEncoding encoding,
                         UInt8 lossByte, Boolean isExternalRepresentation, UInt8* buffer,
                         CFIndex maxBufLen, CFIndex* usedBufLen) {
  if (usedBufLen) *usedBufLen = 0;
  const QString& text = cf::text(theString);
  const CFRange r = clip(range, text.size());
  QByteArray bytes;
  const CFIndex converted =
      cf::encode(text.constData() + r.location, r.length, encoding, lossByte,
                 isExternalRepresentation, buffer ? std::max<CFIndex>(maxBufLen, 0) : -1, &bytes);
  if (buffer) std::memcpy(buffer, bytes.constData(), size_t(bytes.size()));
  if (usedBufLen) *usedBufLen = bytes.size();
  return converted;
}

SInt32 CFStringGetIntValue(CFStringRef str) {
  const QString& text = cf::text(str);
  qsizetype i = 0;
  while (i < text.size() && isTrimmedSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) negative = text[i++] == u'-';
  long long value = 0;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
    value = value * 10 + (text[i].unicode() - u'0');
    if (value > 1LL + INT_MAX) value = 1LL + INT_MAX;  // clamp, never overflow
  }
  if (negative) value = -value;
  return SInt32(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

double CFStringGetDoubleValue(CFStringRef str) {
  const QString& text = cf::text(str);
  qsizetype i = 0;
  while (i < text.size() && isTrimmedSpace(text[i])) ++i;
  const qsizetype start = i;
  auto digits = [&] {
    const qsizetype from = i;
    while (i < text.size() && text[i] >= u'0' && text[i] <= u'9') ++i;
    return i - from;
  };
  if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) ++i;
  qsizetype mantissa = digits();
  if (i < text.size() && text[i] == u'.') {
    ++i;
    mantissa += digits();
  }
  if (mantissa == 0) return 0.0;
  qsizetype end = i;
  if (i < text.size() && (text[i] == u'e' || text[i] == u'E')) {
    ++i;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) ++i;
    if (digits() > 0) end = i;
  }
  return QLocale::c().toDouble(QStringView(text).mid(start, end - start));
}

CFArrayRef CFStringCreateArrayBySeparatingStrings(CFAllocatorRef alloc, CFStringRef theString,
                                                  CFStringRef separatorString) {
  const __CFString* s = cf::as<__CFString>(theString);
  if (!s) return nullptr;
  const QString& separator = cf::text(separatorString);
  CFMutableArrayRef pieces = CFArrayCreateMutable(alloc, 0, &kCFTypeArrayCallBacks);
  if (separator.isEmpty()) {
    CFArrayAppendValue(pieces, s);
  } else {
    for (const QString& piece : s->text.split(separator, Qt::KeepEmptyParts)) {
      CFStringRef item = cf::makeString(piece);
      CFArrayAppendValue(pieces, item);
      CFRelease(item);
    }
  }
  CFArrayRef result = CFArrayCreateCopy(alloc, pieces);
  CFRelease(pieces);
  return result;
}

CFStringRef CFStringCreateByCombiningStrings(CFAllocatorRef, CFArrayRef theArray,
                                             CFStringRef separatorString) {
  if (!cf::as<__CFArray>(theArray)) return nullptr;
  QString result;
  const CFIndex count = CFArrayGetCount(theArray);
  for (CFIndex i = 0; i < count; ++i) {
    if (i > 0) result += cf::text(separatorString);
    result += cf::text(static_cast<CFStringRef>(CFArrayGetValueAtIndex(theArray, i)));
  }
  return cf::makeString(std::move(result));
}

void CFStringAppend(CFMutableStringRef theString, CFStringRef appendedString) {
  if (__CFString* s = mutableString(theString)) s->text += cf::text(appendedString);
}

void CFStringAppendCharacters(CFMutableStringRef theString, const UniChar* chars,
                              CFIndex numChars) {
  __CFString* s = mutableString(theString);
  if (s && chars && numChars > 0) s->text.append(reinterpret_cast<const QChar*>(chars), numChars);
}

void CFStringAppendCString(CFMutableStringRef theString, const char* cStr,
                           CFStringEncoding encoding) {
  __CFString* s = mutableString(theString);
  QString text;
  if (s && cStr && cf::decode(cStr, qsizetype(std::strlen(cStr)), encoding, false, &text))
    s->text += text;
}

void CFStringAppendPascalString(CFMutableStringRef theString, ConstStr255Param pStr,
                                CFStringEncoding encoding) {
  __CFString* s = mutableString(theString);
  QString text;
  if (s && pStr &&
      cf::decode(reinterpret_cast<const char*>(pStr + 1), pStr[0], encoding, false, &text))
    s->text += text;
}

void CFStringInsert(CFMutableStringRef str, CFIndex idx, CFStringRef insertedStr) {
  __CFString* s = mutableString(str);
  if (s && idx >= 0 && idx <= s->text.size()) s->text.insert(idx, cf::text(insertedStr));
}

void CFStringDelete(CFMutableStringRef theString, CFRange range) {
  if (__CFString* s = mutableString(theString)) {
    const CFRange r = clip(range, s->text.size());
    s->text.remove(r.location, r.length);
  }
}

void CFStringReplace(CFMutableStringRef theString, CFRange range, CFStringRef replacement) {
  if (__CFString* s = mutableString(theString)) {
    const CFRange r = clip(range, s->text.size());
    // Copy first: the replacement may be the string itself.
    const QString with = cf::text(replacement);
    s->text.replace(r.location, r.length, with);
  }
}

void CFStringReplaceAll(CFMutableStringRef theString, CFStringRef replacement) {
  if (__CFString* s = mutableString(theString)) s->text = QString(cf::text(replacement));
}

void CFStringTrimWhitespace(CFMutableStringRef theString) {
  __CFString* s = mutableString(theString);
  if (!s) return;
  qsizetype start = 0, end = s->text.size();
  while (start < end && isTrimmedSpace(s->text[start])) ++start;
  while (end > start && isTrimmedSpace(s->text[end - 1])) --end;
  if (start > 0 || end < s->text.size()) s->text = s->text.mid(start, end - start);
}

void CFStringTrim(CFMutableStringRef theString, CFStringRef trimString) {
  __CFString* s = mutableString(theString);
  const QString trim = cf::text(trimString);
  if (!s || trim.isEmpty()) return;
  qsizetype start = 0, end = s->text.size();
  while (end - start >= trim.size() && QStringView(s->text).mid(start, trim.size()) == trim)
    start += trim.size();
  while (end - start >= trim.size() &&
         QStringView(s->text).mid(end - trim.size(), trim.size()) == trim)
    end -= trim.size();
  if (start > 0 || end < s->text.size()) s->text = s->text.mid(start, end - start);
}
