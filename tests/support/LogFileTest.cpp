// SPDX-License-Identifier: GPL-3.0-or-later
// The log file: lines ended by CR, start and stop lines, opening it through the desktop's opener.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include "platform/carbon/Gestalt.h"
#include "support/LogFile.h"
#include "tests/TestEnvironment.h"

namespace {

class LogFileTest : public ::testing::Test {
 protected:
  QString logPath() const { return env.home() + "/.local/state/log/Lexora.log"; }
  QByteArray log() const {
    QFile f(logPath());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }
  // A program standing in for the desktop's opener: it writes its argument to a file.
  QString recordingOpener() {
    const QString script = env.path() + "/opener.sh";
    QFile f(script);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(("#!/bin/sh\nprintf '%s' \"$1\" > '" + env.path() + "/opened.tmp' && mv '" + env.path() +
             "/opened.tmp' '" + env.path() + "/opened'\n").toUtf8());
    f.close();
    chmod(QFile::encodeName(script).constData(), 0755);
    qputenv("VOCABULON_OPENER", QFile::encodeName(script));
    return env.path() + "/opened";
  }
  QByteArray waitFor(const QString& path) {
    QElapsedTimer timer;
    timer.start();
    while (!QFile::exists(path) && timer.elapsed() < 10000) QThread::msleep(20);
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }
  void TearDown() override { qunsetenv("VOCABULON_OPENER"); }
  TestEnvironment env;
};

TEST_F(LogFileTest, LinesOfTwoPeriodsEndInCarriageReturns) {
  LogLine("before starting");
  EXPECT_FALSE(QFile::exists(logPath()));
  ShowLogFile();  // no Logs folder yet: nothing happens
  for (int period = 0; period < 2; ++period) {
    StartLogging();
    LogLine(period ? "second" : "first");
    LogLine(nullptr);
    StopLogging();
  }
  LogLine("after stopping");
  const QList<QByteArray> lines = log().split('\r');
  ASSERT_EQ(lines.size(), 9) << log().constData();  // eight lines, then nothing after the last CR
  EXPECT_FALSE(log().contains('\n'));
  EXPECT_TRUE(lines[0].startsWith("[Logging starting at 20"));
  EXPECT_TRUE(lines[0].endsWith("]"));
  EXPECT_EQ(lines[1], "first");
  EXPECT_EQ(lines[2], "");
  EXPECT_TRUE(lines[3].startsWith("[Logging stopping at "));
  EXPECT_EQ(lines[5], "second");
  EXPECT_TRUE(lines[7].startsWith("[Logging stopping at "));
  EXPECT_EQ(lines[8], "");
}

TEST_F(LogFileTest, LongMessagesKeepTheirLineEnd) {
  StartLogging();
  for (int length : {253, 254, 255, 300}) LogLine(QByteArray(length, 'x').constData());
  LogLine("next");
  StopLogging();
  const QList<QByteArray> lines = log().split('\r');
  ASSERT_GE(lines.size(), 6);
  EXPECT_EQ(lines[1].size(), 253);
  for (int i : {2, 3, 4}) EXPECT_EQ(lines[i].size(), 254);
  EXPECT_EQ(lines[5], "next");
}

TEST_F(LogFileTest, AnotherWriterIsNeverOverwritten) {
  StartLogging();
  LogLine("ours");
  {
    QFile other(logPath());
    ASSERT_TRUE(other.open(QIODevice::Append));
    other.write("theirs\r");
  }
  LogLine("ours again");
  StopLogging();
  EXPECT_TRUE(log().contains("\rours\rtheirs\rours again\r"));
}

TEST_F(LogFileTest, TheLogOpensInTheDefaultApplication) {
  for (SInt32 version : {0x1068, 0x1024}) {
    ASSERT_EQ(SetGestaltValue('sysv', version), noErr);
    const QString opened = recordingOpener();
    QFile::remove(opened);
    StartLogging();
    StopLogging();
    ShowLogFile();
    EXPECT_EQ(waitFor(opened), QFile::encodeName(QFileInfo(logPath()).canonicalFilePath()));
  }
  ReplaceGestaltValue('sysv', 0x1068);
  // Without a file there is nothing to open.
  QFile::remove(logPath());
  const QString opened = recordingOpener();
  QFile::remove(opened);
  ShowLogFile();
  QThread::msleep(300);
  EXPECT_FALSE(QFile::exists(opened));
  // An opener that cannot start is reported, not taken for success.
  qputenv("VOCABULON_OPENER", "/nonexistent/opener");
  FSRef home;
  ASSERT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8*>(QFile::encodeName(env.home()).constData()), &home, nullptr), noErr);
  EXPECT_NE(OpenWithDefaultApplication(&home), noErr);
}

}  // namespace
