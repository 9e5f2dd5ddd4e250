// SPDX-License-Identifier: GPL-3.0-or-later
#include <QDir>
#include <QFile>
#include <QStringEncoder>

#include "platform/cf/PropertyList.h"
#include "tests/TestEnvironment.h"
#include "tests/platform/cf/CFTestSupport.h"

namespace {

void writeFile(const QString& path, const QByteArray& bytes) {
  QDir().mkpath(QFileInfo(path).path());
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(bytes);
}

// Makes Name.app with an Info.plist, resources and strings tables; answers its path.
QString makeBundle(const QString& parent, const QString& name) {
  const QString path = parent + "/" + name + ".app";
  QVariantMap info{{"CFBundleName", name},
                   {"CFBundleIdentifier", "org.vocabulon." + name.toLower()},
                   {"CFBundleDevelopmentRegion", "en"},
                   {"CFBundleVersion", "1.2"},
                   {"Numbers", QVariantList{1, 2.5}}};
  QDir().mkpath(path + "/Contents");
  EXPECT_TRUE(plist::writeFile(path + "/Contents/Info.plist", info));
  const QString resources = path + "/Contents/Resources";
  QStringEncoder utf16(QStringEncoder::Utf16LE, QStringEncoder::Flag::WriteBom);
  writeFile(resources + "/en.lproj/LocalizedStrings.strings",
            utf16(QString::fromUtf8("/* menu */\n\"Choose folder\" = \"Choose a folder\";\n"
                                    "// a line comment\n\"Quote\" = \"say \\\"hi\\\"\\n\\U00e9\";\n"
                                    "\"Same\";\nunquoted = value.1;\n")));
  writeFile(resources + "/Base.lproj/LocalizedStrings.strings",
            "\"Only in base\" = \"base text\";\n\"Choose folder\" = \"not this one\";\n");
  writeFile(resources + "/LocalizedStrings.strings", "\"Unlocalized\" = \"plain\";\n");
  writeFile(resources + "/Localizable.strings", "\"Default table\" = \"yes\";\n");
  writeFile(resources + "/Broken.strings",
            "\"good\" = \"kept\";\n\"bad\" = ;\n\"after\" = \"lost\";\n");
  writeFile(resources + "/sample.txt", "text");
  writeFile(resources + "/en.lproj/help.html", "help");
  writeFile(resources + "/docs/guide.txt", "guide");
  return path;
}

class CFBundleTest : public CFTest {
 protected:
  void SetUp() override {
    bundlePath_ = makeBundle(env_.path(), "Lexicon");
    qputenv("VOCABULON_MAIN_BUNDLE", bundlePath_.toUtf8());
    // The main bundle lives for the whole run; building its Info dictionary before the count
    // is taken keeps it out of the leak check.
    CFBundleGetInfoDictionary(CFBundleGetMainBundle());
    CFTest::SetUp();
  }
  void TearDown() override {
    CFTest::TearDown();
    qunsetenv("VOCABULON_MAIN_BUNDLE");
  }

  Owned<CFBundleRef> create(const QString& path) {
    Owned<CFURLRef> url(
        CFURLCreateWithFileSystemPath(nullptr, str(path), kCFURLPOSIXPathStyle, true));
    return Owned<CFBundleRef>(CFBundleCreate(nullptr, url));
  }

  QString localized(CFBundleRef bundle, const QString& key, CFStringRef value,
                    CFStringRef table = CFSTR("LocalizedStrings")) {
    Owned<CFStringRef> s(CFBundleCopyLocalizedString(bundle, str(key), value, table));
    return qs(s);
  }

