#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "platform/cf/PropertyList.h"
#include "platform/cocoa/UserDefaults.h"
#include "tests/TestEnvironment.h"

namespace {

QByteArray readBytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeBytes(const QString& path, const QByteArray& bytes) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(bytes);
}

QVariantMap onDisk(const QString& path) { return plist::readFile(path).value_or(QVariant()).toMap(); }

class UserDefaultsTest : public ::testing::Test {
 protected:
  TestEnvironment env;
  QString file = env.home() + "/.config/org.example.test.plist";
};

TEST_F(UserDefaultsTest, ValuesSurviveTheTripThroughTheFile) {
  {
    UserDefaults defaults(file);
    EXPECT_FALSE(defaults.objectForKey("nothing").isValid());
    EXPECT_TRUE(defaults.synchronize());  // nothing changed: no file made
    EXPECT_FALSE(QFileInfo::exists(file));
    defaults.setObject(QStringLiteral("Webster"), "LastDictionaryUsed");
    defaults.setObject(QStringList{"cat", "cat dog"}, "SavedRecentWords");
    defaults.setBool(false, "rememberQuery");
    defaults.setInteger(42, "count");
    defaults.setObject(QStringLiteral("gone"), "removed");
    defaults.removeObjectForKey("removed");
    EXPECT_EQ(defaults.arrayForKey("SavedRecentWords"), (QVariantList{"cat", "cat dog"}));
    ASSERT_TRUE(defaults.synchronize());
    defaults.setObject(QStringLiteral("at exit"), "lastQuery");  // written by the destructor
  }
  UserDefaults again(file);
  EXPECT_EQ(again.stringForKey("LastDictionaryUsed"), "Webster");
  EXPECT_EQ(again.arrayForKey("SavedRecentWords"), (QVariantList{"cat", "cat dog"}));
  EXPECT_FALSE(again.boolForKey("rememberQuery"));
  EXPECT_EQ(again.objectForKey("rememberQuery").typeId(), QMetaType::Bool);  // NO is not absent
  EXPECT_EQ(again.integerForKey("count"), 42);
  EXPECT_EQ(again.stringForKey("lastQuery"), "at exit");
  EXPECT_FALSE(again.valueForKey("removed").isValid());
  EXPECT_EQ(again.dictionaryRepresentation().size(), 5);
}

TEST_F(UserDefaultsTest, ConvenienceReadersConvert) {
  UserDefaults defaults(file);
  const std::pair<QVariant, bool> flags[] = {{"YES", true}, {"true", true}, {" 007", true}, {2, true},
                                             {"NO", false}, {"0", false}, {"maybe", false}, {0.0, false}};
  for (const auto& [value, expected] : flags) {
    defaults.setObject(value, "flag");
    EXPECT_EQ(defaults.boolForKey("flag"), expected) << value.toString().toStdString();
  }
  defaults.setObject(QStringLiteral(" -12abc"), "number");
  EXPECT_EQ(defaults.integerForKey("number"), -12);
  EXPECT_TRUE(defaults.stringForKey("missing").isNull());
  EXPECT_FALSE(defaults.arrayForKey("number").has_value());
}

TEST_F(UserDefaultsTest, CorruptFileIsSetAsideNotOverwritten) {
  const QByteArray garbage = "<plist><dict><key>lastQuery</key><string>half";
  writeBytes(file, garbage);
  { UserDefaults unused(file); }  // read lazily: an unused store leaves the file alone
  EXPECT_EQ(readBytes(file), garbage);

  UserDefaults defaults(file);
  EXPECT_TRUE(defaults.dictionaryRepresentation().isEmpty());
  EXPECT_EQ(readBytes(file + ".corrupt"), garbage);
  defaults.setObject(QStringLiteral("new"), "lastQuery");
  ASSERT_TRUE(defaults.synchronize());
  EXPECT_EQ(onDisk(file).value("lastQuery").toString(), "new");

  // Bad again while running (here: not a dictionary): the first bad file is not replaced.
  ASSERT_TRUE(plist::writeFile(file, QVariantList{"a"}));
  const QByteArray second = readBytes(file);
  EXPECT_TRUE(defaults.synchronize());
  EXPECT_EQ(readBytes(file + ".corrupt"), garbage);
  EXPECT_EQ(readBytes(file + ".corrupt.1"), second);
  EXPECT_EQ(onDisk(file).value("lastQuery").toString(), "new");  // what memory held is written back
}

