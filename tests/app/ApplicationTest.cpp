// SPDX-License-Identifier: GPL-3.0-or-later
// The whole application in processes of its own: launch, lookup, dictionary choice, quit and
// relaunch; a selection sent from another process through the Services socket; the window's
// state kept on every way out.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QThread>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <csignal>
#include <memory>
#include <ostream>
#include <unistd.h>
#include <string>
#include <utility>

#include "platform/cf/PropertyList.h"
#include "tests/TestDictionaries.h"
#include "tests/TestEnvironment.h"

// Failures show strings as text.
void PrintTo(const QString& string, std::ostream* out) { *out << '"' << string.toStdString() << '"'; }

namespace {

const QString kSession = QStringLiteral(VOCABULON_BINARY_DIR "/tests/app/vocabulon_app_session");
const QString kVocabulon = QStringLiteral(VOCABULON_BINARY_DIR "/vocabulon");

std::string text(const QJsonArray& array) { return QJsonDocument(array).toJson(QJsonDocument::Compact).toStdString(); }

class WholeApplication : public ::testing::Test {
 protected:
  void SetUp() override {
    installDefinitionAction(env);
    addTestDictionary(env, "Animals", {{"cat", "A small furry animal."}, {"dog", "A loyal pet."}});
    addTestDictionary(env, "Plants", {{"cat", "Short for catkin."}});
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("XDG_RUNTIME_DIR", env.path().toLocal8Bit());
  }

  // Runs one session of the application with a script; the reports it printed.
  QList<QJsonObject> session(const QStringList& script) {
    QProcess process;
    process.start(kSession, script);
    EXPECT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    QList<QJsonObject> reports;
    for (const QByteArray& line : process.readAllStandardOutput().split('\n'))
      if (line.startsWith('{')) reports.append(QJsonDocument::fromJson(line).object());
    return reports;
  }

  QVariantMap storedDefaults() const {
    return plist::readFile(env.home() + "/.config/org.vocabulon.Vocabulon.plist").value_or(QVariant()).toMap();
  }

  // A session that runs beside the test: its reports are read as they come.
  struct RunningSession {
    QProcess process;
    QJsonObject nextReport() {
      while (true) {
        if (process.canReadLine()) {
          const QByteArray line = process.readLine();
          if (line.startsWith('{')) return QJsonDocument::fromJson(line).object();
          continue;
        }
        if (!process.waitForReadyRead(30000)) return {};
      }
    }
  };

  QString workflowText(const QString& path) const {
    QFile file(path + "/Contents/document.wflow");
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
  }

