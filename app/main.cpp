// SPDX-License-Identifier: GPL-3.0-or-later
// vocabulon-window: the window, and lookup-selection, which sends text to it. One window per
// user: a second launch brings the running one to the front, hands it its text, and ends.
#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QTimer>
#include <cstdio>
#include <cstring>
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
#if VOCABULON_WEB
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
#endif
}

// `vocabulon-window [TEXT...] [-- TEXT...]`: the text to look up in the window, null for none.
// Options are Qt's, which QApplication has taken; any other is a mistake.
bool windowText(const QStringList& arguments, QString* text, QString* unknownOption) {
  QStringList words;
  bool literal = false;
  for (const QString& argument : arguments) {
    if (!literal && argument == QLatin1String("--")) {
      literal = true;
    } else if (!literal && argument.startsWith(u'-')) {
      *unknownOption = argument;
      return false;
    } else {
      words << argument;
    }
  }
  *text = words.isEmpty() ? QString() : words.join(u' ');
  return true;
}

}  // namespace

int main(int argc, char* argv[]) {
  const QString command = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
  // Help and the version need no display.
  for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
    if (!std::strcmp(argv[i], "--version")) return std::printf("vocabulon-window %s\n", VOCABULON_VERSION) < 0;
    if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
      return std::printf("usage: vocabulon-window [-- TEXT...]\n"
                         "The window of vocabulon, looking TEXT up; see vocabulon --help and vocabulon(1).\n") < 0;
    }
  }
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
  QApplication application(argc, argv);
  QFile err;
  err.open(stderr, QIODevice::WriteOnly);
  QString text, unknownOption;
  if (!windowText(application.arguments().mid(1), &text, &unknownOption)) {
    err.write(QStringLiteral("vocabulon: unknown option %1\nusage: vocabulon [-- TEXT...]\n")
                  .arg(unknownOption).toLocal8Bit());
    return 2;
  }
  if (text.toUtf8().size() > ServicesProvider::kMaximumTextBytes) {
    err.write(QStringLiteral("vocabulon: %1\n").arg(servicesTextTooLongMessage(text.toUtf8().size())).toUtf8());
    return 1;
  }
  ServicesProvider& services = Application::shared().servicesProvider();
  int exitCode = 0;
  if (handOverToRunningInstance(services, text, &err, &exitCode)) return exitCode;
  // Only the one instance registers as a process that takes Apple events.
  AEInstallEventHandler(kCoreEventClass, kAEOpenDocuments, AcceptOpenDocuments, 0, false);
  // This is the one instance: its own text arrives as a request would, once launching is done.
  if (!text.isNull()) {
    QTimer::singleShot(0, &services, [&services, text] { services.deliverLocally(text); });
  }
  return Application::shared().run([] { return static_cast<QObject*>(loadMainInterface()); });
}
