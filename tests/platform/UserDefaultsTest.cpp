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
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(bytes);
}

QVariantMap fileContents(const QString& path) { return plist::readFile(path).value_or(QVariant()).toMap(); }

class UserDefaultsTest : public ::testing::Test {
 protected:
  TestEnvironment env;
  QString file = env.home() + "/.config/org.example.test.plist";
};

TEST_F(UserDefaultsTest, ValuesSurviveTheTripThroughTheFile) {
  const QDateTime when = QDateTime::fromString("2024-05-06T07:08:09Z", Qt::ISODate);
  {
    UserDefaults defaults(file);
    defaults.setObject(QStringLiteral("Webster"), "LastDictionaryUsed");
    defaults.setObject(QStringList{"cat", "cat dog"}, "SavedRecentWords");
    defaults.setBool(false, "rememberQuery");
    defaults.setBool(true, "resetWindowOnLookup");
    defaults.setInteger(42, "count");
    defaults.setObject(QVariantMap{{"inner", 1.5}}, "nested");
    defaults.setObject(when, "when");
    // Read back from memory in the form the file will give.
    EXPECT_EQ(defaults.objectForKey("SavedRecentWords").typeId(), QMetaType::QVariantList);
    EXPECT_TRUE(defaults.synchronize());
    EXPECT_FALSE(defaults.hasPendingChanges());
  }
  UserDefaults again(file);
  EXPECT_EQ(again.stringForKey("LastDictionaryUsed"), "Webster");
  EXPECT_EQ(again.arrayForKey("SavedRecentWords"), (QVariantList{"cat", "cat dog"}));
  EXPECT_FALSE(again.boolForKey("rememberQuery"));
  EXPECT_TRUE(again.objectForKey("rememberQuery").isValid());  // stored NO is not absent
  EXPECT_EQ(again.objectForKey("rememberQuery").typeId(), QMetaType::Bool);
  EXPECT_TRUE(again.boolForKey("resetWindowOnLookup"));
  EXPECT_EQ(again.integerForKey("count"), 42);
  EXPECT_EQ(again.objectForKey("nested").toMap().value("inner").toDouble(), 1.5);
  EXPECT_EQ(again.objectForKey("when").toDateTime(), when);
  EXPECT_EQ(again.dictionaryRepresentation().size(), 7);
}

TEST_F(UserDefaultsTest, AbsentKeysAreNil) {
  UserDefaults defaults(file);
  EXPECT_FALSE(defaults.objectForKey("nothing").isValid());
  EXPECT_FALSE(defaults.valueForKey("nothing").isValid());
  EXPECT_FALSE(defaults.boolForKey("nothing"));
  EXPECT_TRUE(defaults.stringForKey("nothing").isNull());
  EXPECT_FALSE(defaults.arrayForKey("nothing").has_value());
  EXPECT_EQ(defaults.integerForKey("nothing"), 0);
  // Reading never creates the file, nor does synchronizing without changes.
  EXPECT_TRUE(defaults.synchronize());
  EXPECT_FALSE(QFileInfo::exists(file));
}

TEST_F(UserDefaultsTest, ConvenienceReadersConvertLikeThePlatform) {
  UserDefaults defaults(file);
  const std::pair<const char*, bool> texts[] = {{"YES", true}, {"yes", true}, {"true", true}, {"1", true},
                                                {" 007", true}, {"NO", false}, {"false", false},
                                                {"0", false}, {"", false}, {"maybe", false}};
  for (const auto& [text, expected] : texts) {
    defaults.setObject(QString::fromLatin1(text), "flag");
    EXPECT_EQ(defaults.boolForKey("flag"), expected) << text;
  }
  defaults.setObject(2, "flag");
  EXPECT_TRUE(defaults.boolForKey("flag"));
  defaults.setObject(0.0, "flag");
  EXPECT_FALSE(defaults.boolForKey("flag"));
  defaults.setObject(QStringLiteral(" -12abc"), "number");
  EXPECT_EQ(defaults.integerForKey("number"), -12);
  defaults.setObject(7, "number");
  EXPECT_EQ(defaults.stringForKey("number"), "7");
  defaults.setObject(QVariantList{1}, "number");
  EXPECT_TRUE(defaults.stringForKey("number").isNull());
  EXPECT_FALSE(defaults.arrayForKey("flag").has_value());
}

TEST_F(UserDefaultsTest, RemovingAKeyReachesTheFile) {
  {
    UserDefaults defaults(file);
    defaults.setObject(QStringLiteral("x"), "a");
    defaults.setObject(QStringLiteral("y"), "b");
    ASSERT_TRUE(defaults.synchronize());
  }
  UserDefaults defaults(file);
  defaults.removeObjectForKey("a");
  defaults.setObject(QVariant(), "b");
  EXPECT_FALSE(defaults.objectForKey("a").isValid());
  ASSERT_TRUE(defaults.synchronize());
  EXPECT_TRUE(fileContents(file).isEmpty());
  EXPECT_TRUE(QFileInfo::exists(file));
}

TEST_F(UserDefaultsTest, DestructionWritesPendingChanges) {
  {
    UserDefaults defaults(file);
    defaults.setObject(QStringLiteral("kept"), "lastQuery");
  }
  EXPECT_EQ(fileContents(file).value("lastQuery").toString(), "kept");
}