  TestEnvironment env;
};

TEST_F(WholeApplication, StateSurvivesQuitAndIsLookedUpAtLaunch) {
  QList<QJsonObject> reports =
      session({"type:cat dog", "define", "report", "choose:Plants", "report", "type:cat", "quit"});
  ASSERT_EQ(reports.size(), 2);
  EXPECT_EQ(reports[0]["result"].toString(), "cat:\nA small furry animal.\n\ndog:\nA loyal pet.\n\n");
  EXPECT_EQ(reports[1]["dictionary"].toString(), "Plants");
  // The choice rewrote the workflow for the new bundle and looked the query up again.
  EXPECT_TRUE(workflowText(reports[1]["workflow"].toString()).contains("/Library/Dictionaries/Plants.dictionary"));
  EXPECT_EQ(reports[1]["result"].toString(), "cat:\nShort for catkin.\n\ndog:\nCould not retrieve definition\n\n");

  const QVariantMap stored = storedDefaults();
  EXPECT_EQ(stored["lastQuery"].toString(), "cat");
  EXPECT_EQ(stored["SavedRecentWords"].toStringList(), QStringList{"cat dog"});
  EXPECT_EQ(stored["LastDictionaryUsed"].toString(), "Plants");

  reports = session({"report", "quit"});
  ASSERT_EQ(reports.size(), 1);
  EXPECT_EQ(reports[0]["query"].toString(), "cat");
  EXPECT_EQ(reports[0]["dictionary"].toString(), "Plants");
  EXPECT_EQ(reports[0]["recent"].toArray().size(), 2);  // "cat" joined "cat dog" at launch
  EXPECT_EQ(reports[0]["result"].toString(), "cat:\nShort for catkin.\n\n");

  // Restricted to the Define button, launching looks nothing up.
  QVariantMap defaults = storedDefaults();
  defaults["lookupOnlyWhenDefineIsClicked"] = true;
  ASSERT_TRUE(plist::writeFile(env.home() + "/.config/org.vocabulon.Vocabulon.plist", defaults));
  reports = session({"report", "quit"});
  ASSERT_EQ(reports.size(), 1);
  EXPECT_EQ(reports[0]["query"].toString(), "cat");
  EXPECT_TRUE(reports[0]["result"].toString().isEmpty());
}

TEST_F(WholeApplication, SelectionFromAnotherProcessIsLookedUpASecondLater) {
  const QString socket = env.path() + QStringLiteral("/org.vocabulon.Vocabulon.services");
  for (const auto& [waitMs, text] : {std::pair{300, QString("dog cat")}, std::pair{1800, QString("cat dog")}}) {
    QProcess app;
    app.start(kVocabulon, {});
    ASSERT_TRUE(app.waitForStarted());
    for (int i = 0; i < 200 && !QFileInfo::exists(socket); ++i) QThread::msleep(50);
    ASSERT_TRUE(QFileInfo::exists(socket));
    QProcess sender;
    sender.start(kVocabulon, {"lookup-selection", text});
    ASSERT_TRUE(sender.waitForFinished(20000));
    EXPECT_EQ(sender.exitCode(), 0) << sender.readAllStandardError().toStdString();
    QThread::msleep(waitMs);
    ::kill(static_cast<pid_t>(app.processId()), SIGTERM);  // a session's logout: a normal end
    ASSERT_TRUE(app.waitForFinished(20000));
    EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
    const QVariantMap stored = storedDefaults();
    EXPECT_EQ(stored["lastQuery"].toString(), text);
    // The lookup, which records the query, comes one second after the request.
    EXPECT_EQ(stored["SavedRecentWords"].toStringList().contains(text), waitMs > 1000) << waitMs;
  }
}

// Launching the window again, as a desktop's launcher or a second click does, brings the
// running window forward and hands it the text; racing launches leave exactly one window.
TEST_F(WholeApplication, OneWindowPerUserAndLaterLaunchesHandTheirTextOver) {
  const QString socket = env.path() + QStringLiteral("/org.vocabulon.Vocabulon.services");
  auto launch = [](const QStringList& arguments) {
    auto process = std::make_unique<QProcess>();
    process->start(kVocabulon, arguments);
    return process;
  };
  std::vector<std::unique_ptr<QProcess>> racing;
  racing.push_back(launch({"--", "dog"}));  // the window's own text, at its first launch
  racing.push_back(launch({}));
  racing.push_back(launch({}));
  for (int i = 0; i < 600; ++i) {
    const auto ended = std::count_if(racing.begin(), racing.end(), [](const auto& p) {
      p->waitForFinished(0);
      return p->state() == QProcess::NotRunning;
    });
    if (ended == 2 && QFileInfo::exists(socket)) break;
    QThread::msleep(50);
  }
  std::unique_ptr<QProcess> window;
  for (auto& process : racing) {
    if (process->state() != QProcess::NotRunning) {
      ASSERT_FALSE(window) << "two windows run";
      window = std::move(process);
    } else {
      EXPECT_EQ(process->exitCode(), 0) << process->readAllStandardError().toStdString();
    }
  }
  ASSERT_TRUE(window);
  QThread::msleep(1500);  // "dog" is looked up a second after it arrived

  struct Later {
    QStringList arguments;
    int exitCode;
    const char* message;
  } later[] = {
      {{}, 0, ""},
      {{"--", "cat", "dog"}, 0, ""},
      {{"--bogus"}, 2, "unknown option --bogus"},
  };
  for (const Later& l : later) {
    auto process = launch(l.arguments);
    ASSERT_TRUE(process->waitForFinished(20000));
    EXPECT_EQ(process->exitCode(), l.exitCode) << l.arguments.join(' ').toStdString();
    EXPECT_TRUE(process->readAllStandardError().contains(l.message));
    EXPECT_EQ(window->state(), QProcess::Running);
  }
  QThread::msleep(1800);  // the handed-over text is looked up a second later
  ::kill(static_cast<pid_t>(window->processId()), SIGTERM);
  ASSERT_TRUE(window->waitForFinished(20000));
  const QVariantMap stored = storedDefaults();
  EXPECT_EQ(stored["lastQuery"].toString(), "cat dog");
  EXPECT_EQ(stored["SavedRecentWords"].toStringList(), (QStringList{"dog", "cat dog"}));
}

TEST_F(WholeApplication, TheWindowKeepsItsSizeAndDivisionOnEveryWayOut) {
  // Whichever way the application ends, the window comes back as it was left.
  const QStringList ways[] = {{"sigterm"}, {"key:Ctrl+Q"}, {"menu:quitAction"}};
  int width = 700;  // above the window's minimum width
  for (const QStringList& way : ways) {
    width += 20;
    const QString size = QStringLiteral("%1,430").arg(width);
    RunningSession running;
    QStringList script{"resize:" + size, "split:90,250", "wait:100", "report"};
    if (way.first() == "sigterm") script << "wait:60000";
    else script << way;
    running.process.start(kSession, script);
    const QJsonObject before = running.nextReport();
    ASSERT_FALSE(before.isEmpty()) << way.first().toStdString();
    if (way.first() == "sigterm") ::kill(static_cast<pid_t>(running.process.processId()), SIGTERM);
    ASSERT_TRUE(running.process.waitForFinished(30000));
    EXPECT_EQ(running.process.exitStatus(), QProcess::NormalExit);

    const QList<QJsonObject> after = session({"report", "quit"});
    ASSERT_EQ(after.size(), 1);
    EXPECT_EQ(text(after[0]["size"].toArray()), text({width, 430})) << way.first().toStdString();
    EXPECT_EQ(text(after[0]["splitter"].toArray()), text(before["splitter"].toArray())) << way.first().toStdString();
  }
}

TEST_F(WholeApplication, ASelectionSentWhileTheSavePanelIsOpenWaitsUntilItCloses) {
  const QString documents = env.home() + "/Documents";
  ASSERT_TRUE(QDir().mkpath(documents));
  const QString go = env.path() + "/go";
  RunningSession running;
  running.process.start(kSession, {"type:cat", "define", "save", "wait:200", "report", "waitfile:" + go, "report",
                                   "savename:kept", "wait:1600", "report", "quit"});
  const QJsonObject open = running.nextReport();
  ASSERT_TRUE(open["panel"].toBool());

  // Another program sends its selection while the panel is open; it is answered at once.
  QProcess sender;
  sender.start(kVocabulon, {"lookup-selection", "dog"});
  ASSERT_TRUE(sender.waitForFinished(20000));
  EXPECT_EQ(sender.exitCode(), 0) << sender.readAllStandardError().toStdString();
  QThread::msleep(1500);  // past the second after which the lookup would have run
  QFile(go).open(QIODevice::WriteOnly);

  const QJsonObject stillOpen = running.nextReport();
  EXPECT_TRUE(stillOpen["panel"].toBool());
  EXPECT_EQ(stillOpen["query"].toString(), "cat");
  EXPECT_EQ(stillOpen["result"].toString(), "cat:\nA small furry animal.\n\n");

  const QJsonObject closed = running.nextReport();
  EXPECT_FALSE(closed["panel"].toBool());
  EXPECT_EQ(closed["query"].toString(), "dog");
  EXPECT_EQ(closed["result"].toString(), "dog:\nA loyal pet.\n\n");
  ASSERT_TRUE(running.process.waitForFinished(30000));

  // What was saved is what the panel was opened on.
  QFile saved(documents + "/kept.rtfd/TXT.rtf");
  ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
  const QByteArray rtf = saved.readAll();
  EXPECT_TRUE(rtf.contains("A small furry animal."));
  EXPECT_FALSE(rtf.contains("loyal"));
}

}  // namespace
