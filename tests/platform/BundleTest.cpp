#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "platform/cf/PropertyList.h"
#include "platform/cocoa/Bundle.h"
#include "tests/TestEnvironment.h"

namespace {

void writeBytes(const QString& path, const QByteArray& bytes) {
  QDir().mkpath(path.section('/', 0, -2));
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(bytes);
}

class BundleTest : public ::testing::Test {
 protected:
  QString makeBundle(const QString& name, const QVariantMap& info) {
    const QString path = env.path() + '/' + name;
    EXPECT_TRUE(QDir().mkpath(path + "/Contents/Resources"));
    EXPECT_TRUE(plist::writeFile(path + "/Contents/Info.plist", info));
    return path;
  }
  TestEnvironment env;
};

TEST_F(BundleTest, ReadsItsInfoPlist) {
  const QString path = makeBundle("Thing.app", {{"CFBundleIdentifier", "org.example.thing"},
                                                 {"CFBundleName", "Thing"},
                                                 {"Count", 3}});
  const Bundle bundle(path + "/");
  EXPECT_EQ(bundle.path(), path);
  EXPECT_EQ(bundle.bundleIdentifier(), "org.example.thing");
  EXPECT_EQ(bundle.name(), "Thing");
  EXPECT_EQ(bundle.objectForInfoDictionaryKey("Count").toLongLong(), 3);
  EXPECT_FALSE(bundle.objectForInfoDictionaryKey("Missing").isValid());
  EXPECT_EQ(bundle.infoDictionary().size(), 3);
  EXPECT_EQ(bundle.resourcePath(), path + "/Contents/Resources");
}

TEST_F(BundleTest, ParsesOnceAndCopiesShareTheResult) {
  const QString path = makeBundle("Once.app", {{"CFBundleName", "First"}});
  const Bundle bundle(path);
  EXPECT_EQ(bundle.name(), "First");
  ASSERT_TRUE(plist::writeFile(path + "/Contents/Info.plist", QVariantMap{{"CFBundleName", "Second"}}));
  const Bundle copy = bundle;
  EXPECT_EQ(copy.name(), "First");
  EXPECT_EQ(Bundle(path).name(), "Second");  // a new object reads afresh
}

TEST_F(BundleTest, MissingOrBadInfoPlistGivesAnEmptyDictionary) {
  const QString missing = env.path() + "/Nothing.app";
  EXPECT_TRUE(Bundle(missing).infoDictionary().isEmpty());
  EXPECT_TRUE(Bundle(missing).bundleIdentifier().isEmpty());

  const QString corrupt = env.path() + "/Corrupt.app";
  writeBytes(corrupt + "/Contents/Info.plist", "<plist><dict><key>CFBundleName</key><string>x</dic");
  EXPECT_TRUE(Bundle(corrupt).infoDictionary().isEmpty());
  EXPECT_TRUE(Bundle(corrupt).name().isEmpty());

  const QString array = makeBundle("Array.app", {});
  ASSERT_TRUE(plist::writeFile(array + "/Contents/Info.plist", QVariantList{"CFBundleName", "x"}));
  EXPECT_TRUE(Bundle(array).infoDictionary().isEmpty());

  const QString wrongType = makeBundle("Typed.app", {{"CFBundleIdentifier", 42}, {"CFBundleName", QVariantList{}}});
  EXPECT_TRUE(Bundle(wrongType).bundleIdentifier().isEmpty());
  EXPECT_TRUE(Bundle(wrongType).name().isEmpty());

  EXPECT_TRUE(Bundle(QString()).infoDictionary().isEmpty());
}

TEST_F(BundleTest, MainBundleFollowsItsPlace) {
  const QString first = makeBundle("One.app", {{"CFBundleIdentifier", "org.example.one"}});
  const QString second = makeBundle("Two.app", {{"CFBundleIdentifier", "org.example.two"}});
  const QByteArray saved = qgetenv("VOCABULON_MAIN_BUNDLE");
  const bool wasSet = qEnvironmentVariableIsSet("VOCABULON_MAIN_BUNDLE");
  qputenv("VOCABULON_MAIN_BUNDLE", first.toLocal8Bit());
  EXPECT_EQ(Bundle::main().bundleIdentifier(), "org.example.one");
  EXPECT_EQ(Bundle::main().path(), first);
  qputenv("VOCABULON_MAIN_BUNDLE", second.toLocal8Bit());
  EXPECT_EQ(Bundle::main().bundleIdentifier(), "org.example.two");
  if (wasSet) qputenv("VOCABULON_MAIN_BUNDLE", saved);
  else qunsetenv("VOCABULON_MAIN_BUNDLE");
}

}  // namespace