TEST_F(UserDefaultsTest, CorruptFileIsSetAsideNotOverwritten) {
  QDir().mkpath(QFileInfo(file).absolutePath());
  const QByteArray garbage = "<plist><dict><key>lastQuery</key><string>half";
  writeBytes(file, garbage);
  {
    UserDefaults untouched(file);  // never used: the file is not even read
  }
  EXPECT_EQ(readBytes(file), garbage);

  UserDefaults defaults(file);
  EXPECT_FALSE(defaults.objectForKey("lastQuery").isValid());
  EXPECT_EQ(readBytes(file + ".corrupt"), garbage);
  defaults.setObject(QStringLiteral("new"), "lastQuery");
  ASSERT_TRUE(defaults.synchronize());
  EXPECT_EQ(fileContents(file).value("lastQuery").toString(), "new");
  EXPECT_EQ(readBytes(file + ".corrupt"), garbage);

  // A second bad file does not replace the first one set aside.
  const QByteArray otherGarbage = "\x00\x01 not a property list";
  writeBytes(file, otherGarbage);
  UserDefaults later(file);
  EXPECT_TRUE(later.dictionaryRepresentation().isEmpty());
  EXPECT_EQ(readBytes(file + ".corrupt"), garbage);
  EXPECT_EQ(readBytes(file + ".corrupt.1"), otherGarbage);
}

TEST_F(UserDefaultsTest, NonDictionaryFileCountsAsCorrupt) {
  QDir().mkpath(QFileInfo(file).absolutePath());
  ASSERT_TRUE(plist::writeFile(file, QVariantList{"a", "b"}));
  const QByteArray original = readBytes(file);
  UserDefaults defaults(file);
  EXPECT_TRUE(defaults.dictionaryRepresentation().isEmpty());
  EXPECT_EQ(readBytes(file + ".corrupt"), original);
}

TEST_F(UserDefaultsTest, FileCorruptedWhileRunningIsSetAsideAndRewritten) {
  UserDefaults defaults(file);
  defaults.setObject(QStringLiteral("v"), "k");
  ASSERT_TRUE(defaults.synchronize());
  writeBytes(file, "garbage");
  EXPECT_TRUE(defaults.synchronize());
  EXPECT_EQ(readBytes(file + ".corrupt"), "garbage");
  EXPECT_EQ(fileContents(file).value("k").toString(), "v");
}

TEST_F(UserDefaultsTest, TwoStoresOnOneFileSeeEachOthersChanges) {
  UserDefaults first(file), second(file);
  EXPECT_TRUE(second.dictionaryRepresentation().isEmpty());  // loaded before any write

  first.setObject(QStringLiteral("one"), "a");
  ASSERT_TRUE(first.synchronize());
  EXPECT_FALSE(second.objectForKey("a").isValid());  // kept in memory until synchronize
  ASSERT_TRUE(second.synchronize());
  EXPECT_EQ(second.stringForKey("a"), "one");

  // Both change different keys; neither loses the other's.
  first.setObject(QStringLiteral("from first"), "b");
  second.setObject(QStringLiteral("from second"), "c");
  ASSERT_TRUE(first.synchronize());
  ASSERT_TRUE(second.synchronize());
  ASSERT_TRUE(first.synchronize());
  for (UserDefaults* store : {&first, &second}) {
    EXPECT_EQ(store->stringForKey("b"), "from first");
    EXPECT_EQ(store->stringForKey("c"), "from second");
  }
  EXPECT_EQ(fileContents(file).size(), 3);

  // A removal travels too; the last writer of one key wins.
  first.removeObjectForKey("a");
  ASSERT_TRUE(first.synchronize());
  second.setObject(QStringLiteral("second wins"), "b");
  ASSERT_TRUE(second.synchronize());
  ASSERT_TRUE(first.synchronize());
  EXPECT_FALSE(second.objectForKey("a").isValid());
  EXPECT_EQ(first.stringForKey("b"), "second wins");
}

TEST_F(UserDefaultsTest, WriteFailureKeepsTheChangesPending) {
  const QString blocker = env.path() + "/blocker";
  writeBytes(blocker, "a file where a folder should be");
  UserDefaults defaults(blocker + "/prefs.plist");
  defaults.setObject(QStringLiteral("v"), "k");
  EXPECT_FALSE(defaults.synchronize());
  EXPECT_TRUE(defaults.hasPendingChanges());
  EXPECT_EQ(defaults.stringForKey("k"), "v");
}

TEST_F(UserDefaultsTest, StandardStoreLivesUnderTheConfigHomeByIdentifier) {
  const QByteArray saved = qgetenv("VOCABULON_MAIN_BUNDLE");
  const bool wasSet = qEnvironmentVariableIsSet("VOCABULON_MAIN_BUNDLE");
  const QString bundle = env.path() + "/Test.app";
  QDir().mkpath(bundle + "/Contents");
  ASSERT_TRUE(plist::writeFile(bundle + "/Contents/Info.plist", QVariantMap{{"CFBundleIdentifier", "org.example.std"}}));
  qputenv("VOCABULON_MAIN_BUNDLE", bundle.toLocal8Bit());

  const QString expected = env.home() + "/.config/org.example.std.plist";
  EXPECT_EQ(UserDefaults::standardFilePath(), expected);
  UserDefaults& standard = UserDefaults::standardUserDefaults();
  EXPECT_EQ(&standard, &UserDefaults::standardUserDefaults());
  EXPECT_EQ(standard.filePath(), expected);
  standard.setObject(QStringLiteral("written at reset"), "lastQuery");
  UserDefaults::resetStandardUserDefaults();
  EXPECT_EQ(fileContents(expected).value("lastQuery").toString(), "written at reset");

  qputenv("VOCABULON_MAIN_BUNDLE", (env.path() + "/NoSuch.app").toLocal8Bit());
  EXPECT_EQ(UserDefaults::standardFilePath(), env.home() + "/.config/" + UserDefaults::kFallbackIdentifier + ".plist");
  if (wasSet) qputenv("VOCABULON_MAIN_BUNDLE", saved);
  else qunsetenv("VOCABULON_MAIN_BUNDLE");
}

}  // namespace
