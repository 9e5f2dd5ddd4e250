// SPDX-License-Identifier: GPL-3.0-or-later
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "tests/platform/cf/CFTestSupport.h"

namespace {

using CFCollectionsTest = CFTest;

QStringList strings(CFArrayRef array) {
  QStringList list;
  for (CFIndex i = 0; i < CFArrayGetCount(array); ++i)
    list << qs(static_cast<CFStringRef>(CFArrayGetValueAtIndex(array, i)));
  return list;
}

Owned<CFMutableArrayRef> arrayOf(const QStringList& items) {
  Owned<CFMutableArrayRef> array(CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks));
  for (const QString& item : items) CFArrayAppendValue(array, str(item));
  return array;
}

struct SortContext {
  CFOptionFlags options;
  int calls = 0;
};

CFComparisonResult compareWithContext(const void* a, const void* b, void* context) {
  auto* c = static_cast<SortContext*>(context);
  ++c->calls;
  return CFStringCompare(static_cast<CFStringRef>(a), static_cast<CFStringRef>(b), c->options);
}

TEST_F(CFCollectionsTest, ArrayRetainsWhatItHoldsAndReleasesWhatItDrops) {
  auto a = str("a"), b = str("b");
  Owned<CFMutableArrayRef> array(CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks));
  CFArrayAppendValue(array, a);
  CFArrayAppendValue(array, a);
  CFArrayInsertValueAtIndex(array, 1, b);
  EXPECT_EQ(strings(array), QStringList({"a", "b", "a"}));
  EXPECT_EQ(CFGetRetainCount(a), 3);
  CFArraySetValueAtIndex(array, 0, b);
  EXPECT_EQ(CFGetRetainCount(a), 2);
  EXPECT_EQ(CFGetRetainCount(b), 3);
  CFArrayRemoveValueAtIndex(array, 1);
  EXPECT_EQ(CFGetRetainCount(b), 2);
  {
    Owned<CFArrayRef> copy(CFArrayCreateCopy(nullptr, array));
    EXPECT_EQ(CFGetRetainCount(a), 3);
    EXPECT_TRUE(CFEqual(copy, array));
  }
  CFArrayRemoveAllValues(array);
  EXPECT_EQ(CFGetRetainCount(a), 1);
  EXPECT_EQ(CFGetRetainCount(b), 1);
}

TEST_F(CFCollectionsTest, ArrayOutOfRangeIndexesAreIgnored) {
  auto array = arrayOf({"x", "y"});
  EXPECT_EQ(CFArrayGetValueAtIndex(array, 2), nullptr);
  EXPECT_EQ(CFArrayGetValueAtIndex(array, -1), nullptr);
  CFArrayRemoveValueAtIndex(array, 5);
  CFArrayInsertValueAtIndex(array, 3, CFSTR("z"));
  CFArrayExchangeValuesAtIndices(array, 0, 9);
  EXPECT_EQ(strings(array), QStringList({"x", "y"}));
  CFArrayInsertValueAtIndex(array, 2, CFSTR("z"));  // at the end is allowed
  EXPECT_EQ(strings(array), QStringList({"x", "y", "z"}));
}

TEST_F(CFCollectionsTest, ArraySearchUsesEquality) {
  auto array = arrayOf({"cat", "dog", "cat"});
  auto probe = str("cat");  // equal, not the same object
  const CFRange all = CFRangeMake(0, CFArrayGetCount(array));
  EXPECT_TRUE(CFArrayContainsValue(array, all, probe));
  EXPECT_EQ(CFArrayGetFirstIndexOfValue(array, all, probe), 0);
  EXPECT_EQ(CFArrayGetLastIndexOfValue(array, all, probe), 2);
  EXPECT_EQ(CFArrayGetCountOfValue(array, all, probe), 2);
  EXPECT_EQ(CFArrayGetFirstIndexOfValue(array, CFRangeMake(1, 1), probe), kCFNotFound);
  EXPECT_FALSE(CFArrayContainsValue(array, all, CFSTR("Cat")));
}

TEST_F(CFCollectionsTest, ArrayWithNullCallBacksHoldsRawPointers) {
  int x = 1, y = 2;
  Owned<CFMutableArrayRef> array(CFArrayCreateMutable(nullptr, 0, nullptr));
  CFArrayAppendValue(array, &x);
  CFArrayAppendValue(array, &y);
  EXPECT_EQ(CFArrayGetValueAtIndex(array, 1), &y);
  EXPECT_EQ(CFArrayGetFirstIndexOfValue(array, CFRangeMake(0, 2), &y), 1);
  Owned<CFMutableArrayRef> copy(CFArrayCreateMutableCopy(nullptr, 0, array));
  EXPECT_EQ(CFArrayGetValueAtIndex(copy, 0), &x);
}

