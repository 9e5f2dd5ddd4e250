// SPDX-License-Identifier: GPL-3.0-or-later
// Started by the tests as a process of its own.
//   lifecycle MODE  Application::run with a delegate that reports each message on standard output
//                   and stores "lastQuery" while terminating. MODE says how it ends: "signal" (the
//                   test sends one after "ready"), "terminate", "close" (the main window),
//                   "close-refused" (the window refuses, then terminate).
//   serve FILE [N]  listens for Services requests under the default name (or hands an empty
//                   request over when an instance runs, and ends), appends one line to
//                   FILE.starts, writes the first text received to FILE, and ends after N texts
//                   (default 1) once FILE.stop exists; each text is appended to FILE.all as a
//                   record "<length>:<text>".
//   squat FOLDER    as another user: makes FOLDER open to all and listens there under the
//                   default socket file name, printing "squatting" and each text it hears.
//   intrude SOCKET  as another user: tries to connect to SOCKET, bind a socket in its place,
//                   read its lock file and list its folder; prints one line per attempt.
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSaveFile>
#include <QTimer>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "platform/cocoa/Application.h"
#include "platform/cocoa/Services.h"
#include "platform/cocoa/UserDefaults.h"

namespace {

void say(const char* line) {
  std::printf("%s\n", line);
  std::fflush(stdout);
}

class Window : public QWidget {
 public:
  bool refuseClose = false;
  void closeEvent(QCloseEvent* event) override { event->setAccepted(!refuseClose); }
};

class Delegate : public QObject {
  Q_OBJECT
 public:
  Delegate(const QByteArray& mode, Window* window) : mode_(mode), window_(window) {}
  Q_INVOKABLE void awakeFromNib() { say("awakeFromNib"); }
  Q_INVOKABLE void applicationDidFinishLaunching(QObject*) {
    say("applicationDidFinishLaunching");
    if (mode_ == "terminate") QTimer::singleShot(0, [] { Application::shared().terminate(); });
    if (mode_ == "close") QTimer::singleShot(0, window_, &QWidget::close);
    if (mode_ == "close-refused") {
      QTimer::singleShot(0, window_, [this] {
        window_->refuseClose = true;
        window_->close();
        QTimer::singleShot(0, [] {  // queued after the application's look at the close
          say("still running");
          Application::shared().terminate();
        });
      });
    }
    say("ready");
  }
  Q_INVOKABLE void applicationWillTerminate(QObject*) {
    say("applicationWillTerminate");
    UserDefaults::standardUserDefaults().setObject(QStringLiteral("stored at quit"),
                                                   QStringLiteral("lastQuery"));
  }

 private:
  QByteArray mode_;
  Window* window_;
};

}  // namespace

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  const QByteArray command = argc >= 3 ? argv[1] : "";
  if (command == "lifecycle") {
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);  // only the main-window rule may end it
    Window window;
    Delegate delegate(argv[2], &window);
    const int code = Application::shared().run([&]() -> QObject* {
      window.show();
      Application::shared().setMainWindow(&window);
      return &delegate;
    });
    // What was stored while terminating must be on disk when run() returns.
    const bool unsaved = UserDefaults::standardUserDefaults().hasPendingChanges();
    std::printf("exit %d%s\n", code, unsaved ? " with unsaved defaults" : "");
    return code;
  }
  if (command == "serve") {
    QCoreApplication application(argc, argv);
    const QString output = QString::fromLocal8Bit(argv[2]);
    const int wanted = argc > 3 ? std::atoi(argv[3]) : 1;
    ServicesProvider services;
    int exitCode = 0;
    if (handOverToRunningInstance(services, QString(), nullptr, &exitCode)) return exitCode;
    QFile starts(output + ".starts");  // only the one instance that serves counts
    if (starts.open(QIODevice::Append)) starts.write("started\n");
    starts.close();
    int heard = 0;
    if (!services.registerHandler([&](Pasteboard& pasteboard, const QString&, QString*) {
          const QString text = pasteboard.stringForType(NSStringPboardType);
          if (text.isEmpty()) return;  // a launch that handed over, only to raise us
          QFile all(output + ".all");
          if (all.open(QIODevice::Append)) all.write(QByteArray::number(text.size()) + ':' + text.toUtf8());
          all.close();
          if (++heard == 1) {
            QSaveFile file(output);
            if (file.open(QIODevice::WriteOnly)) {
              file.write(text.toUtf8());
              file.commit();
            }
          }
        }))
      return 2;
    // Ends after N texts once FILE.stop exists, so that a late launch finds it still running.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      if (heard >= wanted && QFileInfo::exists(output + ".stop")) QCoreApplication::quit();
    });
    poll.start(50);
    QTimer::singleShot(60000, &application, &QCoreApplication::quit);  // never outlive a test
    return application.exec();
  }
  if (command == "squat") {
    QCoreApplication application(argc, argv);
    const QString folder = QString::fromLocal8Bit(argv[2]);
    QDir().mkpath(folder);
    ::chmod(QFile::encodeName(folder).constData(), 0777);
    QLocalServer server;
    server.setSocketOptions(QLocalServer::WorldAccessOption);
    const QString name = QFileInfo(ServicesProvider::defaultServerName()).fileName();
    if (!server.listen(QDir(folder).filePath(name.isEmpty() ? "org.vocabulon.Vocabulon.services" : name)))
      return 2;
    QObject::connect(&server, &QLocalServer::newConnection, [&] {
      while (QLocalSocket* socket = server.nextPendingConnection()) {
        QObject::connect(socket, &QLocalSocket::readyRead, [socket] {
          std::printf("heard %s\n", socket->readAll().mid(10).constData());
          std::fflush(stdout);
        });
      }
    });
    say("squatting");
    QTimer::singleShot(60000, &application, &QCoreApplication::quit);
    return application.exec();
  }
  if (command == "intrude") {
    const QByteArray path = argv[2];
    auto outcome = [](const char* what, bool done) {
      std::printf("%s %s\n", what, done ? "succeeded" : std::strerror(errno));
    };
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.constData(), sizeof address.sun_path - 1);
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    outcome("connect", ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0);
    ::close(fd);
    ::unlink(path.constData());
    fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    outcome("bind", ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0);
    ::close(fd);
    fd = ::open((path + ".lock").constData(), O_RDONLY);
    outcome("read-lock", fd >= 0);
    if (fd >= 0) ::close(fd);
    const QByteArray folder = QFileInfo(QString::fromLocal8Bit(path)).path().toLocal8Bit();
    fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY);
    outcome("list", fd >= 0);
    if (fd >= 0) ::close(fd);
    return 0;
  }
  std::fprintf(stderr, "usage: %s lifecycle MODE | serve FILE [N] | squat FOLDER | intrude SOCKET\n", argv[0]);
  return 64;
}

#include "CocoaTestHelper.moc"
