// vocabulon-window: the window, and lookup-selection, which sends text to it.
#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <memory>
#include <unistd.h>

#include "app/Interface.h"
#include "app/LexoraAppDelegate.h"
#include "foundation/StartupTables.h"  // builds the start-up tables before main
#include "platform/cocoa/Application.h"
#include "platform/cocoa/Services.h"
#include "support/events/OpenDocuments.h"

namespace {

// Settings the web window's engine reads when it starts, so they must be in place before the
// QApplication is made. Only the window's road takes them; the commands never start it.
void prepareWebEngine() {
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  // Chromium refuses to run as root with its sandbox on, and the web window would then take
  // the whole application down at the first online lookup.
  if (geteuid() == 0) {
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    if (!flags.split(' ').contains("--no-sandbox")) {
      flags = flags.isEmpty() ? QByteArray("--no-sandbox") : flags + " --no-sandbox";
      qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags);
    }
  }
}

}  // namespace

int main(int argc, char* argv[]) {
  const QString command = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
  if (command == QLatin1String("lookup-selection")) {
    QFile in, err;
    in.open(stdin, QIODevice::ReadOnly);
    err.open(stderr, QIODevice::WriteOnly);
    // The selection and the clipboard need the window system; without one, only the
    // arguments and standard input can carry the text.
    const bool display = qEnvironmentVariableIsSet("DISPLAY") || qEnvironmentVariableIsSet("WAYLAND_DISPLAY") ||
                         qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
    std::unique_ptr<QCoreApplication> application;
    if (display) application = std::make_unique<QApplication>(argc, argv);
    else application = std::make_unique<QCoreApplication>(argc, argv);
    return lookupSelection(application->arguments().mid(2), &in, &err);
  }
  prepareWebEngine();
  QApplication::setApplicationName(QStringLiteral("Vocabulon"));
  QApplication::setDesktopFileName(QStringLiteral("org.vocabulon.Vocabulon"));
  AEInstallEventHandler(kCoreEventClass, kAEOpenDocuments, AcceptOpenDocuments, 0, false);
  return Application::applicationMain(argc, argv, [] { return static_cast<QObject*>(loadMainInterface()); });
}