TEST_F(CFCollectionsTest, SortValuesWithComparatorAndContext) {
  auto array = arrayOf({"pear", "Apple", "banana", "apple", "Cherry"});
  SortContext literal{0};
  CFArraySortValues(array, CFRangeMake(0, 5), compareWithContext, &literal);
  EXPECT_EQ(strings(array), QStringList({"Apple", "Cherry", "apple", "banana", "pear"}));
  EXPECT_GT(literal.calls, 0);
  SortContext folded{kCFCompareCaseInsensitive};
  CFArraySortValues(array, CFRangeMake(0, 5), compareWithContext, &folded);
  // Stable: "Apple" stays before "apple", which compare equal.
  EXPECT_EQ(strings(array), QStringList({"Apple", "apple", "banana", "Cherry", "pear"}));
  // Only the range moves.
  auto part = arrayOf({"d", "c", "b", "a"});
  CFArraySortValues(part, CFRangeMake(1, 2), compareWithContext, &literal);
  EXPECT_EQ(strings(part), QStringList({"d", "b", "c", "a"}));
}

CFComparisonResult coinFlip(const void*, const void*, void* context) {
  return (*static_cast<std::mt19937*>(context))() % 2 ? kCFCompareLessThan : kCFCompareGreaterThan;
}

TEST_F(CFCollectionsTest, SortWithAnInconsistentComparatorKeepsEveryValue) {
  QStringList items;
  for (int i = 0; i < 200; ++i) items << QString::number(i);
  auto array = arrayOf(items);
  std::mt19937 random(7);
  CFArraySortValues(array, CFRangeMake(0, 200), coinFlip, &random);
  QStringList sorted = strings(array);
  sorted.sort();
  items.sort();
  EXPECT_EQ(sorted, items);
}

