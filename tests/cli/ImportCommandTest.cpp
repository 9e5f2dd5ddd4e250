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

}  // namespace