TEST_F(UserDefaultsTest, TwoStoresOnOneFileSeeEachOthersChanges) {
  UserDefaults first(file), second(file);
  EXPECT_TRUE(second.dictionaryRepresentation().isEmpty());  // loaded before any write

  first.setObject(QStringLiteral("one"), "a");
  ASSERT_TRUE(first.synchronize());
  EXPECT_FALSE(second.objectForKey("a").isValid());  // kept in memory until synchronize
  ASSERT_TRUE(second.synchronize());
  EXPECT_EQ(second.stringForKey("a"), "one");

  // Different keys changed on both sides: neither is lost.
  first.setObject(QStringLiteral("from first"), "b");
  second.setObject(QStringLiteral("from second"), "c");
  ASSERT_TRUE(first.synchronize());
  ASSERT_TRUE(second.synchronize());
  ASSERT_TRUE(first.synchronize());
  EXPECT_EQ(first.stringForKey("c"), "from second");
  EXPECT_EQ(second.stringForKey("b"), "from first");

  // Removals travel too; the last writer of a key wins.
  first.removeObjectForKey("a");
  ASSERT_TRUE(first.synchronize());
  second.setObject(QStringLiteral("second wins"), "b");
  ASSERT_TRUE(second.synchronize());
  ASSERT_TRUE(first.synchronize());
  EXPECT_FALSE(second.objectForKey("a").isValid());
  EXPECT_EQ(first.stringForKey("b"), "second wins");
  EXPECT_EQ(onDisk(file).size(), 2);
}

TEST_F(UserDefaultsTest, WriteFailureKeepsTheChangesPending) {
  writeBytes(env.path() + "/blocker", "a file where a folder should be");
  UserDefaults defaults(env.path() + "/blocker/prefs.plist");
  defaults.setObject(QStringLiteral("v"), "k");
  EXPECT_FALSE(defaults.synchronize());
  EXPECT_TRUE(defaults.hasPendingChanges());
  EXPECT_EQ(defaults.stringForKey("k"), "v");
}

TEST_F(UserDefaultsTest, StandardStoreIsNamedByTheBundleIdentifier) {
  const bool wasSet = qEnvironmentVariableIsSet("VOCABULON_MAIN_BUNDLE");
  const QByteArray saved = qgetenv("VOCABULON_MAIN_BUNDLE");
  const QString bundle = env.path() + "/Test.app";
  QDir().mkpath(bundle + "/Contents");
  ASSERT_TRUE(plist::writeFile(bundle + "/Contents/Info.plist", QVariantMap{{"CFBundleIdentifier", "org.example.std"}}));
  qputenv("VOCABULON_MAIN_BUNDLE", bundle.toLocal8Bit());

  const QString expected = env.home() + "/.config/org.example.std.plist";
  UserDefaults& standard = UserDefaults::standardUserDefaults();
  EXPECT_EQ(&standard, &UserDefaults::standardUserDefaults());
  EXPECT_EQ(standard.filePath(), expected);
  standard.setObject(QStringLiteral("written at reset"), "lastQuery");
  UserDefaults::resetStandardUserDefaults();
  EXPECT_EQ(onDisk(expected).value("lastQuery").toString(), "written at reset");

  // The main bundle is looked up afresh: another place, another identifier (here none).
  qputenv("VOCABULON_MAIN_BUNDLE", (env.path() + "/NoSuch.app").toLocal8Bit());
  EXPECT_EQ(UserDefaults::standardFilePath(), env.home() + "/.config/org.vocabulon.Vocabulon.plist");
  if (wasSet) qputenv("VOCABULON_MAIN_BUNDLE", saved);
  else qunsetenv("VOCABULON_MAIN_BUNDLE");
}

}  // namespace
