// SPDX-License-Identifier: GPL-3.0-or-later
// `vocabulon import` run as the real executable: special files, and real signals sent to an
// import at work.
#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <csignal>
#include <sys/stat.h>

#include "tests/TestDictionaries.h"
#include "tests/TestEnvironment.h"

namespace {

const QString kExecutable = QStringLiteral(VOCABULON_BINARY_DIR "/vocabulon");
const QString kGcide = QStringLiteral("/usr/share/dictd/gcide.index");

class ImportCommand : public ::testing::Test {
 protected:
  void SetUp() override { installDefinitionAction(env); }

  QString run(const QStringList& arguments, int* exitCode = nullptr) {
    QProcess process;
    process.start(kExecutable, arguments);
    process.closeWriteChannel();
    EXPECT_TRUE(process.waitForFinished(20000)) << arguments.join(' ').toStdString();
    if (exitCode) *exitCode = process.exitCode();
    return QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
  }

  // The hidden folders an import builds bundles in.
  QStringList building() const {
    return QDir(env.dictionariesFolder()).entryList({QStringLiteral(".import-*")}, QDir::Dirs | QDir::Hidden);
  }

  // Starts an import of GCIDE and waits until it has linked the data into the bundle it
  // builds: the uncompressed copy (about 40 MB) then takes a while.
  void startLongImport(QProcess& process) {
    process.start(kExecutable, {QStringLiteral("import"), kGcide});
    ASSERT_TRUE(process.waitForStarted());
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 20000) {
      for (const QString& folder : building()) {
        const QDir inside(env.dictionariesFolder() + QLatin1Char('/') + folder);
        if (inside.exists(QStringLiteral("gcide.dict.dz"))) return;
      }
      ASSERT_EQ(process.state(), QProcess::Running) << "the import ended before it could be interrupted";
      usleep(1000);
    }
    FAIL() << "the import never started its copy";
  }

  TestEnvironment env;
};

TEST_F(ImportCommand, SpecialFilesAreRefusedAtOnce) {
  const QString folder = env.path() + QStringLiteral("/share");
  ASSERT_TRUE(QDir().mkpath(folder));
  writeTestDictd(folder + QStringLiteral("/plain"), QStringLiteral("Plain"), {{"cat", "A cat."}});
  struct Case {
    const char* name;
    const char* special;  // "fifo" or the device a link points to
  };
  for (const Case& c : {Case{"fifo.index", "fifo"}, Case{"zero.index", "/dev/zero"}, Case{"fifo.ifo", "fifo"},
                        Case{"zero.ifo", "/dev/zero"}}) {
    SCOPED_TRACE(c.name);
    const QString path = folder + QLatin1Char('/') + QLatin1String(c.name);
    if (QLatin1String(c.special) == QLatin1String("fifo")) {
      ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    } else {
      ASSERT_TRUE(QFile::link(QLatin1String(c.special), path));
    }
    QFile::copy(folder + QStringLiteral("/plain.dict.dz"), path.left(path.lastIndexOf('.')) + QStringLiteral(".dict.dz"));
    int exitCode = 0;
    const QString said = run({QStringLiteral("import"), path}, &exitCode);
    EXPECT_EQ(exitCode, 1);
    EXPECT_TRUE(said.contains(QLatin1String("not a regular file"))) << said.toStdString();
  }
  // Found in a folder, each is named and refused (the two links lead to one device, taken
  // once), and the good one beside them imported.
  int exitCode = 0;
  const QString said = run({QStringLiteral("import"), folder}, &exitCode);
  EXPECT_EQ(exitCode, 1);
  EXPECT_EQ(said.count(QLatin1String("not a regular file")), 3) << said.toStdString();
  EXPECT_TRUE(said.contains(QLatin1String("imported ") + folder + QStringLiteral("/plain.index"))) << said.toStdString();
  EXPECT_TRUE(building().isEmpty());
}

// Ctrl-C, a kill and a hang-up take the half-built bundle with them, and the process ends by
// the signal.
TEST_F(ImportCommand, AnInterruptedImportLeavesNothingBehind) {
  if (!QFile::exists(kGcide)) GTEST_SKIP() << "dict-gcide is not installed";
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signal);
    QProcess process;
    startLongImport(process);
    ASSERT_EQ(::kill(pid_t(process.processId()), signal), 0);
    ASSERT_TRUE(process.waitForFinished(20000));
    EXPECT_EQ(process.exitStatus(), QProcess::CrashExit);
    EXPECT_EQ(process.exitCode(), signal);
    EXPECT_TRUE(building().isEmpty()) << building().join(' ').toStdString();
    EXPECT_TRUE(QDir(env.dictionariesFolder()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
  }
}