  TestEnvironment env_;
  QString bundlePath_;
};

TEST_F(CFBundleTest, MainBundleNameFromItsInfoPlist) {
  CFBundleRef main = CFBundleGetMainBundle();
  ASSERT_NE(main, nullptr);
  EXPECT_EQ(CFBundleGetMainBundle(), main);
  CFTypeRef name = CFBundleGetValueForInfoDictionaryKey(main, kCFBundleNameKey);
  ASSERT_EQ(CFGetTypeID(name), CFStringGetTypeID());
  EXPECT_EQ(qs(static_cast<CFStringRef>(name)), "Lexicon");
  // Get rule: the same object each time, owned by the bundle.
  EXPECT_EQ(CFBundleGetValueForInfoDictionaryKey(main, kCFBundleNameKey), name);
  Owned<CFStringRef> copy(CFStringCreateCopy(nullptr, static_cast<CFStringRef>(name)));
  EXPECT_EQ(qs(copy), "Lexicon");
  EXPECT_EQ(qs(CFBundleGetIdentifier(main)), "org.vocabulon.lexicon");
  EXPECT_EQ(CFBundleGetValueForInfoDictionaryKey(main, kCFBundleExecutableKey), nullptr);
  auto numbers =
      static_cast<CFArrayRef>(CFBundleGetValueForInfoDictionaryKey(main, CFSTR("Numbers")));
  ASSERT_EQ(CFArrayGetCount(numbers), 2);
  EXPECT_TRUE(CFNumberIsFloatType(static_cast<CFNumberRef>(CFArrayGetValueAtIndex(numbers, 1))));
}

TEST_F(CFBundleTest, AnotherMainBundleLeavesTheFirstValid) {
  CFBundleRef first = CFBundleGetMainBundle();
  CFTypeRef firstName = CFBundleGetValueForInfoDictionaryKey(first, kCFBundleNameKey);
  const QString otherPath = makeBundle(env_.path(), "Other");
  qputenv("VOCABULON_MAIN_BUNDLE", otherPath.toUtf8());
  CFBundleRef second = CFBundleGetMainBundle();
  const CFIndex before = cf::liveObjectCount();
  CFBundleGetInfoDictionary(second);
  allowPermanentObjects(cf::liveObjectCount() - before);  // the second main bundle's Info
  EXPECT_NE(second, first);
  EXPECT_EQ(
      qs(static_cast<CFStringRef>(CFBundleGetValueForInfoDictionaryKey(second, kCFBundleNameKey))),
      "Other");
  EXPECT_EQ(qs(static_cast<CFStringRef>(firstName)), "Lexicon");
  qputenv("VOCABULON_MAIN_BUNDLE", (env_.path() + "/missing.app").toUtf8());
  EXPECT_EQ(CFBundleGetMainBundle(), nullptr);
  qputenv("VOCABULON_MAIN_BUNDLE", bundlePath_.toUtf8());
  EXPECT_EQ(CFBundleGetMainBundle(), first);
}

TEST_F(CFBundleTest, CreatedBundlesOwnTheirInfoAndFreeIt) {
  const CFIndex before = cf::liveObjectCount();
  {
    auto bundle = create(bundlePath_);
    ASSERT_NE(bundle.get(), nullptr);
    EXPECT_NE(bundle.get(), CFBundleGetMainBundle());  // its own object
    CFDictionaryRef info = CFBundleGetInfoDictionary(bundle);
    EXPECT_EQ(CFDictionaryGetCount(info), 5);
    EXPECT_GT(cf::liveObjectCount(), before + 1);
    EXPECT_EQ(qs(static_cast<CFStringRef>(
                  CFBundleGetValueForInfoDictionaryKey(bundle, kCFBundleVersionKey))),
              "1.2");
  }
  EXPECT_EQ(cf::liveObjectCount(), before);
  EXPECT_EQ(create(env_.path() + "/none.app").get(), nullptr);
  Owned<CFURLRef> web(CFURLCreateWithString(nullptr, CFSTR("http://example.org/x.app/"), nullptr));
  EXPECT_EQ(CFBundleCreate(nullptr, web), nullptr);
}

TEST_F(CFBundleTest, MissingOrBrokenInfoPlistGivesAnEmptyDictionary) {
  const QString bare = env_.path() + "/Bare.app";
  writeFile(bare + "/Contents/Info.plist", "<plist><dict><key>unclosed");
  auto bundle = create(bare);
  ASSERT_NE(bundle.get(), nullptr);
  EXPECT_EQ(CFDictionaryGetCount(CFBundleGetInfoDictionary(bundle)), 0);
  EXPECT_EQ(CFBundleGetValueForInfoDictionaryKey(bundle, kCFBundleNameKey), nullptr);
  EXPECT_EQ(CFBundleGetIdentifier(bundle), nullptr);
}

TEST_F(CFBundleTest, BundleAndResourceURLs) {
  CFBundleRef main = CFBundleGetMainBundle();
  Owned<CFURLRef> url(CFBundleCopyBundleURL(main));
  Owned<CFStringRef> path(CFURLCopyFileSystemPath(url, kCFURLPOSIXPathStyle));
  EXPECT_EQ(qs(path), bundlePath_);
  EXPECT_TRUE(CFURLHasDirectoryPath(url));
  Owned<CFURLRef> resources(CFBundleCopyResourcesDirectoryURL(main));
  Owned<CFStringRef> resourcesPath(CFURLCopyFileSystemPath(resources, kCFURLPOSIXPathStyle));
  EXPECT_EQ(qs(resourcesPath), bundlePath_ + "/Contents/Resources");

  auto resourcePath = [&](CFStringRef name, CFStringRef type, CFStringRef subDir) {
    Owned<CFURLRef> found(CFBundleCopyResourceURL(main, name, type, subDir));
    if (!found.get()) return QStringLiteral("<null>");
    Owned<CFStringRef> p(CFURLCopyFileSystemPath(found, kCFURLPOSIXPathStyle));
    return qs(p).mid(bundlePath_.size());
  };
  EXPECT_EQ(resourcePath(CFSTR("sample"), CFSTR("txt"), nullptr), "/Contents/Resources/sample.txt");
  EXPECT_EQ(resourcePath(CFSTR("sample.txt"), nullptr, nullptr), "/Contents/Resources/sample.txt");
  EXPECT_EQ(resourcePath(CFSTR("help"), CFSTR("html"), nullptr),
            "/Contents/Resources/en.lproj/help.html");
  EXPECT_EQ(resourcePath(CFSTR("guide"), CFSTR(".txt"), CFSTR("docs")),
            "/Contents/Resources/docs/guide.txt");
  EXPECT_EQ(resourcePath(CFSTR("missing"), CFSTR("txt"), nullptr), "<null>");
  EXPECT_EQ(resourcePath(CFSTR("../Info"), CFSTR("plist"), nullptr), "<null>");
}

TEST_F(CFBundleTest, LocalizedStringsFromTablesWithFallbacks) {
  CFBundleRef main = CFBundleGetMainBundle();
  EXPECT_EQ(localized(main, "Choose folder", CFSTR("Choose folder")), "Choose a folder");
  EXPECT_EQ(localized(main, "Quote", nullptr), QString::fromUtf8("say \"hi\"\n\xC3\xA9"));
  EXPECT_EQ(localized(main, "Same", nullptr), "Same");
  EXPECT_EQ(localized(main, "unquoted", nullptr), "value.1");
  EXPECT_EQ(localized(main, "Only in base", nullptr), "base text");
  EXPECT_EQ(localized(main, "Unlocalized", nullptr), "plain");
  // Not in any table: the value given, or the key when the value is null or empty.
  EXPECT_EQ(localized(main, "Absent", CFSTR("fallback")), "fallback");
  EXPECT_EQ(localized(main, "Absent", CFSTR("")), "Absent");
  EXPECT_EQ(localized(main, "Absent", nullptr), "Absent");
  EXPECT_EQ(localized(main, "Default table", nullptr, nullptr), "yes");
  EXPECT_EQ(localized(main, "good", nullptr, CFSTR("Broken")), "good");  // a bad table is ignored
  EXPECT_EQ(localized(main, "after", nullptr, CFSTR("Broken")), "after");
  EXPECT_EQ(localized(main, "Choose folder", nullptr, CFSTR("NoSuchTable")), "Choose folder");
}

TEST_F(CFBundleTest, StringsTablesInXmlAndUtf8) {
  const QByteArray xml = plist::serialize(QVariantMap{{"k", "v"}, {"n", 3}});
  const QHash<QString, QString> fromXml = cf::parseStringsTable(xml);
  EXPECT_EQ(fromXml.value("k"), "v");
  EXPECT_FALSE(fromXml.contains("n"));  // only string values
  const QHash<QString, QString> utf8 =
      cf::parseStringsTable("\xEF\xBB\xBF\"caf\xC3\xA9\" = \"\\101\";");
  EXPECT_EQ(utf8.value(QString::fromUtf8("caf\xC3\xA9")), "A");
  EXPECT_TRUE(cf::parseStringsTable("/* never closed").isEmpty());
  EXPECT_TRUE(cf::parseStringsTable("\"unterminated = \"x\";").isEmpty());
}

}  // namespace
