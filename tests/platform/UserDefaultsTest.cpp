// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/PreferenceStore.h"
#include "platform/cf/PropertyList.h"
#include "platform/cocoa/UserDefaults.h"
#include "tests/TestEnvironment.h"
#include "tests/TestProcesses.h"

namespace {

const QString kHelper = QStringLiteral(VOCABULON_PREFERENCE_HELPER);

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

bool existsOrIsLink(const QString& path) {
  struct stat info;
  return ::lstat(QFile::encodeName(path).constData(), &info) == 0;
}

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
    defaults.setObject(QStringLiteral("at exit\r\n\x01"), "lastQuery");  // written by the destructor
  }
  UserDefaults again(file);
  EXPECT_EQ(again.stringForKey("LastDictionaryUsed"), "Webster");
  EXPECT_EQ(again.arrayForKey("SavedRecentWords"), (QVariantList{"cat", "cat dog"}));
  EXPECT_FALSE(again.boolForKey("rememberQuery"));
  EXPECT_EQ(again.objectForKey("rememberQuery").typeId(), QMetaType::Bool);  // NO is not absent
  EXPECT_EQ(again.integerForKey("count"), 42);
  EXPECT_EQ(again.stringForKey("lastQuery"), "at exit\r\n\x01");
  EXPECT_FALSE(again.valueForKey("removed").isValid());
  EXPECT_EQ(again.dictionaryRepresentation().size(), 5);
}

TEST_F(UserDefaultsTest, BooleansAndNumbersAreReadThePlatformsWay) {
  const std::pair<QVariant, bool> flags[] = {
      {"YES", true},   {"yes", true},  {"true", true}, {"T", true},       {" \t+007", true}, {"-1", true},
      {"9 lives", true}, {2, true},    {0.25, true},   {true, true},      {"NO", false},     {"no", false},
      {"false", false}, {"0", false},  {"-0", false},  {"0.5", false},    {"", false},       {"maybe", false},
      {" N", false},   {0, false},     {0.0, false},   {false, false},    {QVariantList{"YES"}, false},
      {QDateTime::currentDateTimeUtc(), false}};
  UserDefaults defaults(file);
  for (const auto& [value, expected] : flags) {
    defaults.setObject(value, "flag");
    EXPECT_EQ(defaults.boolForKey("flag"), expected) << value.toString().toStdString();
    EXPECT_EQ(UserDefaults::boolValue(value), expected) << value.toString().toStdString();
  }
  defaults.setObject(QStringLiteral(" -12abc"), "number");
  EXPECT_EQ(defaults.integerForKey("number"), -12);
  EXPECT_TRUE(defaults.stringForKey("missing").isNull());
  EXPECT_FALSE(defaults.arrayForKey("number").has_value());
}

// Anything that is not a usable property list of a dictionary is moved aside, reported, and
// the store starts empty; nothing blocks on a FIFO or reads an endless device.
TEST_F(UserDefaultsTest, UnusableFilesAreSetAsideNotOverwritten) {
  const QString folder = env.home() + "/.config";
  const struct {
    const char* name;
    std::function<void(const QString&)> make;
  } cases[] = {
      {"damaged", [](const QString& path) { writeBytes(path, "<plist><dict><key>lastQuery</key><string>half"); }},
      {"not a dictionary", [](const QString& path) { ASSERT_TRUE(plist::writeFile(path, QVariantList{"a"})); }},
      {"a FIFO", [](const QString& path) { ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0); }},
      {"a link to /dev/zero", [](const QString& path) { ASSERT_TRUE(QFile::link("/dev/zero", path)); }},
      {"a folder", [](const QString& path) { ASSERT_TRUE(QDir().mkpath(path)); }},
      {"far too large", [](const QString& path) {
         writeBytes(path, "<plist>");
         ASSERT_TRUE(QFile::resize(path, PreferenceStore::kMaxFileBytes + 1));
       }},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(row.name);
    const QString path = folder + "/case" + QString::number(&row - cases) + ".plist";
    QDir().mkpath(folder);
    row.make(path);
    const QByteArray before = QFileInfo(path).isFile() && QFileInfo(path).size() < 4096 ? readBytes(path) : QByteArray();
    { UserDefaults unused(path); }  // read lazily: an unused store leaves the file alone
    EXPECT_TRUE(existsOrIsLink(path));

    UserDefaults defaults(path);
    EXPECT_TRUE(defaults.dictionaryRepresentation().isEmpty());
    EXPECT_EQ(defaults.store().fileState(), PreferenceStore::FileState::SetAside);
    EXPECT_TRUE(defaults.store().problem().contains(path + ".corrupt")) << defaults.store().problem().toStdString();
    EXPECT_TRUE(existsOrIsLink(path + ".corrupt"));
    if (!before.isEmpty()) {
      EXPECT_EQ(readBytes(path + ".corrupt"), before);
    }
    defaults.setObject(QStringLiteral("new"), "lastQuery");
    ASSERT_TRUE(defaults.synchronize());
    EXPECT_EQ(onDisk(path).value("lastQuery").toString(), "new");
  }

  // Bad again while running: the first bad file is not replaced, and what memory held is
  // written back.
  const QString path = folder + "/case0.plist";
  UserDefaults defaults(path);
  EXPECT_EQ(defaults.stringForKey("lastQuery"), "new");
  ASSERT_TRUE(plist::writeFile(path, QVariantList{"b"}));
  const QByteArray second = readBytes(path);
  EXPECT_TRUE(defaults.synchronize());
  EXPECT_EQ(readBytes(path + ".corrupt"), "<plist><dict><key>lastQuery</key><string>half");
  EXPECT_EQ(readBytes(path + ".corrupt.1"), second);
  EXPECT_EQ(onDisk(path).value("lastQuery").toString(), "new");
}