// What a kill -9 leaves is never listed nor chosen, and the next import removes it.
TEST_F(ImportCommand, WhatAKilledImportLeftIsHiddenThenSwept) {
  if (!QFile::exists(kGcide)) GTEST_SKIP() << "dict-gcide is not installed";
  QProcess process;
  startLongImport(process);
  ASSERT_EQ(::kill(pid_t(process.processId()), SIGKILL), 0);
  ASSERT_TRUE(process.waitForFinished(20000));
  ASSERT_EQ(building().size(), 1);

  addTestDictionary(env, QStringLiteral("Animals"), {{"cat", "A small furry animal."}});
  int exitCode = 0;
  EXPECT_EQ(run({QStringLiteral("dictionaries")}, &exitCode).count(QLatin1Char('\n')), 1);
  EXPECT_EQ(run({QStringLiteral("define"), QStringLiteral("cat")}, &exitCode), QStringLiteral("cat:\nA small furry animal.\n\n"));
  EXPECT_EQ(exitCode, 0);

  const QString folder = env.path() + QStringLiteral("/share");
  ASSERT_TRUE(QDir().mkpath(folder));
  writeTestDictd(folder + QStringLiteral("/plain"), QStringLiteral("Plain"), {{"dog", "A dog."}});
  const QString said = run({QStringLiteral("import"), folder + QStringLiteral("/plain.index")}, &exitCode);
  EXPECT_EQ(exitCode, 0) << said.toStdString();
  EXPECT_TRUE(building().isEmpty()) << building().join(' ').toStdString();
}

// On a nearly full disk the uncompressed copy is left out, with a note, and the bundle works
// from the compressed data. The disk is a 4 MB tmpfs mounted over the dictionaries folder in
// a namespace of the test's own; what happens there is checked from inside it.
TEST_F(ImportCommand, ANearlyFullDiskGetsNoCopyAndANote) {
  const QString folder = env.path() + QStringLiteral("/share");
  ASSERT_TRUE(QDir().mkpath(folder));
  ASSERT_TRUE(QDir().mkpath(env.dictionariesFolder()));
  TestEntries entries;
  for (int i = 0; i < 300; ++i) entries.append({QStringLiteral("word%1").arg(i), QStringLiteral("Definition %1.").arg(i)});
  writeTestDictd(folder + QStringLiteral("/small"), QStringLiteral("Small"), entries);
  const QString script = QStringLiteral(
      "mount -t tmpfs -o size=4m none \"$1\" || exit 77\n"
      "head -c 3700k /dev/zero > \"$1/.filler\"\n"  // less free than an eighth of the disk
      "\"$2\" import \"$3\" || exit 1\n"
      "\"$2\" define -d Small word7 || exit 1\n"
      "ls -a \"$1/Small.dictionary\"\n");
  QProcess process;
  process.start(QStringLiteral("unshare"), {QStringLiteral("-rm"), QStringLiteral("sh"), QStringLiteral("-c"), script,
                                            QStringLiteral("sh"), env.dictionariesFolder(), kExecutable,
                                            folder + QStringLiteral("/small.index")});
  ASSERT_TRUE(process.waitForFinished(30000));
  const QString out = QString::fromUtf8(process.readAllStandardOutput());
  const QString err = QString::fromUtf8(process.readAllStandardError());
  if (process.exitStatus() != QProcess::NormalExit || process.exitCode() == 77 ||
      (process.exitCode() != 0 && err.contains(QLatin1String("unshare")))) {
    GTEST_SKIP() << "cannot mount a small file system here: " << err.toStdString();
  }
  ASSERT_EQ(process.exitCode(), 0) << err.toStdString();
  EXPECT_TRUE(err.contains(QLatin1String("not enough free space for its uncompressed copy"))) << err.toStdString();
  EXPECT_TRUE(out.contains(QLatin1String("word7:\nDefinition 7.\n"))) << out.toStdString();
  EXPECT_TRUE(out.contains(QLatin1String("small.dict.dz")));
  EXPECT_FALSE(out.contains(QLatin1String(".prepared"))) << out.toStdString();
  EXPECT_FALSE(out.contains(QLatin1String(".import-")));
}

}  // namespace
