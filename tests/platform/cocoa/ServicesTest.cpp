// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/cocoa/Services.h"

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QLocalSocket>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>
#include <QThread>
#include <QtEndian>
#include <gtest/gtest.h>
#include <atomic>
#include <fcntl.h>
#include <grp.h>
#include <memory>
#include <pwd.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "tests/TestEnvironment.h"
#include "tests/platform/cocoa/CocoaTestSupport.h"

namespace {

class MenuSelectionProvider : public QObject {
  Q_OBJECT
 public:
  QStringList received;  // a null string for a request without text
  Q_INVOKABLE void handleMenuSelection(Pasteboard& pasteboard, const QString&, QString* error) {
    received << pasteboard.stringForType(NSStringPboardType);
    if (received.last() == QStringLiteral("complain")) *error = QStringLiteral("no definition");
  }
};

class ServicesTest : public testing::Test {
 protected:
  void SetUp() override {
    QDir().mkpath(runtime_);
    QFile::setPermissions(runtime_, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  }
  bool listen(ServicesProvider& provider) { return provider.registerProvider(&controller_, name_); }
  bool send(const QString& text, QString* error = nullptr) {
    return runBeside([=, this] { return sendSelectionToRunningInstance(text, 20000, error, name_); });
  }

  TestEnvironment environment_;
  QString runtime_ = environment_.path() + QStringLiteral("/run");
  ScopedVariable runtimeVariable_{"XDG_RUNTIME_DIR", runtime_};
  QString name_ = runtime_ + QStringLiteral("/test.services");
  MenuSelectionProvider controller_;
  QStringList& received_ = controller_.received;
};

TEST_F(ServicesTest, TheProviderGetsTheExactTextOnAPasteboard) {
  ServicesProvider provider;
  ASSERT_TRUE(listen(provider));
  const QString unit = QString::fromUtf8("m\xC3\xB6t \xE2\x80\x94 \xE8\xA9\x9E \xF0\x9F\x93\x96\r\n");
  const QString large = unit.repeated(ServicesProvider::kMaximumTextBytes / unit.toUtf8().size());
  const QStringList texts = {QStringLiteral("word"), QStringLiteral("  spaced  \n"),
                             QString::fromUtf8("Gr\xC3\xBC\xC3\x9F" "e \xE2\x80\x9Cna\xC3\xAFve\xE2\x80\x9D"),
                             large};
  for (const QString& text : texts) {
    QString error = QStringLiteral("untouched");
    ASSERT_TRUE(send(text, &error)) << error.toStdString();
    EXPECT_TRUE(error.isEmpty());
    EXPECT_TRUE(received_.last() == text) << received_.last().size() << " vs " << text.size();
  }
  // Without text the provider still hears of the request, with nothing on the pasteboard.
  ASSERT_TRUE(send(QString()));
  EXPECT_TRUE(received_.last().isNull());
  QString error;  // an error the provider writes goes back to the sender
  ASSERT_TRUE(send(QStringLiteral("complain"), &error));
  EXPECT_EQ(error, QStringLiteral("no definition"));
  // One byte more is refused before anything is sent, and the sender is told why.
  EXPECT_FALSE(send(large + unit, &error));
  EXPECT_TRUE(error.contains(QStringLiteral("at most 1 MiB"))) << error.toStdString();
  EXPECT_EQ(received_.size(), texts.size() + 2);
}

QByteArray request(quint8 version, quint8 flags, quint32 size, const QByteArray& payload) {
  char header[10] = {'V', 'C', 'B', 'S', char(version), char(flags)};
  qToBigEndian(size, header + 6);
  return QByteArray(header, 10) + payload;
}

TEST_F(ServicesTest, MalformedRequestsAreDroppedQuietly) {
  ServicesProvider provider;
  ASSERT_TRUE(listen(provider));
  for (const QByteArray& bytes :
       {QByteArray("GET / HTTP/1.0\r\n\r\n"), request(2, 1, 4, "word"), request(1, 3, 4, "word"),
        request(1, 0, 4, "word"), request(1, 1, 4, "wo\xFF\xFE"), request(1, 1, 1, "\xC3"),
        request(1, 1, 4, "word and more")}) {
    // The server closes the connection without a word.
    const QByteArray answer = runBeside([&] {
      QLocalSocket socket;
      socket.connectToServer(name_);
      if (!socket.waitForConnected(10000)) return QByteArray("no connection");
      socket.write(bytes);
      QByteArray all;
      while (socket.waitForReadyRead(10000)) all += socket.readAll();
      return all + socket.readAll();
    });
    EXPECT_TRUE(answer.isEmpty()) << bytes.left(12).toHex().constData();
  }
  EXPECT_TRUE(received_.isEmpty());
  // A request announced as too long is refused on its header, with the reason.
  const QByteArray refusal = runBeside([&] {
    QLocalSocket socket;
    socket.connectToServer(name_);
    if (!socket.waitForConnected(10000)) return QByteArray("no connection");
    socket.write(request(1, 1, ServicesProvider::kMaximumTextBytes + 1, QByteArray(64 * 1024, 'a')));
    QByteArray all;
    while (socket.waitForReadyRead(10000)) all += socket.readAll();
    return all + socket.readAll();
  });
  EXPECT_TRUE(refusal.startsWith("VCBX")) << refusal.left(12).toHex().constData();
  EXPECT_TRUE(refusal.contains("at most 1 MiB"));
  EXPECT_TRUE(received_.isEmpty());
  ASSERT_TRUE(send(QStringLiteral("after")));  // and still serves
  EXPECT_EQ(received_, QStringList{QStringLiteral("after")});
}

TEST_F(ServicesTest, OneInstanceListensAndWhatACrashLeftIsReplaced) {
  const QByteArray path = QFile::encodeName(name_);
  const int stale = ::socket(AF_UNIX, SOCK_STREAM, 0);  // bound, then left behind
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.constData(), path.size());
  ASSERT_EQ(::bind(stale, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ::close(stale);
  EXPECT_EQ(runBeside([&] { return sendToRunningInstance(QStringLiteral("x"), 5000, nullptr, name_); }),
            ServicesSendResult::NotRunning);

  ServicesProvider first, second;
  EXPECT_FALSE(ServicesProvider::instanceHoldsLock(name_));
  ASSERT_TRUE(listen(first));
  EXPECT_TRUE(ServicesProvider::instanceHoldsLock(name_));
  EXPECT_FALSE(second.claim(name_));
  struct stat status = {};
  ASSERT_EQ(::stat(path.constData(), &status), 0);
  EXPECT_EQ(status.st_mode & 077, 0u);  // nobody else may connect
  EXPECT_FALSE(listen(second));
  ASSERT_TRUE(send(QStringLiteral("to the first")));
  first.unregister();
  EXPECT_FALSE(QFileInfo::exists(name_));
  EXPECT_FALSE(ServicesProvider::instanceHoldsLock(name_));

  QFile other(name_);  // a file that is not a socket is nobody's to remove
  ASSERT_TRUE(other.open(QIODevice::WriteOnly) && other.write("data") == 4);
  other.close();
  EXPECT_FALSE(listen(second));
  EXPECT_EQ(QFileInfo(name_).size(), 4);
}

TEST_F(ServicesTest, LookupSelectionTakesArgumentsThenInputThenTheClipboard) {
  QGuiApplication::clipboard()->setText(QStringLiteral("from the clipboard"));
  EXPECT_EQ(lookupSelectionText({QStringLiteral("two"), QStringLiteral("words")}, nullptr),
            QStringLiteral("two words"));
  QByteArray piped = "piped \xC3\xA9\n\n", nothing, huge(ServicesProvider::kMaximumTextBytes + 3, 'a');
  QBuffer input(&piped), empty(&nothing), hugeInput(&huge);
  for (QBuffer* buffer : {&input, &empty, &hugeInput}) buffer->open(QIODevice::ReadOnly);
  EXPECT_EQ(lookupSelectionText({}, &input), QString::fromUtf8("piped \xC3\xA9"));
  EXPECT_EQ(lookupSelectionText({}, &empty), QStringLiteral("from the clipboard"));
  bool tooLong = false;
  EXPECT_TRUE(lookupSelectionText({}, &hugeInput, &tooLong).isEmpty());
  EXPECT_TRUE(tooLong);
  QGuiApplication::clipboard()->clear();
}

QStringList readRecords(const QString& path) {  // "<length>:<text>" records
  QFile file(path);
  QStringList records;
  if (!file.open(QIODevice::ReadOnly)) return records;
  const QString all = QString::fromUtf8(file.readAll());
  for (qsizetype at = 0; at < all.size();) {
    const qsizetype colon = all.indexOf(u':', at);
    if (colon < 0) break;
    const int length = all.mid(at, colon - at).toInt();
    records << all.mid(colon + 1, length);
    at = colon + 1 + length;
  }
  return records;
}

qsizetype lineCount(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll().count('\n') : -1;
}

// Lets the helper started as the instance end, and waits until it has.
void stopServing(const QString& output) {
  QFile stop(output + ".stop");
  stop.open(QIODevice::WriteOnly);
  stop.close();
  processEventsUntil([] { return !ServicesProvider::instanceHoldsLock(); });
}

TEST_F(ServicesTest, LookupSelectionStartsOneInstanceWhenNoneRuns) {
  ScopedVariable bundle("VOCABULON_MAIN_BUNDLE", makeBundle(environment_.path(), QStringLiteral("org.vocabulon.tests.lookup")));
  const QString output = environment_.path() + QStringLiteral("/received.txt");
  LookupSelectionOptions options;
  options.program = environment_.path() + QStringLiteral("/missing-program");
  options.arguments = {QStringLiteral("serve"), output, QStringLiteral("3")};
  options.launchTimeoutMs = 30000;
  const QStringList texts = {QString::fromUtf8("started on demand \xE2\x9C\x93"), QStringLiteral("second"),
                             QStringLiteral("third")};
  QByteArray messages;
  QBuffer errors(&messages);
  errors.open(QIODevice::WriteOnly);
  EXPECT_EQ(lookupSelection({texts[0]}, nullptr, &errors, options), 1);
  EXPECT_TRUE(messages.contains("lookup-selection: cannot start"));
  options.program = QStringLiteral(VOCABULON_COCOA_TEST_HELPER);
  // Too long: said so, nothing started.
  EXPECT_EQ(lookupSelection({QString(ServicesProvider::kMaximumTextBytes + 1, u'a')}, nullptr, &errors, options), 1);
  EXPECT_TRUE(messages.contains("at most 1 MiB")) << messages.constData();
  EXPECT_FALSE(QFileInfo::exists(output + ".starts"));

  // Three senders at once, none running: one instance starts and hears all three.
  std::vector<std::future<std::pair<int, QByteArray>>> senders;
  for (const QString& text : texts) {
    senders.push_back(std::async(std::launch::async, [&options, text] {
      QByteArray messages;
      QBuffer errors(&messages);
      errors.open(QIODevice::WriteOnly);
      const int code = lookupSelection({text}, nullptr, &errors, options);
      return std::pair{code, messages};
    }));
  }
  for (auto& sender : senders) {
    const auto [code, messages] = sender.get();
    EXPECT_EQ(code, 0) << messages.constData();
  }
  ASSERT_TRUE(processEventsUntil([&] { return readRecords(output + ".all").size() == 3; }));
  const QStringList heard = readRecords(output + ".all");
  EXPECT_EQ(QSet<QString>(texts.begin(), texts.end()), QSet<QString>(heard.begin(), heard.end()));
  QThread::msleep(500);  // a launch that lost the race hands over and ends meanwhile
  EXPECT_EQ(lineCount(output + ".starts"), 1);
  stopServing(output);
}

TEST_F(ServicesTest, TheSocketLivesInAFolderOfTheUsersAlone) {
  ScopedVariable bundle("VOCABULON_MAIN_BUNDLE", makeBundle(environment_.path(), QStringLiteral("org.vocabulon.tests.folder")));
  const QString shared = environment_.path() + QStringLiteral("/shared-tmp");
  const QString perUser = shared + QStringLiteral("/vocabulon-%1").arg(::geteuid());
  const QString cache = environment_.home() + QStringLiteral("/.cache/vocabulon");
  const QString file = QStringLiteral("/org.vocabulon.tests.folder.services");
  const QString open = environment_.path() + QStringLiteral("/open-runtime");
  struct Case {
    const char* what;
    QString runtime;                        // XDG_RUNTIME_DIR, empty: unset
    std::function<void()> prepare;          // what another user left in the shared folder
    QString expected;
  } cases[] = {
      {"the session's runtime folder", runtime_, [] {}, runtime_ + file},
      {"no runtime folder: a private folder made in the temporary folder", QString(), [] {}, perUser + file},
      {"a runtime folder others can enter is not used", open, [&] { QDir().mkpath(open); }, perUser + file},
      {"the per-user name taken by a folder open to all", QString(),
       [&] { QDir().mkpath(perUser); ::chmod(QFile::encodeName(perUser).constData(), 0777); }, cache + file},
      {"the per-user name taken by another owner", QString(),
       [&] { QDir().mkpath(perUser); ::chmod(QFile::encodeName(perUser).constData(), 0700);
             ::chown(QFile::encodeName(perUser).constData(), 12345, 12345); }, cache + file},
      {"the per-user name is a link to a private folder", QString(),
       [&] { QDir().mkpath(runtime_); QFile::link(runtime_, perUser); }, cache + file},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.what);
    QDir(shared).removeRecursively();
    QDir(cache).removeRecursively();
    QDir().mkpath(shared);
    ::chmod(QFile::encodeName(shared).constData(), 01777);
    if (::geteuid() != 0 && QByteArray(c.what).contains("another owner")) continue;  // needs root
    c.prepare();
    ScopedVariable temporary("TMPDIR", shared);
    std::unique_ptr<ScopedVariable> runtime;
    if (!c.runtime.isEmpty()) runtime = std::make_unique<ScopedVariable>("XDG_RUNTIME_DIR", c.runtime);
    else qunsetenv("XDG_RUNTIME_DIR");
    const QString name = ServicesProvider::defaultServerName();
    EXPECT_EQ(name, c.expected);
    struct stat status = {};
    ASSERT_EQ(::lstat(QFile::encodeName(QFileInfo(name).path()).constData(), &status), 0);
    EXPECT_TRUE(S_ISDIR(status.st_mode) && status.st_uid == ::geteuid() && (status.st_mode & 0777) == 0700);
    ServicesProvider provider;  // and it serves there
    ASSERT_TRUE(provider.registerProvider(&controller_));
    EXPECT_EQ(provider.serverName(), name);
  }
}

// A second local user, made for the test, tries to take the socket's name, reach it and read
// what lies beside it; `lookup-selection` meanwhile keeps to one instance.
TEST_F(ServicesTest, AnotherUserCanNeitherTakeNorReachTheSocket) {
  if (::geteuid() != 0) GTEST_SKIP() << "making a second user with useradd needs root";
  if (QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
    GTEST_SKIP() << "setpriv (util-linux) is needed to run as the second user";
  const QString user = QStringLiteral("vcbtest%1").arg(::getpid() % 100000);
  QProcess::execute(QStringLiteral("userdel"), {user});
  if (QProcess::execute(QStringLiteral("useradd"), {QStringLiteral("--no-create-home"), user}) != 0)
    GTEST_SKIP() << "useradd could not make a second user";
  struct Remove {
    QString user;
    ~Remove() { QProcess::execute(QStringLiteral("userdel"), {user}); }
  } remove{user};
  const passwd* account = ::getpwnam(user.toLocal8Bit().constData());
  ASSERT_NE(account, nullptr);
  const QString asOther = QStringLiteral("--reuid=%1 --regid=%2 --clear-groups").arg(account->pw_uid).arg(account->pw_gid);

  // The other user reaches the shared folder and a copy of the helper, nothing else of ours.
  ASSERT_EQ(::chmod(QFile::encodeName(environment_.path()).constData(), 0711), 0);
  const QString shared = environment_.path() + QStringLiteral("/shared-tmp");
  QDir().mkpath(shared);
  ::chmod(QFile::encodeName(shared).constData(), 01777);
  const QString helper = shared + QStringLiteral("/helper");
  ASSERT_TRUE(QFile::copy(QStringLiteral(VOCABULON_COCOA_TEST_HELPER), helper));
  QFile::setPermissions(helper, QFileDevice::Permissions(0x7555));
  ScopedVariable temporary("TMPDIR", shared);
  qunsetenv("XDG_RUNTIME_DIR");
  ScopedVariable bundle("VOCABULON_MAIN_BUNDLE", makeBundle(shared, QStringLiteral("org.vocabulon.Vocabulon")));
  ::chmod(QFile::encodeName(shared + "/Vocabulon.app").constData(), 0755);
  ::chmod(QFile::encodeName(shared + "/Vocabulon.app/Contents").constData(), 0755);
  ::chmod(QFile::encodeName(shared + "/Vocabulon.app/Contents/Info.plist").constData(), 0644);
  auto otherUser = [&](QProcess& process, const QStringList& arguments) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("HOME", shared);
    environment.remove("XDG_CACHE_HOME");
    environment.remove("XDG_RUNTIME_DIR");
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(shared);
    process.start(QStringLiteral("setpriv"), asOther.split(u' ') + QStringList{"--", helper} + arguments);
  };

  // First, it squats the folder name a user without a runtime folder would use.
  const QString squatted = shared + QStringLiteral("/vocabulon-%1").arg(::geteuid());
  QProcess squatter;
  otherUser(squatter, {QStringLiteral("squat"), squatted});
  ASSERT_TRUE(squatter.waitForReadyRead(20000)) << squatter.readAllStandardError().constData();
  ASSERT_TRUE(squatter.readLine().startsWith("squatting"));

  const QString name = ServicesProvider::defaultServerName();
  EXPECT_FALSE(name.startsWith(squatted)) << name.toStdString();
  const QString output = environment_.path() + QStringLiteral("/received.txt");
  LookupSelectionOptions options;
  options.program = QStringLiteral(VOCABULON_COCOA_TEST_HELPER);
  options.arguments = {QStringLiteral("serve"), output, QStringLiteral("3")};
  options.launchTimeoutMs = 30000;
  const QStringList texts = {QStringLiteral("one"), QStringLiteral("two"), QStringLiteral("three")};
  for (const QString& text : texts) {
    QByteArray messages;
    QBuffer errors(&messages);
    errors.open(QIODevice::WriteOnly);
    EXPECT_EQ(lookupSelection({text}, nullptr, &errors, options), 0) << messages.constData();
    if (text == texts[0]) {
      // While our instance serves, the other user tries its socket.
      QProcess intruder;
      otherUser(intruder, {QStringLiteral("intrude"), name});
      ASSERT_TRUE(intruder.waitForFinished(20000));
      const QString report = QString::fromUtf8(intruder.readAllStandardOutput());
      EXPECT_EQ(report.count(QStringLiteral("succeeded")), 0) << report.toStdString();
      EXPECT_EQ(report.count(QStringLiteral("Permission denied")), 4) << report.toStdString();
    }
  }
  ASSERT_TRUE(processEventsUntil([&] { return readRecords(output + ".all").size() == 3; }));
  EXPECT_EQ(readRecords(output + ".all"), texts);
  EXPECT_EQ(lineCount(output + ".starts"), 1);  // one instance for three requests
  stopServing(output);
  squatter.kill();
  squatter.waitForFinished();
  EXPECT_TRUE(squatter.readAllStandardOutput().isEmpty());  // it heard nothing
}

// Many real `lookup-selection` processes at once, while silent connections hold more than
// every slot: each request arrives exactly once; one sender's requests keep their order.
TEST_F(ServicesTest, AFloodOfProcessesIsDeliveredCompletelyAndInOrder) {
  constexpr int kProcesses = 200;
  constexpr int kSilent = ServicesProvider::kMaximumConnections + 16;
  constexpr int kSequence = 30;
  rlimit files = {};
  ::getrlimit(RLIMIT_NOFILE, &files);
  files.rlim_cur = files.rlim_max;
  ::setrlimit(RLIMIT_NOFILE, &files);
  ScopedVariable bundle("VOCABULON_MAIN_BUNDLE", makeBundle(environment_.path(), QStringLiteral("org.vocabulon.tests.flood")));
  ServicesProvider provider;
  ASSERT_TRUE(provider.registerProvider(&controller_));
  const QString name = provider.serverName();

  std::vector<std::unique_ptr<QLocalSocket>> silent;
  for (int i = 0; i < kSilent; ++i) {
    silent.push_back(std::make_unique<QLocalSocket>());
    silent.back()->connectToServer(name);
  }
  // The senders are started and reaped on a thread of their own, so that this thread does
  // nothing but serve. Arguments carry the text: no window system is needed.
  std::vector<std::string> variables;
  for (char** variable = environ; *variable; ++variable) {
    const std::string entry = *variable;
    if (entry.rfind("QT_QPA_PLATFORM=", 0) && entry.rfind("DISPLAY=", 0) && entry.rfind("WAYLAND_DISPLAY=", 0))
      variables.push_back(entry);
  }
  std::vector<char*> environment;
  for (std::string& entry : variables) environment.push_back(entry.data());
  environment.push_back(nullptr);
  const std::string program = VOCABULON_BINARY_DIR "/vocabulon";
  const std::string folder = environment_.path().toStdString();
  QSet<QString> expected;
  for (int i = 0; i < kProcesses; ++i) expected.insert(QStringLiteral("flood %1").arg(i));
  std::vector<int> exitCodes(kProcesses, -1);
  std::atomic<bool> reaped = false;
  std::thread launcher([&] {
    std::vector<pid_t> children(kProcesses, -1);
    for (int i = 0; i < kProcesses; ++i) {
      std::string command = program, verb = "lookup-selection", text = "flood " + std::to_string(i);
      char* arguments[] = {command.data(), verb.data(), text.data(), nullptr};
      posix_spawn_file_actions_t actions;
      posix_spawn_file_actions_init(&actions);
      posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
      posix_spawn_file_actions_addopen(&actions, 2, (folder + "/sender-" + std::to_string(i) + ".err").c_str(),
                                       O_WRONLY | O_CREAT | O_TRUNC, 0600);
      posix_spawn(&children[i], program.c_str(), &actions, nullptr, arguments, environment.data());
      posix_spawn_file_actions_destroy(&actions);
    }
    for (int i = 0; i < kProcesses; ++i) {
      int status = 0;
      if (children[i] > 0 && ::waitpid(children[i], &status, 0) == children[i])
        exitCodes[i] = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    reaped = true;
  });
  // Meanwhile one sender sends a numbered series, each after the last was taken.
  auto series = std::async(std::launch::async, [&] {
    int delivered = 0;
    for (int i = 0; i < kSequence; ++i) {
      QString error;
      delivered += sendSelectionToRunningInstance(QStringLiteral("series %1").arg(i), 20000, &error, name);
    }
    return delivered;
  });
  // Bounded well above what a loaded machine needs; every sender gives up after 10 s anyway.
  const QDeadlineTimer bound(180000);
  while (!bound.hasExpired() &&
         !(reaped && series.wait_for(std::chrono::seconds(0)) == std::future_status::ready))
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  launcher.join();  // the senders give up long before the bound
  EXPECT_EQ(series.get(), kSequence);
  for (int i = 0; i < kProcesses; ++i) {
    QFile errors(environment_.path() + QStringLiteral("/sender-%1.err").arg(i));
    errors.open(QIODevice::ReadOnly);
    EXPECT_EQ(exitCodes[i], 0) << i << ": " << errors.readAll().constData();
  }
  QStringList flood, ordered;
  for (const QString& text : received_) (text.startsWith(QStringLiteral("flood")) ? flood : ordered) << text;
  EXPECT_EQ(flood.size(), kProcesses);  // none twice
  EXPECT_EQ(QSet<QString>(flood.begin(), flood.end()), expected);
  QStringList series_;
  for (int i = 0; i < kSequence; ++i) series_ << QStringLiteral("series %1").arg(i);
  EXPECT_EQ(ordered, series_);
  // The silent connections are let go.
  EXPECT_TRUE(processEventsUntil([&] {
    return std::all_of(silent.begin(), silent.end(),
                       [](const auto& s) { return s->state() == QLocalSocket::UnconnectedState; });
  }));
}

}  // namespace

#include "ServicesTest.moc"
