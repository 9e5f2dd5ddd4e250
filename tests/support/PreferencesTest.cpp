// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QVariantMap>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/cf/CFBundle.h"
#include "platform/cf/CFNumber.h"
#include "platform/cf/CFPreferences.h"
#include "platform/cf/CFQt.h"
#include "platform/cf/PropertyList.h"
#include "platform/cocoa/UserDefaults.h"
#include "support/BundleInfo.h"
#include "tests/TestEnvironment.h"
#include "tests/foundation/PrintQString.h"
#include "tests/TestProcesses.h"

namespace {

const QString kHelper = QStringLiteral(VOCABULON_PREFERENCE_HELPER);
const QString kIdentifier = QStringLiteral("org.example.prefs");

struct PascalKey {
  explicit PascalKey(const QByteArray& text) {
    bytes[0] = UInt8(std::min<qsizetype>(text.size(), 255));
    std::memcpy(bytes + 1, text.constData(), bytes[0]);
  }
  Str255 bytes;
};

QByteArray readBytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QVariantMap onDisk(const QString& path) { return plist::readFile(path).value_or(QVariant()).toMap(); }

QVariant copied(const QByteArray& key, bool machineWide) {
  CFPropertyListRef value = CopyPreference(PascalKey(key).bytes, machineWide);
  const QVariant result = CFPropertyListToQVariant(value);
  CFRelease(value);
  return result;
}

OSErr set(const QVariant& value, const QByteArray& key, bool machineWide) {
  CFPropertyListRef cf = CFPropertyListCreateFromQVariant(value);
  const OSErr result = SetPreference(cf, PascalKey(key).bytes, machineWide);
  CFRelease(cf);
  return result;
}

// A main bundle "org.example.prefs" inside a fresh temporary home whose folders any user may
// enter and read.
class Preferences : public ::testing::Test {
 protected:
  void SetUp() override {
    const QString bundle = env.path() + "/Prefs.app";
    ASSERT_TRUE(QDir().mkpath(bundle + "/Contents/Resources"));
    ASSERT_TRUE(plist::writeFile(bundle + "/Contents/Info.plist", QVariantMap{{"CFBundleIdentifier", kIdentifier}}));
    qputenv("VOCABULON_MAIN_BUNDLE", bundle.toUtf8());
    ASSERT_TRUE(QDir().mkpath(env.home() + "/.config"));
    ::chmod(QFile::encodeName(env.path()).constData(), 0755);
  }
  void TearDown() override { qunsetenv("VOCABULON_MAIN_BUNDLE"); }

  QString userFile() const { return env.home() + "/.config/" + kIdentifier + ".plist"; }
  QString machineFile() const { return env.machineConfigHome() + "/" + kIdentifier + ".plist"; }

