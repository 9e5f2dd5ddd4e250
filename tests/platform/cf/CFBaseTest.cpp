// SPDX-License-Identifier: GPL-3.0-or-later
#include <thread>
#include <vector>

#include "tests/platform/cf/CFTestSupport.h"

namespace {

using CFBaseTest = CFTest;

TEST_F(CFBaseTest, RetainAndReleaseCountAndFreeOnLastRelease) {
  const CFIndex before = cf::liveObjectCount();
  CFStringRef s = CFStringCreateWithCString(nullptr, "word", kCFStringEncodingUTF8);
  EXPECT_EQ(cf::liveObjectCount(), before + 1);
  EXPECT_EQ(CFGetRetainCount(s), 1);
  EXPECT_EQ(CFRetain(s), s);
  EXPECT_EQ(CFGetRetainCount(s), 2);
  CFRelease(s);
  EXPECT_EQ(CFGetRetainCount(s), 1);
  EXPECT_EQ(cf::liveObjectCount(), before + 1);
  CFRelease(s);
  EXPECT_EQ(cf::liveObjectCount(), before);
}

TEST_F(CFBaseTest, NullReferencesAreQuiet) {
  CFRelease(nullptr);
  EXPECT_EQ(CFRetain(nullptr), nullptr);
  EXPECT_EQ(CFGetRetainCount(nullptr), 0);
  EXPECT_EQ(CFGetTypeID(nullptr), 0u);
  EXPECT_EQ(CFCopyDescription(nullptr), nullptr);
  EXPECT_TRUE(CFEqual(nullptr, nullptr));
  EXPECT_FALSE(CFEqual(CFSTR("a"), nullptr));
  EXPECT_EQ(CFStringGetLength(nullptr), 0);
}

TEST_F(CFBaseTest, ConstantsAreNeverFreed) {
  CFStringRef literal = CFSTR("constant");
  EXPECT_EQ(literal, CFSTR("constant"));  // equal literals are one object
  const CFIndex count = CFGetRetainCount(literal);
  for (int i = 0; i < 10; ++i) CFRelease(literal);
  CFRelease(kCFBooleanTrue);
  CFRelease(kCFNull);
  EXPECT_EQ(CFGetRetainCount(literal), count);
  EXPECT_EQ(qs(literal), "constant");
  EXPECT_TRUE(CFBooleanGetValue(kCFBooleanTrue));
  EXPECT_EQ(CFGetTypeID(kCFNull), CFNullGetTypeID());
  EXPECT_EQ(qs(CFSTR("caf\xC3\xA9")), QString::fromUtf8("caf\xC3\xA9"));  // literals are UTF-8
}

TEST_F(CFBaseTest, ReferenceIsTheObjectAddress) {
  // The runtime relies on the object's base sitting at its own address.
  Owned<CFStringRef> s(CFStringCreateWithCString(nullptr, "x", kCFStringEncodingASCII));
  Owned<CFArrayRef> a(CFArrayCreate(nullptr, nullptr, 0, &kCFTypeArrayCallBacks));
  Owned<CFMutableDictionaryRef> d(CFDictionaryCreateMutable(nullptr, 0, nullptr, nullptr));
  const int n = 5;
  Owned<CFNumberRef> num(CFNumberCreate(nullptr, kCFNumberIntType, &n));
  Owned<CFDataRef> data(CFDataCreate(nullptr, nullptr, 0));
  Owned<CFDateRef> date(CFDateCreate(nullptr, 0));
  const std::pair<CFTypeRef, CFTypeID> objects[] = {
      {s.get(), CFStringGetTypeID()}, {a.get(), CFArrayGetTypeID()},
      {d.get(), CFDictionaryGetTypeID()}, {num.get(), CFNumberGetTypeID()},
      {data.get(), CFDataGetTypeID()}, {date.get(), CFDateGetTypeID()}};
  for (const auto& [ref, type] : objects) {
    EXPECT_EQ(static_cast<const void*>(cf::object(ref)), ref);
    EXPECT_EQ(CFGetTypeID(ref), type);
  }
}

TEST_F(CFBaseTest, EqualityAndHashFollowValuesNotIdentity) {
  auto a = str("same"), b = str("same"), c = str("other");
  Owned<CFMutableStringRef> m(CFStringCreateMutableCopy(nullptr, 0, a));
  EXPECT_NE(a.get(), b.get());
  EXPECT_TRUE(CFEqual(a, b));
  EXPECT_TRUE(CFEqual(a, m));  // mutable and immutable strings are one type
  EXPECT_EQ(CFHash(a), CFHash(b));
  EXPECT_FALSE(CFEqual(a, c));

  const int i = 3;
  const double d = 3.0, e = 3.5;
  Owned<CFNumberRef> ni(CFNumberCreate(nullptr, kCFNumberIntType, &i));
  Owned<CFNumberRef> nd(CFNumberCreate(nullptr, kCFNumberDoubleType, &d));
  Owned<CFNumberRef> ne(CFNumberCreate(nullptr, kCFNumberDoubleType, &e));
  EXPECT_TRUE(CFEqual(ni, nd));
  EXPECT_EQ(CFHash(ni), CFHash(nd));
  EXPECT_FALSE(CFEqual(ni, ne));
  EXPECT_FALSE(CFEqual(a, ni));  // different types never compare equal
}

TEST_F(CFBaseTest, DescriptionsNameTheTypeAndContents) {
  auto s = str("hello");
  Owned<CFStringRef> d(CFCopyDescription(s));
  EXPECT_TRUE(qs(d).startsWith("<CFString 0x")) << qs(d).toStdString();
  EXPECT_TRUE(qs(d).contains("\"hello\""));
  Owned<CFStringRef> t(CFCopyTypeIDDescription(CFArrayGetTypeID()));
  EXPECT_EQ(qs(t), "Array");
  EXPECT_EQ(CFCopyTypeIDDescription(9999), nullptr);
}

TEST_F(CFBaseTest, ConcurrentRetainReleaseKeepsTheCount) {
  CFStringRef s = CFStringCreateWithCString(nullptr, "shared", kCFStringEncodingUTF8);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([s] {
      for (int i = 0; i < 20000; ++i) {
        CFRetain(s);
        CFRelease(s);
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(CFGetRetainCount(s), 1);
  CFRelease(s);
}

TEST_F(CFBaseTest, CreateAndCopyOwnGetBorrows) {
  auto s = str("text");
  // An immutable string is its own copy: the copy is the same object, retained once more.
  CFStringRef copy = CFStringCreateCopy(nullptr, s);
  EXPECT_EQ(copy, s.get());
  EXPECT_EQ(CFGetRetainCount(s), 2);
  CFRelease(copy);
  // A copy of a mutable string is a new object that does not follow later changes.
  Owned<CFMutableStringRef> m(CFStringCreateMutableCopy(nullptr, 0, s));
  Owned<CFStringRef> snapshot(CFStringCreateCopy(nullptr, m));
  EXPECT_NE(snapshot.get(), static_cast<CFStringRef>(m.get()));
  CFStringAppend(m, CFSTR("!"));
  EXPECT_EQ(qs(snapshot), "text");

  // Get functions hand out the container's reference without retaining it.
  const void* values[] = {s.get()};
  Owned<CFArrayRef> array(CFArrayCreate(nullptr, values, 1, &kCFTypeArrayCallBacks));
  EXPECT_EQ(CFGetRetainCount(s), 2);  // the array's reference
  EXPECT_EQ(CFArrayGetValueAtIndex(array, 0), s.get());
  EXPECT_EQ(CFGetRetainCount(s), 2);
}

}  // namespace
