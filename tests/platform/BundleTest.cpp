// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "platform/cf/PropertyList.h"
#include "platform/cocoa/Bundle.h"
#include "tests/TestEnvironment.h"

namespace {

class BundleTest : public ::testing::Test {
 protected:
  QString makeBundle(const QString& name, const QVariant& info) {
    const QString path = env.path() + '/' + name;
    EXPECT_TRUE(QDir().mkpath(path + "/Contents"));
    EXPECT_TRUE(plist::writeFile(path + "/Contents/Info.plist", info));
    return path;
  }
  TestEnvironment env;
};

TEST_F(BundleTest, ReadsItsInfoPlistOnce) {
  const QString path = makeBundle("Thing.app", QVariantMap{{"CFBundleIdentifier", "org.example.thing"},
                                                           {"CFBundleName", "Thing"}, {"Count", 3}});
  const Bundle bundle(path + "/");
  EXPECT_EQ(bundle.path(), path);
  EXPECT_EQ(bundle.bundleIdentifier(), "org.example.thing");
  EXPECT_EQ(bundle.name(), "Thing");
  EXPECT_EQ(bundle.objectForInfoDictionaryKey("Count").toLongLong(), 3);
  EXPECT_FALSE(bundle.objectForInfoDictionaryKey("Missing").isValid());
  EXPECT_EQ(bundle.resourcePath(), path + "/Contents/Resources");

  makeBundle("Thing.app", QVariantMap{{"CFBundleName", "Changed"}});
  const Bundle copy = bundle;
  EXPECT_EQ(copy.name(), "Thing");             // parsed once, shared by copies
  EXPECT_EQ(Bundle(path).name(), "Changed");  // a new object reads afresh
}

TEST_F(BundleTest, MissingOrBadInfoPlistGivesAnEmptyDictionary) {
  EXPECT_TRUE(Bundle(env.path() + "/Nothing.app").infoDictionary().isEmpty());
  EXPECT_TRUE(Bundle(QString()).infoDictionary().isEmpty());
  EXPECT_TRUE(Bundle(makeBundle("Array.app", QVariantList{"CFBundleName"})).infoDictionary().isEmpty());
  const Bundle typed(makeBundle("Typed.app", QVariantMap{{"CFBundleIdentifier", 42}, {"CFBundleName", QVariantList{}}}));
  EXPECT_TRUE(typed.bundleIdentifier().isEmpty());
  EXPECT_TRUE(typed.name().isEmpty());

  const QString corrupt = makeBundle("Corrupt.app", QVariantMap{});
  QFile file(corrupt + "/Contents/Info.plist");
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("<plist><dict><key>CFBundleName</key><string>x</dic");
  file.close();
  EXPECT_TRUE(Bundle(corrupt).infoDictionary().isEmpty());
}

}  // namespace