  TestEnvironment env;
};

TEST_F(Preferences, ValuesAndKeysInTheApplicationDomain) {
  struct Case {
    const char* name;
    QByteArray key;  // the Pascal string's bytes
    QVariant value;
    QString storedKey;
  } cases[] = {
      {"Text", "Text", QString("Größe"), "Text"},
      {"Integer", "Integer", qlonglong(-7), "Integer"},
      {"Real", "Real", 2.5, "Real"},
      {"Boolean", "Boolean", true, "Boolean"},
      {"Array", "Array", QVariantList{"a", qlonglong(1)}, "Array"},
      {"Dictionary", "Dictionary", QVariantMap{{"x", "y"}}, "Dictionary"},
      {"Data", "Data", QByteArray("\0\xff", 2), "Data"},
      {"Date", "Date", QDateTime(QDate(2024, 3, 31), QTime(1, 30), Qt::UTC), "Date"},
      {"Utf8Key", "Größe", "v", "Größe"},
      {"MacRomanKey", "caf\x8E", "v", "café"},  // not UTF-8: read as Mac Roman
      {"CutAtNul", QByteArray("a\0b", 3), "v", "a"},
      {"LongestKey", QByteArray(255, 'k'), "v", QString(255, 'k')},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(set(c.value, c.key, false), noErr) << c.name;
    EXPECT_EQ(copied(c.key, false), c.value) << c.name;
    // Stored only for this user, and found there when asked machine-wide.
    EXPECT_EQ(copied(c.key, true), c.value) << c.name;
    EXPECT_EQ(onDisk(userFile()).value(c.storedKey), c.value) << c.name;
    EXPECT_EQ(UserDefaults::standardUserDefaults().objectForKey(c.storedKey), c.value) << c.name;
  }
  EXPECT_FALSE(QFileInfo::exists(machineFile()));

  // The user defaults and the preferences are one store: no synchronize in between.
  UserDefaults::standardUserDefaults().setObject("from the defaults", "Shared");
  EXPECT_EQ(copied("Shared", false), QVariant("from the defaults"));

  // No key: nothing happens, and still noErr. A value that is not a property list never
  // removes what is stored; a null value does.
  EXPECT_EQ(SetPreference(kCFBooleanTrue, nullptr, false), noErr);
  EXPECT_EQ(CopyPreference(nullptr, false), nullptr);
  EXPECT_EQ(SetPreference(CFBundleGetMainBundle(), PascalKey("Text").bytes, false), noErr);
  EXPECT_EQ(onDisk(userFile()).value("Text"), QVariant("Größe"));
  EXPECT_EQ(SetPreference(nullptr, PascalKey("Text").bytes, false), noErr);
  EXPECT_FALSE(copied("Text", false).isValid());
  EXPECT_FALSE(onDisk(userFile()).contains("Text"));

  // Domains this system does not keep answer nothing and cannot be synchronized.
  const CFStringRef user = kCFPreferencesCurrentUser, anyHost = kCFPreferencesAnyHost;
  CFPreferencesSetValue(CFSTR("k"), kCFBooleanTrue, CFSTR("../escape"), user, anyHost);
  EXPECT_FALSE(CFPreferencesSynchronize(CFSTR("../escape"), user, anyHost));
  EXPECT_FALSE(CFPreferencesSynchronize(kCFPreferencesCurrentApplication, user, kCFPreferencesCurrentHost));
  EXPECT_EQ(CFPreferencesCopyValue(CFSTR("Real"), kCFPreferencesAnyApplication, user, anyHost), nullptr);
  EXPECT_EQ(QDir(env.home() + "/.config").entryList(QDir::Files), QStringList{kIdentifier + ".plist"});
}

// SetPreference and CopyPreference machine-wide, in a child run as root or as an ordinary
// user, over a machine file that an administrator wrote, a damaged one, or none at all.
enum class MachineFile { Administrators, Damaged, None };

struct FallbackCase {
  const char* name;
  bool asRoot;
  MachineFile machineFile;
  QString output;            // the child's lines
  QVariantMap machineAfter;  // empty: the machine file is as it was (or still absent)
  QString errorMention;      // in the child's stderr; empty: stderr is empty
};

void PrintTo(const FallbackCase& c, std::ostream* out) { *out << c.name; }

class MachineWideFallback : public Preferences, public ::testing::WithParamInterface<FallbackCase> {};

TEST_P(MachineWideFallback, ToTheApplicationDomain) {
  const FallbackCase& c = GetParam();
  if (c.asRoot && ::geteuid() != 0) GTEST_SKIP() << "this case needs root (CI runs the tests as root)";

  // The machine folder as on a real system: the administrator's, readable by all. Without a
  // machine file, not even the folder exists.
  const QString folder = env.machineConfigHome();
  ASSERT_TRUE(QDir().mkpath(c.machineFile == MachineFile::None ? QFileInfo(folder).path() : folder));
  for (QString path = folder; path.startsWith(env.path()); path = QFileInfo(path).path())
    ::chmod(QFile::encodeName(path).constData(), 0755);
  if (c.machineFile != MachineFile::None) {
    QFile machine(machineFile());
    ASSERT_TRUE(machine.open(QIODevice::WriteOnly));
    machine.write(c.machineFile == MachineFile::Damaged
                      ? QByteArray("<plist><dict><key>Admin")
                      : plist::serialize(QVariantMap{{"Admin", "from the administrator"}}));
    machine.close();
    ::chmod(QFile::encodeName(machineFile()).constData(), 0644);
  }
  const QByteArray machineBefore = readBytes(machineFile());

  QProcess child;
  child.setProgram(kHelper);
  if (!c.asRoot) {
    if (::geteuid() == 0) {
      child.setProgram(reachableCopy(kHelper, env.path()));
      const QByteArray config = QFile::encodeName(env.home() + "/.config");
      ASSERT_EQ(::chown(config.constData(), unprivilegedUid(), unprivilegedGid()), 0);
      runUnprivileged(child);
    } else {
      ::chmod(QFile::encodeName(QFileInfo::exists(folder) ? folder : QFileInfo(folder).path()).constData(), 0555);
    }
  }
  child.setArguments({"set", "Shared", "machine-wide", "m", "copy", "Shared", "m", "copy", "Shared", "a",
                      "set", "Shared", "for this user", "a", "copy", "Shared", "m", "copy", "Admin", "m",
                      "copy", "Admin", "a"});
  // A writer's restrictive umask must not hide the machine's preferences from other users.
  const mode_t umask = ::umask(077);
  child.start();
  ::umask(umask);
  ASSERT_TRUE(child.waitForFinished(30000)) << child.errorString().toStdString();
  for (QString path = folder; path.startsWith(env.path()); path = QFileInfo(path).path())
    ::chmod(QFile::encodeName(path).constData(), 0755);
  const QString err = QString::fromUtf8(child.readAllStandardError());
  EXPECT_EQ(child.exitCode(), 0) << err.toStdString();
  EXPECT_EQ(QString::fromUtf8(child.readAllStandardOutput()), c.output);
  if (c.errorMention.isEmpty()) {
    EXPECT_EQ(err, "");
  } else {
    EXPECT_TRUE(err.contains(c.errorMention)) << err.toStdString();
  }
  EXPECT_EQ(onDisk(userFile()), (QVariantMap{{"Shared", "for this user"}}));

  QStringList left = QDir(folder).entryList(QDir::Files);  // no lock, no temporary file
  if (c.machineAfter.isEmpty()) {
    EXPECT_EQ(readBytes(machineFile()), machineBefore);
    EXPECT_EQ(left, c.machineFile == MachineFile::None ? QStringList() : QStringList{kIdentifier + ".plist"});
    return;
  }
  EXPECT_EQ(onDisk(machineFile()), c.machineAfter);
  struct stat info {};
  EXPECT_EQ(::stat(QFile::encodeName(machineFile()).constData(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0644u);
  EXPECT_EQ(::stat(QFile::encodeName(folder).constData(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0755u);
  if (c.machineFile == MachineFile::Damaged) {
    EXPECT_EQ(left, QStringList({kIdentifier + ".plist", kIdentifier + ".plist.corrupt"}));
    EXPECT_EQ(readBytes(machineFile() + ".corrupt"), machineBefore);
  } else {
    EXPECT_EQ(left, QStringList{kIdentifier + ".plist"});
  }
}

const QString kAsRootOutput = "0\nmachine-wide\n(null)\n0\nmachine-wide\n";
// An ordinary user's machine-wide value lands in the application domain, and a later value
// for this user is what reads back: nothing of the refused write lingers.
const QString kAsUserOutput = "0\nmachine-wide\nmachine-wide\n0\nfor this user\n";
const QString kAdministrators = "from the administrator\n(null)\n";
const QString kNoAdmin = "(null)\n(null)\n";

INSTANTIATE_TEST_SUITE_P(
    Users, MachineWideFallback,
    ::testing::Values(
        FallbackCase{"Root", true, MachineFile::Administrators, kAsRootOutput + kAdministrators,
                     {{"Admin", "from the administrator"}, {"Shared", "machine-wide"}}, ""},
        FallbackCase{"OrdinaryUser", false, MachineFile::Administrators, kAsUserOutput + kAdministrators, {}, ""},
        FallbackCase{"RootOverDamagedFile", true, MachineFile::Damaged, kAsRootOutput + kNoAdmin,
                     {{"Shared", "machine-wide"}}, "is damaged"},
        FallbackCase{"OrdinaryUserOverDamagedFile", false, MachineFile::Damaged, kAsUserOutput + kNoAdmin, {},
                     "left as it is"},
        FallbackCase{"RootWithoutMachineFolder", true, MachineFile::None, kAsRootOutput + kNoAdmin,
                     {{"Shared", "machine-wide"}}, ""},
        FallbackCase{"OrdinaryUserWithoutMachineFolder", false, MachineFile::None, kAsUserOutput + kNoAdmin, {}, ""}),
    [](const ::testing::TestParamInfo<FallbackCase>& info) { return std::string(info.param.name); });

// Two processes set different keys in the application domain at the same time, over a
// damaged file: every key of both is on disk afterwards, and the damaged file is kept aside
// once, as it was, and reported.
TEST_F(Preferences, TwoProcessesKeepEachOthersKeysAndTheDamagedFile) {
  constexpr int kKeys = 30;
  const QByteArray damaged = "<?xml version=\"1.0\"?><plist><dict><key>lost";
  QFile file(userFile());
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(damaged);
  file.close();

  QProcess first, second;
  first.start(kHelper, {"fill", "first", QString::number(kKeys)});
  second.start(kHelper, {"fill", "second", QString::number(kKeys)});
  ASSERT_TRUE(first.waitForFinished(60000) && second.waitForFinished(60000));
  const QString errors = QString::fromUtf8(first.readAllStandardError() + second.readAllStandardError());
  EXPECT_EQ(first.exitCode() + second.exitCode(), 0) << errors.toStdString();

  const QVariantMap stored = onDisk(userFile());
  EXPECT_EQ(stored.size(), 2 * kKeys);
  for (int i = 0; i < kKeys; ++i) {
    EXPECT_EQ(stored.value("first" + QString::number(i)), QVariant(qlonglong(i)));
    EXPECT_EQ(stored.value("second" + QString::number(i)), QVariant(qlonglong(i)));
  }
  EXPECT_EQ(readBytes(userFile() + ".corrupt"), damaged);
  EXPECT_FALSE(QFileInfo::exists(userFile() + ".corrupt.1"));
  EXPECT_TRUE(errors.contains("is damaged")) << errors.toStdString();
  EXPECT_TRUE(errors.contains(userFile() + ".corrupt")) << errors.toStdString();
}

}  // namespace
