// SPDX-License-Identifier: GPL-3.0-or-later
#include <QPoint>
#include <QTemporaryDir>

#include "platform/cf/PropertyList.h"
#include "tests/platform/cf/CFTestSupport.h"

namespace {

using CFQtTest = CFTest;

QVariantMap sample() {
  return QVariantMap{
      {"name", QString::fromUtf8("Vocabulon \xE2\x80\x94 caf\xC3\xA9")},
      {"count", qlonglong(1) << 40},
      {"ratio", 0.25},
      {"enabled", true},
      {"off", false},
      {"when", QDateTime(QDate(2024, 2, 29), QTime(12, 30, 15), Qt::UTC)},
      {"blob", QByteArray("\x00\x01\xFF", 3)},
      {"list",
       QVariantList{QString("a"), qlonglong(2), QVariantList{}, QVariantMap{{"deep", true}}}},
      {"empty", QVariantMap{}},
  };
}

TEST_F(CFQtTest, PropertyListRoundTripKeepsEveryValue) {
  const QVariantMap original = sample();
  Owned<CFPropertyListRef> plist(CFPropertyListCreateFromQVariant(original));
  ASSERT_EQ(CFGetTypeID(plist), CFDictionaryGetTypeID());
  auto dict = static_cast<CFDictionaryRef>(plist.get());
  EXPECT_EQ(CFDictionaryGetCount(dict), original.size());
  EXPECT_EQ(CFGetTypeID(CFDictionaryGetValue(dict, CFSTR("count"))), CFNumberGetTypeID());
  EXPECT_FALSE(
      CFNumberIsFloatType(static_cast<CFNumberRef>(CFDictionaryGetValue(dict, CFSTR("count")))));
  EXPECT_TRUE(
      CFNumberIsFloatType(static_cast<CFNumberRef>(CFDictionaryGetValue(dict, CFSTR("ratio")))));
  EXPECT_EQ(CFDictionaryGetValue(dict, CFSTR("enabled")), kCFBooleanTrue);
  EXPECT_EQ(CFGetTypeID(CFDictionaryGetValue(dict, CFSTR("when"))), CFDateGetTypeID());
  EXPECT_EQ(CFDataGetLength(static_cast<CFDataRef>(CFDictionaryGetValue(dict, CFSTR("blob")))), 3);
  EXPECT_EQ(CFPropertyListToQVariant(plist), QVariant(original));
}

TEST_F(CFQtTest, PlistFileEditedThroughCFObjects) {
  QTemporaryDir dir;
  const QString path = dir.path() + "/prefs.plist";
  ASSERT_TRUE(plist::writeFile(path, sample()));
  const std::optional<QVariant> read = plist::readFile(path);
  ASSERT_TRUE(read.has_value());
  Owned<CFPropertyListRef> plist(CFPropertyListCreateFromQVariant(*read));
  Owned<CFMutableDictionaryRef> edited(
      CFDictionaryCreateMutableCopy(nullptr, 0, static_cast<CFDictionaryRef>(plist.get())));
  CFDictionarySetValue(edited, CFSTR("recent"), CFSTR("cat dog"));
  CFDictionaryRemoveValue(edited, CFSTR("blob"));
  ASSERT_TRUE(plist::writeFile(path, CFPropertyListToQVariant(edited)));

  QVariantMap expected = sample();
  expected.insert("recent", "cat dog");
  expected.remove("blob");
  EXPECT_EQ(plist::readFile(path).value_or(QVariant()), QVariant(expected));
}

TEST_F(CFQtTest, ValuesThatAreNotPropertyListsAreLeftOut) {
  EXPECT_EQ(CFPropertyListCreateFromQVariant(QVariant()), nullptr);
  EXPECT_EQ(CFPropertyListCreateFromQVariant(QPoint(1, 2)), nullptr);
  Owned<CFPropertyListRef> list(CFPropertyListCreateFromQVariant(QVariantList{1, QPoint(), "x"}));
  EXPECT_EQ(CFArrayGetCount(static_cast<CFArrayRef>(list.get())), 2);
  Owned<CFPropertyListRef> strings(CFPropertyListCreateFromQVariant(QStringList{"a", "b"}));
  EXPECT_EQ(CFPropertyListToQVariant(strings), QVariant(QVariantList{"a", "b"}));
  const qulonglong huge = ~0ULL;
  Owned<CFPropertyListRef> big(CFPropertyListCreateFromQVariant(huge));
  EXPECT_TRUE(CFNumberIsFloatType(static_cast<CFNumberRef>(big.get())));

  // Keys that are not strings are dropped; a collection that holds itself does not recurse forever.
  Owned<CFMutableDictionaryRef> dict(CFDictionaryCreateMutable(
      nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
  const int one = 1;
  Owned<CFNumberRef> numberKey(CFNumberCreate(nullptr, kCFNumberIntType, &one));
  CFDictionarySetValue(dict, numberKey, CFSTR("x"));
  CFDictionarySetValue(dict, CFSTR("ok"), kCFNull);
  CFDictionarySetValue(dict, CFSTR("kept"), CFSTR("y"));
  EXPECT_EQ(CFPropertyListToQVariant(dict), QVariant(QVariantMap{{"kept", "y"}}));
  Owned<CFMutableArrayRef> loop(CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks));
  CFArrayAppendValue(loop, loop);
  EXPECT_EQ(CFPropertyListToQVariant(loop).typeId(), QMetaType::QVariantList);
  CFArrayRemoveAllValues(loop);  // break the cycle so the array can be freed
}

TEST_F(CFQtTest, StringDataAndDateBridges) {
  EXPECT_EQ(CFStringToQString(nullptr), QString());
  auto s = str(QString::fromUtf8("\xF0\x9F\x98\x80x"));
  EXPECT_EQ(CFStringGetLength(s), 3);
  Owned<CFDataRef> data(CFDataCreateWithQByteArray(QByteArray("abc")));
  EXPECT_EQ(CFDataToQByteArray(data), QByteArray("abc"));
  const QDateTime t(QDate(2001, 1, 1), QTime(0, 0, 1), Qt::UTC);
  Owned<CFDateRef> date(CFDateCreateWithQDateTime(t));
  EXPECT_DOUBLE_EQ(CFDateGetAbsoluteTime(date), 1.0);  // seconds since 2001
  EXPECT_EQ(CFDateToQDateTime(date), t);
  const QDateTime withMs = t.addMSecs(-1250);  // before 2001: a negative absolute time
  Owned<CFDateRef> early(CFDateCreateWithQDateTime(withMs));
  EXPECT_DOUBLE_EQ(CFDateGetAbsoluteTime(early), -0.25);
  EXPECT_EQ(CFDateToQDateTime(early), withMs);
  EXPECT_EQ(CFDateCreateWithQDateTime(QDateTime()), nullptr);
}

}  // namespace
