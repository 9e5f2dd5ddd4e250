// The vocabulon executable: a command of the command line when one is named, else the window.
#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <memory>

#include "app/Interface.h"
#include "app/LexoraAppDelegate.h"
#include "cli/Commands.h"
#include "platform/cocoa/Application.h"
#include "platform/cocoa/Services.h"

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
  // A word that names no command is a mistake, not a reason to open the window; options
  // (Qt's own, such as -platform) go to the window.
  if (cli::isCommand(command) || (!command.isEmpty() && !command.startsWith('-'))) {
    QCoreApplication application(argc, argv);
    QFile out, err, in;
    out.open(stdout, QIODevice::WriteOnly);
    err.open(stderr, QIODevice::WriteOnly);
    in.open(stdin, QIODevice::ReadOnly);
    return cli::run(application.arguments().mid(1), out, err, in);
  }
  QApplication::setApplicationName(QStringLiteral("Vocabulon"));
  QApplication::setDesktopFileName(QStringLiteral("org.vocabulon.Vocabulon"));
  return Application::applicationMain(argc, argv, [] { return static_cast<QObject*>(loadMainInterface()); });
}
