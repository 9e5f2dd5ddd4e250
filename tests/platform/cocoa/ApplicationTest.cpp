// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/cocoa/Application.h"

#include <QProcess>
#include <csignal>
#include <gtest/gtest.h>

#include "platform/cocoa/UserDefaults.h"
#include "tests/TestEnvironment.h"
#include "tests/platform/cocoa/CocoaTestSupport.h"
#include "tests/platform/cocoa/RecordingDelegate.h"

namespace {

TEST(ApplicationActions, ReachTheDelegateWithTheirSenderAndNothingElse) {
  auto* delegate = new RecordingDelegate;
  QPointer<RecordingDelegate> alive(delegate);
  ScopedDelegate scoped(delegate);
  bool signalled = false;
  QObject::connect(delegate, &RecordingDelegate::somethingHappened, [&] { signalled = true; });
  QObject sender;

  EXPECT_TRUE(Application::shared().sendAction("buttonClicked", &sender));
  EXPECT_TRUE(Application::shared().sendAction("selItemRecentMenu:", &sender));
  // Signals, private slots and QObject's own methods are not actions.
  for (const char* selector : std::initializer_list<const char*>{"noSuchAction", "somethingHappened", "notForActions", "destroyed",
                               "deleteLater", "", nullptr})
    EXPECT_FALSE(Application::shared().sendAction(selector, &sender)) << (selector ? selector : "null");
  flushDeferredDeletes();
  ASSERT_TRUE(alive);
  EXPECT_FALSE(signalled);
  ASSERT_EQ(delegate->calls.size(), 2u);
  EXPECT_EQ(delegate->calls[0].first, "buttonClicked");
  EXPECT_EQ(delegate->calls[1].first, "selItemRecentMenu");
  EXPECT_EQ(delegate->calls[1].second, &sender);

  delete delegate;  // a delegate that went away is not called
  EXPECT_FALSE(Application::shared().sendAction("buttonClicked", &sender));
}

// The main routine runs in a helper process until it is ended one way or another. Every way must
// be an orderly end: the delegate hears of it and what it stored is on disk.
struct Ending {
  const char* mode;
  int signal;  // sent once the helper is ready; 0 for none
  const char* name;
};
void PrintTo(const Ending& ending, std::ostream* out) { *out << ending.name; }

class ApplicationLifecycle : public testing::TestWithParam<Ending> {
 protected:
  TestEnvironment environment_;
  ScopedVariable bundle_{"VOCABULON_MAIN_BUNDLE",
                         makeBundle(environment_.path(), QStringLiteral("org.vocabulon.tests.run"))};
};

TEST_P(ApplicationLifecycle, EndsNormallyAndKeepsWhatWasStored) {
  const Ending ending = GetParam();
  QProcess helper;
  helper.start(QStringLiteral(VOCABULON_COCOA_TEST_HELPER),
               {QStringLiteral("lifecycle"), QString::fromLatin1(ending.mode)});
  QByteArray output;
  if (ending.signal) {
    ASSERT_TRUE(processEventsUntil([&] {
      helper.waitForReadyRead(100);
      output += helper.readAllStandardOutput();
      return output.contains("ready\n") || helper.state() == QProcess::NotRunning;
    }));
    ASSERT_EQ(::kill(pid_t(helper.processId()), ending.signal), 0);
  }
  ASSERT_TRUE(helper.waitForFinished(30000));
  output += helper.readAllStandardOutput();

  EXPECT_EQ(helper.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(helper.exitCode(), 0);
  QStringList expected = {"awakeFromNib", "applicationDidFinishLaunching", "ready"};
  if (QByteArray(ending.mode) == "close-refused") expected << "still running";
  expected << "applicationWillTerminate" << "exit 0";  // "exit 0 with unsaved defaults" is wrong
  EXPECT_EQ(QString::fromUtf8(output).split('\n', Qt::SkipEmptyParts), expected);
  UserDefaults store(UserDefaults::standardFilePath());
  EXPECT_EQ(store.objectForKey(QStringLiteral("lastQuery")), QVariant(QStringLiteral("stored at quit")));
}

INSTANTIATE_TEST_SUITE_P(
    Endings, ApplicationLifecycle,
    testing::Values(Ending{"signal", SIGTERM, "SIGTERM"}, Ending{"signal", SIGHUP, "SIGHUP"},
                    Ending{"signal", SIGINT, "SIGINT"}, Ending{"terminate", 0, "Terminate"},
                    Ending{"close", 0, "MainWindowClosed"},
                    Ending{"close-refused", 0, "CloseRefusedThenTerminate"}),
    [](const testing::TestParamInfo<Ending>& info) { return std::string(info.param.name); });

}  // namespace
