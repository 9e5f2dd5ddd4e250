// SPDX-License-Identifier: GPL-3.0-or-later
#include <unicode/ucnv.h>

#include <cstring>

#include "tests/platform/cf/CFTestSupport.h"

namespace {

using CFStringTest = CFTest;

// What ICU, an independent converter, makes of one byte; -1 when it fails.
int icuByteToUnicode(const char* converterName, unsigned char byte) {
  UErrorCode status = U_ZERO_ERROR;
  UConverter* converter = ucnv_open(converterName, &status);
  if (U_FAILURE(status)) return -1;
  UChar out[4];
  const char in = char(byte);
  const int32_t n = ucnv_toUChars(converter, out, 4, &in, 1, &status);
  ucnv_close(converter);
  return U_SUCCESS(status) && n == 1 ? out[0] : -1;
}

TEST_F(CFStringTest, MacRomanMatchesAnIndependentTableAndRoundTrips) {
  char all[256];
  for (int b = 1; b < 256; ++b) all[b - 1] = char(b);
  all[255] = 0;
  Owned<CFStringRef> s(CFStringCreateWithCString(nullptr, all, kCFStringEncodingMacRoman));
  ASSERT_NE(s.get(), nullptr);
  ASSERT_EQ(CFStringGetLength(s), 255);
  for (int b = 1; b < 256; ++b)
    EXPECT_EQ(CFStringGetCharacterAtIndex(s, b - 1), icuByteToUnicode("macintosh", b)) << b;
  EXPECT_EQ(CFStringGetCharacterAtIndex(s, 0xDB - 1), 0x20AC);  // the euro sign

  char back[256];
  ASSERT_TRUE(CFStringGetCString(s, back, sizeof back, kCFStringEncodingMacRoman));
  EXPECT_EQ(std::memcmp(back, all, 256), 0);
  // A character Mac Roman lacks does not convert.
  EXPECT_FALSE(CFStringGetCString(str(QString::fromUtf8("\xC5\x81")), back, sizeof back,
                                  kCFStringEncodingMacRoman));  // L with stroke
}

TEST_F(CFStringTest, WindowsLatin1AndLatin1AndAscii) {
  for (int b = 0x80; b < 0xA0; ++b) {
    const char bytes[2] = {char(b), 0};
    Owned<CFStringRef> s(CFStringCreateWithCString(nullptr, bytes, kCFStringEncodingWindowsLatin1));
    const int expected = icuByteToUnicode("windows-1252", b);
    if (expected >= 0) {
      EXPECT_EQ(CFStringGetCharacterAtIndex(s, 0), expected) << b;
    }
  }
  Owned<CFStringRef> latin(
      CFStringCreateWithCString(nullptr, "caf\xE9", kCFStringEncodingISOLatin1));
  EXPECT_EQ(qs(latin), QString::fromUtf8("caf\xC3\xA9"));
  EXPECT_EQ(CFStringCreateWithCString(nullptr, "caf\xE9", kCFStringEncodingASCII), nullptr);
  char buffer[8];
  EXPECT_FALSE(CFStringGetCString(latin, buffer, sizeof buffer, kCFStringEncodingASCII));
}

TEST_F(CFStringTest, InvalidUtf8GivesNull) {
  for (const char* bad : {"\xC0\xAF", "\xED\xA0\x80", "\xE2\x82", "\xF4\x90\x80\x80", "a\xFF"})
    EXPECT_EQ(CFStringCreateWithCString(nullptr, bad, kCFStringEncodingUTF8), nullptr) << bad;
  Owned<CFStringRef> ok(
      CFStringCreateWithCString(nullptr, "\xF0\x9F\x98\x80", kCFStringEncodingUTF8));
  EXPECT_EQ(CFStringGetLength(ok), 2);  // one character outside the BMP: two UTF-16 units
}

TEST_F(CFStringTest, GetCStringNeverWritesPastTheBuffer) {
  auto s = str(QString::fromUtf8("abc\xC3\xA9"));  // 5 bytes in UTF-8
  char buffer[16];
  std::memset(buffer, 'X', sizeof buffer);
  EXPECT_FALSE(CFStringGetCString(s, buffer, 5, kCFStringEncodingUTF8));  // no room for NUL
  EXPECT_EQ(buffer[0], '\0');
  for (int i = 5; i < 16; ++i) EXPECT_EQ(buffer[i], 'X');
  ASSERT_TRUE(CFStringGetCString(s, buffer, 6, kCFStringEncodingUTF8));
  EXPECT_STREQ(buffer, "abc\xC3\xA9");
  EXPECT_EQ(buffer[6], 'X');
  EXPECT_FALSE(CFStringGetCString(s, buffer, 0, kCFStringEncodingUTF8));
  ASSERT_TRUE(CFStringGetCString(s, buffer, 5, kCFStringEncodingISOLatin1));
  EXPECT_STREQ(buffer, "abc\xE9");
}

TEST_F(CFStringTest, CStringPtrOnlyWhenItCanBeHandedOut) {
  auto ascii = str("plain"), accented = str(QString::fromUtf8("\xC3\xA9t\xC3\xA9"));
  ASSERT_NE(CFStringGetCStringPtr(ascii, kCFStringEncodingUTF8), nullptr);
  EXPECT_STREQ(CFStringGetCStringPtr(ascii, kCFStringEncodingMacRoman), "plain");
  EXPECT_STREQ(CFStringGetCStringPtr(accented, kCFStringEncodingUTF8), "\xC3\xA9t\xC3\xA9");
  EXPECT_EQ(CFStringGetCStringPtr(accented, kCFStringEncodingMacRoman), nullptr);
  Owned<CFMutableStringRef> m(CFStringCreateMutableCopy(nullptr, 0, ascii));
  EXPECT_EQ(CFStringGetCStringPtr(m, kCFStringEncodingUTF8), nullptr);
  EXPECT_EQ(CFStringGetCharactersPtr(m), nullptr);
  EXPECT_NE(CFStringGetCharactersPtr(ascii), nullptr);
}

TEST_F(CFStringTest, PascalStringsHoldAtMost255Bytes) {
  Str255 p;
  ASSERT_TRUE(CFStringGetPascalString(CFSTR("Choose"), p, sizeof p, kCFStringEncodingMacRoman));
  EXPECT_EQ(p[0], 6);
  EXPECT_EQ(std::memcmp(p + 1, "Choose", 6), 0);
  Owned<CFStringRef> back(CFStringCreateWithPascalString(nullptr, p, kCFStringEncodingMacRoman));
  EXPECT_EQ(qs(back), "Choose");
  EXPECT_FALSE(
      CFStringGetPascalString(str(QString(256, u'a')), p, sizeof p, kCFStringEncodingUTF8));
  EXPECT_TRUE(CFStringGetPascalString(str(QString(255, u'a')), p, sizeof p, kCFStringEncodingUTF8));
  EXPECT_FALSE(CFStringGetPascalString(CFSTR("Choose"), p, 6, kCFStringEncodingUTF8));
  // UTF-16 bytes in a Pascal string: two per unit.
  ASSERT_TRUE(CFStringGetPascalString(CFSTR("ab"), p, sizeof p, kCFStringEncodingUnicode));
  EXPECT_EQ(p[0], 4);
}

TEST_F(CFStringTest, GetBytesStopsAtTheBufferAndSubstitutesLossBytes) {
  auto s = str(QString::fromUtf8("a\xC3\xA9\xF0\x9F\x98\x80z"));  // a, e-acute, emoji (2 units), z
  UInt8 buffer[16];
  CFIndex used = 0;
  // Room for "a", the e-acute and only part of the emoji: the pair is not split.
  CFIndex n =
      CFStringGetBytes(s, CFRangeMake(0, 5), kCFStringEncodingUTF8, 0, false, buffer, 5, &used);
  EXPECT_EQ(n, 2);
  EXPECT_EQ(used, 3);
  n = CFStringGetBytes(s, CFRangeMake(0, 5), kCFStringEncodingUTF8, 0, false, nullptr, 0, &used);
  EXPECT_EQ(n, 5);
  EXPECT_EQ(used, 8);
  n = CFStringGetBytes(s, CFRangeMake(0, 5), kCFStringEncodingASCII, '?', false, buffer, 16, &used);
  EXPECT_EQ(n, 5);
  EXPECT_EQ(QByteArray(reinterpret_cast<char*>(buffer), used), "a??z");
  n = CFStringGetBytes(s, CFRangeMake(0, 5), kCFStringEncodingASCII, 0, false, buffer, 16, &used);
  EXPECT_EQ(n, 1);  // stops at the first character without a byte
}

TEST_F(CFStringTest, Utf16BytesAndByteOrderMarks) {
  const UInt8 little[] = {0xFF, 0xFE, 'h', 0, 'i', 0};
  Owned<CFStringRef> s(CFStringCreateWithBytes(nullptr, little, 6, kCFStringEncodingUTF16, true));
  EXPECT_EQ(qs(s), "hi");
  const UInt8 big[] = {0, 'h', 0, 'i'};
  Owned<CFStringRef> b(CFStringCreateWithBytes(nullptr, big, 4, kCFStringEncodingUTF16BE, false));
  EXPECT_EQ(qs(b), "hi");
  EXPECT_EQ(CFStringCreateWithBytes(nullptr, big, 3, kCFStringEncodingUTF16BE, false), nullptr);
  EXPECT_EQ(CFStringGetMaximumSizeForEncoding(10, kCFStringEncodingUTF8), 30);
  EXPECT_EQ(CFStringGetMaximumSizeForEncoding(10, kCFStringEncodingUTF16LE), 20);
  EXPECT_EQ(CFStringGetMaximumSizeForEncoding(10, kCFStringEncodingMacRoman), 10);
}

TEST_F(CFStringTest, CharactersAndRanges) {
  const UniChar chars[] = {'w', 'o', 'r', 'd'};
  Owned<CFStringRef> s(CFStringCreateWithCharacters(nullptr, chars, 4));
  UniChar out[4] = {0, 0, 0, 0};
  CFStringGetCharacters(s, CFRangeMake(1, 2), out);
  EXPECT_EQ(out[0], 'o');
  EXPECT_EQ(out[1], 'r');
  EXPECT_EQ(out[2], 0);
  EXPECT_EQ(CFStringGetCharacterAtIndex(s, 4), 0);
  Owned<CFStringRef> sub(CFStringCreateWithSubstring(nullptr, s, CFRangeMake(2, 10)));
  EXPECT_EQ(qs(sub), "rd");  // a range past the end is clipped
}

TEST_F(CFStringTest, TrimWhitespaceTakesBlanksAndLineBreaksAtBothEndsOnly) {
  Owned<CFMutableStringRef> m(CFStringCreateMutableCopy(
      nullptr, 0, str(QString::fromUtf8(" \t\r\n\xC2\xA0two  words\xE2\x80\xA8\n\x0B "))));
  CFStringTrimWhitespace(m);
  EXPECT_EQ(qs(m), "two  words");
  Owned<CFMutableStringRef> blank(CFStringCreateMutableCopy(nullptr, 0, CFSTR(" \n\t ")));
  CFStringTrimWhitespace(blank);
  EXPECT_EQ(CFStringGetLength(blank), 0);
  Owned<CFMutableStringRef> t(CFStringCreateMutableCopy(nullptr, 0, CFSTR("xxaxbxx")));
  CFStringTrim(t, CFSTR("x"));
  EXPECT_EQ(qs(t), "axb");
}

TEST_F(CFStringTest, EditingAMutableStringAndNotAnImmutableOne) {
  Owned<CFMutableStringRef> m(CFStringCreateMutable(nullptr, 0));
  CFStringAppend(m, CFSTR("one"));
  CFStringAppendCString(m, " tw\xC3\xB6", kCFStringEncodingUTF8);
  const UniChar bang = '!';
  CFStringAppendCharacters(m, &bang, 1);
  EXPECT_EQ(qs(m), QString::fromUtf8("one tw\xC3\xB6!"));
  CFStringInsert(m, 0, CFSTR(">"));
  CFStringDelete(m, CFRangeMake(1, 4));
  CFStringReplace(m, CFRangeMake(0, 1), CFSTR("<<"));
  EXPECT_EQ(qs(m), QString::fromUtf8("<<tw\xC3\xB6!"));
  CFStringAppend(m, m);  // appending a string to itself
  EXPECT_EQ(CFStringGetLength(m), 12);
  CFStringReplaceAll(m, CFSTR("x.y.x"));
  EXPECT_EQ(CFStringFindAndReplace(m, CFSTR("x"), CFSTR("zz"), CFRangeMake(0, 5), 0), 2);
  EXPECT_EQ(qs(m), "zz.y.zz");

  auto immutable = str("fixed");
  CFStringAppend(const_cast<CFMutableStringRef>(immutable.get()), CFSTR("!"));
  EXPECT_EQ(qs(immutable), "fixed");
}

TEST_F(CFStringTest, SeparatingAndCombining) {
  Owned<CFArrayRef> parts(
      CFStringCreateArrayBySeparatingStrings(nullptr, CFSTR("a, b,, c"), CFSTR(",")));
  ASSERT_EQ(CFArrayGetCount(parts), 4);
  EXPECT_EQ(qs(static_cast<CFStringRef>(CFArrayGetValueAtIndex(parts, 2))), "");
  Owned<CFStringRef> joined(CFStringCreateByCombiningStrings(nullptr, parts, CFSTR(";")));
  EXPECT_EQ(qs(joined), "a; b;; c");
  Owned<CFArrayRef> whole(
      CFStringCreateArrayBySeparatingStrings(nullptr, CFSTR("abc"), CFSTR("-")));
  ASSERT_EQ(CFArrayGetCount(whole), 1);
  EXPECT_EQ(qs(static_cast<CFStringRef>(CFArrayGetValueAtIndex(whole, 0))), "abc");
}

TEST_F(CFStringTest, NumericValues) {
  EXPECT_EQ(CFStringGetIntValue(CFSTR("  -42abc")), -42);
  EXPECT_EQ(CFStringGetIntValue(CFSTR("x1")), 0);
  EXPECT_EQ(CFStringGetIntValue(CFSTR("99999999999")), 2147483647);
  EXPECT_DOUBLE_EQ(CFStringGetDoubleValue(CFSTR(" 2.5e3 apples")), 2500.0);
  EXPECT_DOUBLE_EQ(CFStringGetDoubleValue(CFSTR(".5")), 0.5);
  EXPECT_DOUBLE_EQ(CFStringGetDoubleValue(CFSTR("e5")), 0.0);
}

}  // namespace
