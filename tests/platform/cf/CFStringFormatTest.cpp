// SPDX-License-Identifier: GPL-3.0-or-later
#include <climits>
#include <cstdint>

#include "tests/platform/cf/CFTestSupport.h"

namespace {

using CFStringFormatTest = CFTest;

template <class... Args>
QString format(CFStringRef f, Args... args) {
  Owned<CFStringRef> s(CFStringCreateWithFormat(nullptr, nullptr, f, args...));
  return qs(s);
}

TEST_F(CFStringFormatTest, ObjectsPrintTheirFormattingDescription) {
  auto word = str(QString::fromUtf8("caf\xC3\xA9"));
  EXPECT_EQ(format(CFSTR("Looking up word: %@"), word.get()),
            QString::fromUtf8("Looking up word: caf\xC3\xA9"));
  const int n = 42;
  Owned<CFNumberRef> number(CFNumberCreate(nullptr, kCFNumberIntType, &n));
  const double d = 0.1;
  Owned<CFNumberRef> real(CFNumberCreate(nullptr, kCFNumberDoubleType, &d));
  EXPECT_EQ(format(CFSTR("%@/%@/%@"), number.get(), real.get(), static_cast<CFTypeRef>(nullptr)),
            "42/0.1/(null)");
  const void* items[] = {CFSTR("one"), CFSTR("two words")};
  Owned<CFArrayRef> array(CFArrayCreate(nullptr, items, 2, &kCFTypeArrayCallBacks));
  EXPECT_EQ(format(CFSTR("%@"), array.get()), "(\n    one,\n    \"two words\"\n)");
}

TEST_F(CFStringFormatTest, PrintfConversions) {
  EXPECT_EQ(format(CFSTR("%d|%5d|%-5d|%05d"), -7, 42, 42, 42), "-7|   42|42   |00042");
  EXPECT_EQ(format(CFSTR("%ld %lld %zu"), LONG_MIN, 1LL << 40, size_t(7)),
            QString::number(LONG_MIN) + " 1099511627776 7");
  EXPECT_EQ(format(CFSTR("%u %x %X %#o"), 4000000000u, 255u, 255u, 8u), "4000000000 ff FF 010");
  EXPECT_EQ(format(CFSTR("%u"), -1), "4294967295");  // an int's own bits, not 64 of them
  EXPECT_EQ(format(CFSTR("%hhd %hd"), 300, 70000), "44 4464");
  EXPECT_EQ(format(CFSTR("%.2f %e %g"), 3.14159, 1500.0, 0.0001), "3.14 1.500000e+03 0.0001");
  EXPECT_EQ(format(CFSTR("%s|%.3s|%8s"), "text", "abcdef", "right"), "text|abc|   right");
  EXPECT_EQ(format(CFSTR("%s"), "\xC3\xA9t\xC3\xA9"), QString::fromUtf8("\xC3\xA9t\xC3\xA9"));
  EXPECT_EQ(format(CFSTR("%c%C"), 'A', 0x263A), QString::fromUtf8("A\xE2\x98\xBA"));
  EXPECT_EQ(format(CFSTR("100%% of %*d"), 4, 7), "100% of    7");
  const UniChar wide[] = {'h', 'i', 0};
  EXPECT_EQ(format(CFSTR("%S"), wide), "hi");
  EXPECT_EQ(format(CFSTR("%s"), static_cast<const char*>(nullptr)), "(null)");
}

TEST_F(CFStringFormatTest, PositionalArgumentsMayComeInAnyOrder) {
  EXPECT_EQ(format(CFSTR("%2$@ %1$@"), CFSTR("world"), CFSTR("hello")), "hello world");
  // Mixed types read in argument order, not in the order they appear.
  EXPECT_EQ(format(CFSTR("%3$s %1$d %2$.1f"), 5, 2.5, "x"), "x 5 2.5");
}

TEST_F(CFStringFormatTest, UnknownConversionsAreKeptAsText) {
  EXPECT_EQ(format(CFSTR("50%k done %d"), 3), "50%k done 3");
  EXPECT_EQ(format(CFSTR("trailing %")), "trailing %");
}

TEST_F(CFStringFormatTest, AppendFormatAddsToAMutableString) {
  Owned<CFMutableStringRef> m(CFStringCreateMutableCopy(nullptr, 0, CFSTR("Words: ")));
  CFStringAppendFormat(m, nullptr, CFSTR("%d of %@"), 3, CFSTR("five"));
  EXPECT_EQ(qs(m), "Words: 3 of five");
}

}  // namespace
