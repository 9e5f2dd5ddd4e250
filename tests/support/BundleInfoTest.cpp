// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QVariantMap>

#include "platform/carbon/Gestalt.h"
#include "platform/cf/CFQt.h"
#include "platform/cf/PropertyList.h"
#include "support/BundleInfo.h"

namespace {

class BundleInfoTest : public ::testing::Test {
 protected:
  void TearDown() override { qunsetenv("VOCABULON_MAIN_BUNDLE"); }

  // Makes name.app with the given Info.plist entries and makes it the main bundle.
  QString useBundle(const QString& name, const QVariantMap& info) {
    const QString path = dir_.path() + "/" + name + ".app";
    EXPECT_TRUE(QDir().mkpath(path + "/Contents/Resources/en.lproj"));
    EXPECT_TRUE(plist::writeFile(path + "/Contents/Info.plist", info));
    qputenv("VOCABULON_MAIN_BUNDLE", path.toUtf8());
    return path;
  }
  QString resources(const QString& bundle) const { return bundle + "/Contents/Resources"; }

  QTemporaryDir dir_;
};

TEST_F(BundleInfoTest, SignatureCodes) {
  struct Case {
    const char* name;
    QVariant signature;
    OSType expected;
  } cases[] = {
      {"Question", "????", 0x3F3F3F3F},
      {"Own", "VCBL", FOUR_CHAR_CODE("VCBL")},
      {"Long", "ABCDEFG", FOUR_CHAR_CODE("ABCD")},
      {"Short", "AB", 0x41420000},
      {"Empty", "", 0},
      {"Number", 1234, 0},
      {"Absent", QVariant(), 0},
  };
  for (const Case& c : cases) {
    QVariantMap info{{"CFBundleIdentifier", "org.example.test"}};
    if (c.signature.isValid()) info.insert("CFBundleSignature", c.signature);
    useBundle(c.name, info);
    EXPECT_EQ(GetBundleSignature(), c.expected) << c.name;
  }
  UInt32 swapped = 0;
  EXPECT_EQ(SwapBytes32(0x11223344, &swapped), &swapped);
  EXPECT_EQ(swapped, 0x44332211u);
}

TEST_F(BundleInfoTest, IdentifierExecutableAndPlaces) {
  const QString bundle = useBundle("Lexicon", {{"CFBundleIdentifier", "org.example.lexicon"},
                                               {"CFBundleExecutable", "lexicon"}});
  QFile resource(resources(bundle) + "/en.lproj/Help.html");
  ASSERT_TRUE(resource.open(QIODevice::WriteOnly));
  resource.close();

  EXPECT_EQ(CFStringToQString(GetBundleIdentifier()), "org.example.lexicon");
  EXPECT_EQ(CFStringToQString(GetExecutableName()), "lexicon");
  BoundedString text;
  EXPECT_TRUE(GetBundleIdentifierText(text));
  EXPECT_STREQ(text.c_str(), "org.example.lexicon");
  EXPECT_TRUE(GetExecutableNameText(text));
  EXPECT_STREQ(text.c_str(), "lexicon");

  FSRef ref, viaPath;
  ASSERT_TRUE(GetBundleRef(&ref));
  CFStringRef path = CopyBundlePath(&viaPath);
  EXPECT_EQ(CFStringToQString(path), bundle);
  CFRelease(path);
  EXPECT_EQ(FSCompareFSRefs(&ref, &viaPath), noErr);
  ASSERT_TRUE(GetBundleResourceRef("Help", "html", &ref));
  UInt8 found[4096];
  ASSERT_EQ(FSRefMakePath(&ref, found, sizeof found), noErr);
  EXPECT_EQ(QString::fromUtf8(reinterpret_cast<char*>(found)), resources(bundle) + "/en.lproj/Help.html");
  EXPECT_FALSE(GetBundleResourceRef("Missing", "html", &ref));
  EXPECT_FALSE(GetBundleResourceRef(nullptr, "html", &ref));

  // Without the keys, and without a main bundle at all: nothing, and the text is left alone.
  useBundle("Bare", {});
  text.Assign("kept");
  EXPECT_EQ(GetBundleIdentifier(), nullptr);
  EXPECT_FALSE(GetExecutableNameText(text));
  EXPECT_STREQ(text.c_str(), "kept");
  qputenv("VOCABULON_MAIN_BUNDLE", (dir_.path() + "/Nowhere.app").toUtf8());
  EXPECT_EQ(GetBundleIdentifier(), nullptr);
  EXPECT_EQ(GetBundleSignature(), 0u);
  EXPECT_FALSE(GetBundleRef(&ref));
  EXPECT_EQ(CopyBundlePath(nullptr), nullptr);
  IconRef icon;
  EXPECT_EQ(RegisterBundleIcon("AppIcon", FOUR_CHAR_CODE("APPL"), &icon), fnfErr);
}

TEST_F(BundleInfoTest, IconsRegisteredFromIcnsFiles) {
  const QString bundle = useBundle("Iconic", {{"CFBundleIdentifier", "org.example.iconic"}});
  QImage image(128, 128, QImage::Format_ARGB32);
  image.fill(QColor(200, 30, 60));
  QImageWriter writer(resources(bundle) + "/AppIcon.icns", "icns");
  ASSERT_TRUE(writer.write(image)) << writer.errorString().toStdString()
                                   << " (the icns image plug-in is missing?)";
  QFile bad(resources(bundle) + "/Broken.icns");
  ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
  bad.write("not an icon family");
  bad.close();

  const OSType type = FOUR_CHAR_CODE("APPL");
  IconRef icon = nullptr;
  ASSERT_EQ(RegisterBundleIcon("AppIcon", type, &icon), noErr);
  const QList<QImage> images = IconRefImages(icon);
  ASSERT_FALSE(images.isEmpty());
  EXPECT_EQ(images.first().width(), 128);
  EXPECT_EQ(QColor(images.first().pixel(64, 64)), QColor(200, 30, 60));

  IconRef again = nullptr, looked = nullptr;
  EXPECT_EQ(RegisterBundleIcon("AppIcon", type, &again), noErr);
  EXPECT_EQ(again, icon);
  EXPECT_EQ(GetIconRef(0, FOUR_CHAR_CODE("Qbzr"), type, &looked), noErr);
  EXPECT_EQ(looked, icon);
  UInt16 owners = 0;
  EXPECT_EQ(GetIconRefOwners(icon, &owners), noErr);
  EXPECT_EQ(owners, 4);  // the registration and three holders

  IconRef broken = nullptr;
  EXPECT_EQ(RegisterBundleIcon("Broken", FOUR_CHAR_CODE("BRKN"), &broken), invalidIconRefErr);
  EXPECT_EQ(broken, nullptr);
  EXPECT_EQ(GetIconRef(0, FOUR_CHAR_CODE("Qbzr"), FOUR_CHAR_CODE("BRKN"), &broken), noSuchIconErr);
  EXPECT_EQ(RegisterIconRefFromFSRef(0, 0, nullptr, &broken), paramErr);

  // Unregistered, the icon lives until its last holder lets go.
  EXPECT_EQ(UnregisterIconRef(FOUR_CHAR_CODE("Qbzr"), type), noErr);
  EXPECT_EQ(UnregisterIconRef(FOUR_CHAR_CODE("Qbzr"), type), noSuchIconErr);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(ReleaseIconRef(icon), noErr);
  EXPECT_EQ(ReleaseIconRef(icon), invalidIconRefErr);
  EXPECT_TRUE(IconRefImages(icon).isEmpty());
}

TEST(Gestalt, SystemVersionAndTheSelectorTable) {
  EXPECT_EQ(GetSystemVersion(), 0x1068);
  SInt32 value = 0;
  struct Case {
    OSType selector;
    OSErr result;
    SInt32 value;
  } cases[] = {{FOUR_CHAR_CODE("sys1"), noErr, 10},
               {FOUR_CHAR_CODE("sys2"), noErr, 6},
               {FOUR_CHAR_CODE("sys3"), noErr, 8},
               {FOUR_CHAR_CODE("sysa"), noErr, gestaltIntel},
               {FOUR_CHAR_CODE("zzzz"), gestaltUndefSelectorErr, 0}};
  for (const Case& c : cases) {
    value = 0;
    EXPECT_EQ(Gestalt(c.selector, &value), c.result);
    EXPECT_EQ(value, c.value);
  }
  EXPECT_GT((Gestalt(gestaltPhysicalRAMSize, &value), value), 0);
  EXPECT_EQ(Gestalt(gestaltSystemVersion, nullptr), paramErr);

  EXPECT_EQ(NewGestaltValue(gestaltSystemVersion, 0x1095), gestaltDupSelectorErr);
  EXPECT_EQ(ReplaceGestaltValue(FOUR_CHAR_CODE("zzzz"), 1), gestaltUndefSelectorErr);
  EXPECT_EQ(ReplaceGestaltValue(gestaltSystemVersion, 0x1095), noErr);
  EXPECT_EQ(GetSystemVersion(), 0x1095);
  EXPECT_EQ(NewGestaltValue(FOUR_CHAR_CODE("tst1"), 7), noErr);
  EXPECT_EQ((Gestalt(FOUR_CHAR_CODE("tst1"), &value), value), 7);
  // Without the selector the version reads 0.
  EXPECT_EQ(DeleteGestaltValue(gestaltSystemVersion), noErr);
  EXPECT_EQ(GetSystemVersion(), 0);
  EXPECT_EQ(NewGestaltValue(gestaltSystemVersion, kStandInSystemVersion), noErr);
  EXPECT_EQ(DeleteGestaltValue(FOUR_CHAR_CODE("tst1")), noErr);
}

}  // namespace