TEST_F(CFCollectionsTest, DictionaryKeysByValueAndOwnership) {
  Owned<CFMutableDictionaryRef> dict(CFDictionaryCreateMutable(
      nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
  auto key = str("name"), value = str("Vocabulon"), other = str("Lexicon");
  CFDictionarySetValue(dict, key, value);
  EXPECT_EQ(CFGetRetainCount(key), 2);
  EXPECT_EQ(CFGetRetainCount(value), 2);
  // An equal key finds the entry; the value is borrowed, not retained.
  EXPECT_EQ(CFDictionaryGetValue(dict, CFSTR("name")), value.get());
  EXPECT_EQ(CFGetRetainCount(value), 2);
  const void* found = nullptr;
  EXPECT_TRUE(CFDictionaryGetValueIfPresent(dict, CFSTR("name"), &found));
  EXPECT_FALSE(CFDictionaryGetValueIfPresent(dict, CFSTR("missing"), &found));
  EXPECT_EQ(CFDictionaryGetValue(dict, CFSTR("missing")), nullptr);

  CFDictionaryAddValue(dict, CFSTR("name"), other);  // present: not replaced
  EXPECT_EQ(CFDictionaryGetValue(dict, CFSTR("name")), value.get());
  CFDictionarySetValue(dict, CFSTR("name"), other);
  EXPECT_EQ(CFGetRetainCount(value), 1);
  EXPECT_EQ(CFGetRetainCount(key), 2);  // the first key stays
  CFDictionaryReplaceValue(dict, CFSTR("absent"), value);
  EXPECT_FALSE(CFDictionaryContainsKey(dict, CFSTR("absent")));
  EXPECT_TRUE(CFDictionaryContainsValue(dict, CFSTR("Lexicon")));

  CFDictionarySetValue(dict, CFSTR("other"), value);
  ASSERT_EQ(CFDictionaryGetCount(dict), 2);
  const void* keys[2];
  const void* values[2];
  CFDictionaryGetKeysAndValues(dict, keys, values);
  for (int i = 0; i < 2; ++i) EXPECT_EQ(CFDictionaryGetValue(dict, keys[i]), values[i]);

  Owned<CFDictionaryRef> copy(CFDictionaryCreateCopy(nullptr, dict));
  EXPECT_TRUE(CFEqual(copy, dict));
  CFDictionaryRemoveValue(dict, CFSTR("name"));
  EXPECT_EQ(CFGetRetainCount(key), 2);  // still held by the copy
  EXPECT_FALSE(CFEqual(copy, dict));
  CFDictionaryRemoveAllValues(dict);
  EXPECT_EQ(CFDictionaryGetCount(dict), 0);
}

TEST_F(CFCollectionsTest, CopyStringKeysDoNotFollowAMutableKey) {
  Owned<CFMutableDictionaryRef> dict(CFDictionaryCreateMutable(
      nullptr, 0, &kCFCopyStringDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
  Owned<CFMutableStringRef> key(CFStringCreateMutableCopy(nullptr, 0, CFSTR("k")));
  CFDictionarySetValue(dict, key, kCFBooleanTrue);
  CFStringAppend(key, CFSTR("2"));
  EXPECT_TRUE(CFDictionaryContainsKey(dict, CFSTR("k")));
  EXPECT_FALSE(CFDictionaryContainsKey(dict, CFSTR("k2")));
}

TEST_F(CFCollectionsTest, NumbersConvertAndReportLoss) {
  const SInt64 big = (SInt64(1) << 40) + 1;
  Owned<CFNumberRef> n(CFNumberCreate(nullptr, kCFNumberSInt64Type, &big));
  EXPECT_EQ(CFNumberGetType(n), kCFNumberSInt64Type);
  SInt32 small = 0;
  EXPECT_FALSE(CFNumberGetValue(n, kCFNumberSInt32Type, &small));
  EXPECT_EQ(small, std::numeric_limits<SInt32>::max());
  SInt64 back = 0;
  EXPECT_TRUE(CFNumberGetValue(n, kCFNumberSInt64Type, &back));
  EXPECT_EQ(back, big);
  CFIndex index = 0;
  EXPECT_TRUE(CFNumberGetValue(n, kCFNumberCFIndexType, &index));
  EXPECT_EQ(index, big);

  const double d = -2.75;
  Owned<CFNumberRef> real(CFNumberCreate(nullptr, kCFNumberDoubleType, &d));
  EXPECT_TRUE(CFNumberIsFloatType(real));
  EXPECT_FALSE(CFNumberGetValue(real, kCFNumberSInt32Type, &small));
  EXPECT_EQ(small, -2);
  float f = 0;
  EXPECT_TRUE(CFNumberGetValue(real, kCFNumberFloat32Type, &f));
  EXPECT_EQ(f, -2.75f);
  const SInt32 three = 3;
  Owned<CFNumberRef> n3(CFNumberCreate(nullptr, kCFNumberSInt32Type, &three));
  EXPECT_EQ(CFNumberCompare(real, n3, nullptr), kCFCompareLessThan);
  EXPECT_EQ(CFNumberCompare(n, n3, nullptr), kCFCompareGreaterThan);
  EXPECT_EQ(CFNumberCreate(nullptr, 99, &three), nullptr);
  const double nan = std::nan("");
  Owned<CFNumberRef> notANumber(CFNumberCreate(nullptr, kCFNumberDoubleType, &nan));
  EXPECT_FALSE(CFNumberGetValue(notANumber, kCFNumberSInt32Type, &small));
}

TEST_F(CFCollectionsTest, DataAndDates) {
  const UInt8 bytes[] = {1, 2, 3, 4};
  Owned<CFDataRef> data(CFDataCreate(nullptr, bytes, 4));
  EXPECT_EQ(CFDataGetLength(data), 4);
  EXPECT_EQ(CFDataGetBytePtr(data)[3], 4);
  Owned<CFMutableDataRef> m(CFDataCreateMutableCopy(nullptr, 0, data));
  CFDataAppendBytes(m, bytes, 2);
  CFDataDeleteBytes(m, CFRangeMake(0, 1));
  CFDataSetLength(m, 7);
  UInt8 out[7];
  CFDataGetBytes(m, CFRangeMake(0, 7), out);
  const UInt8 expected[] = {2, 3, 4, 1, 2, 0, 0};
  EXPECT_EQ(std::memcmp(out, expected, 7), 0);
  EXPECT_EQ(CFDataGetMutableBytePtr(const_cast<CFMutableDataRef>(data.get())), nullptr);

  Owned<CFDateRef> epoch(CFDateCreate(nullptr, -kCFAbsoluteTimeIntervalSince1970));
  Owned<CFDateRef> now(CFDateCreate(nullptr, CFAbsoluteTimeGetCurrent()));
  EXPECT_EQ(CFDateCompare(epoch, now, nullptr), kCFCompareLessThan);
  EXPECT_EQ(CFDateToQDateTime(epoch), QDateTime::fromMSecsSinceEpoch(0, Qt::UTC));
  // The clock agrees with Qt's to within a generous margin.
  const double qtNow =
      QDateTime::currentMSecsSinceEpoch() / 1000.0 - kCFAbsoluteTimeIntervalSince1970;
  EXPECT_NEAR(CFDateGetAbsoluteTime(now), qtNow, 60.0);
}

}  // namespace
