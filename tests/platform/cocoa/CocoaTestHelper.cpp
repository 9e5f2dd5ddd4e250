// Started by the tests as a process of its own.
//   lifecycle MODE  Application::run with a delegate that reports each message on standard output
//                   and stores "lastQuery" while terminating. MODE says how it ends: "signal" (the
//                   test sends one after "ready"), "terminate", "close" (the main window),
//                   "close-refused" (the window refuses, then terminate).
//   serve FILE      listens for Services requests under the default name, writes the first text
//                   received to FILE and ends.
#include <QApplication>
#include <QCloseEvent>
#include <QSaveFile>
#include <QTimer>
#include <cstdio>

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
  const QByteArray command = argc == 3 ? argv[1] : "";
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
    ServicesProvider services;
    if (!services.registerHandler([&](Pasteboard& pasteboard, const QString&, QString*) {
          QSaveFile file(output);
          if (file.open(QIODevice::WriteOnly)) {
            file.write(pasteboard.stringForType(NSStringPboardType).toUtf8());
            file.commit();
          }
          QTimer::singleShot(0, &application, &QCoreApplication::quit);
        }))
      return 2;
    QTimer::singleShot(60000, &application, &QCoreApplication::quit);  // never outlive a test
    return application.exec();
  }
  std::fprintf(stderr, "usage: %s lifecycle MODE | serve FILE\n", argv[0]);
  return 64;
}

#include "CocoaTestHelper.moc"