// A file this user may not read is not damaged: it stays as it is, is never written over,
// and the reason is given on stderr.
TEST_F(UserDefaultsTest, UnreadableFileIsLeftAloneAndReported) {
  const QString folder = env.home() + "/.config";
  QDir().mkpath(folder);
  ASSERT_TRUE(plist::writeFile(file, QVariantMap{{"rememberQuery", false}}));
  const QByteArray before = readBytes(file);
  ::chmod(QFile::encodeName(file).constData(), 0);
  // The child may write in the folder (so it could move the file aside), not read the file.
  for (QString path = folder; path.startsWith(env.path()); path = QFileInfo(path).path())
    ::chmod(QFile::encodeName(path).constData(), 0755);
  ASSERT_EQ(::chown(QFile::encodeName(folder).constData(), unprivilegedUid(), unprivilegedGid()), 0);
  const QString helper = reachableCopy(kHelper, env.path());
  ASSERT_FALSE(helper.isEmpty());

  QProcess child;
  runUnprivileged(child);
  child.start(helper, {"set", file, "key", "1"});
  ASSERT_TRUE(child.waitForFinished(30000)) << child.errorString().toStdString();
  const QString err = QString::fromLocal8Bit(child.readAllStandardError());
  EXPECT_EQ(child.exitCode(), 1);  // its synchronize failed
  EXPECT_TRUE(err.contains("Permission denied") && err.contains("left as it is")) << err.toStdString();
  ::chmod(QFile::encodeName(file).constData(), 0600);
  EXPECT_EQ(readBytes(file), before);
  EXPECT_FALSE(existsOrIsLink(file + ".corrupt"));
}

// Two processes setting different keys at the same time, each synchronizing after every
// change, over a damaged file that both find: no key of either is lost, and the damaged file
// is kept once.
TEST_F(UserDefaultsTest, TwoProcessesKeepEachOthersKeys) {
  constexpr int kKeys = 40;
  writeBytes(file, "damaged");
  QProcess first, second;
  first.start(kHelper, {"set", file, "first", QString::number(kKeys)});
  second.start(kHelper, {"set", file, "second", QString::number(kKeys)});
  ASSERT_TRUE(first.waitForFinished(60000) && second.waitForFinished(60000));
  EXPECT_EQ(first.exitCode(), 0) << first.readAllStandardError().toStdString();
  EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().toStdString();
  const QVariantMap stored = onDisk(file);
  EXPECT_EQ(stored.size(), 2 * kKeys);
  for (int i = 0; i < kKeys; ++i) {
    EXPECT_EQ(stored.value("first" + QString::number(i)), QVariant(qlonglong(i)));
    EXPECT_EQ(stored.value("second" + QString::number(i)), QVariant(qlonglong(i)));
  }
  EXPECT_FALSE(QFileInfo::exists(file + ".lock"));
  EXPECT_EQ(readBytes(file + ".corrupt"), "damaged");
  EXPECT_FALSE(QFileInfo::exists(file + ".corrupt.1"));

  // Removals travel too, and a store that has not written picks the others' keys up.
  UserDefaults defaults(file);
  defaults.removeObjectForKey("first0");
  ASSERT_TRUE(defaults.synchronize());
  QProcess third;
  third.start(kHelper, {"set", file, "third", "1"});
  ASSERT_TRUE(third.waitForFinished(30000));
  ASSERT_TRUE(defaults.synchronize());
  EXPECT_FALSE(defaults.objectForKey("first0").isValid());
  EXPECT_EQ(defaults.objectForKey("third0"), QVariant(qlonglong(0)));
  EXPECT_EQ(onDisk(file).size(), 2 * kKeys);

  // In one process, every user of the file shares one store.
  UserDefaults other(file);
  other.setObject("shared", "k");
  EXPECT_EQ(defaults.stringForKey("k"), "shared");
}

// Inside an event loop a change reaches the disk shortly after, without a synchronize or an
// exit: the helper is killed once the value is there.
TEST_F(UserDefaultsTest, ChangesReachTheDiskWithoutSynchronizeOrQuit) {
  QProcess child;
  child.start(kHelper, {"hold", file, "resetWindowOnLookup", "NO"});
  ASSERT_TRUE(child.waitForReadyRead(30000));
  QDeadlineTimer deadline(30000);
  while (!deadline.hasExpired() && !onDisk(file).contains("resetWindowOnLookup")) QThread::msleep(20);
  EXPECT_EQ(child.state(), QProcess::Running);
  child.kill();
  child.waitForFinished();
  EXPECT_EQ(onDisk(file).value("resetWindowOnLookup").toString(), "NO");
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
