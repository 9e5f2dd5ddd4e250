// SPDX-License-Identifier: GPL-3.0-or-later
// The vocabulon executable: runs a command of the command line, and hands the window (no
// command, or options for it) and lookup-selection to vocabulon-window beside it.
#include <QCoreApplication>
#include <QFile>
#include <QStringList>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

#include "cli/Commands.h"
#include "foundation/StartupTables.h"  // builds the start-up tables before main

namespace {

std::string windowExecutable() {
  char self[4096];
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  if (length <= 0) return "vocabulon-window";
  std::string path(self, std::size_t(length));
  return path.substr(0, path.rfind('/') + 1) + "vocabulon-window";
}

}  // namespace

int main(int argc, char* argv[]) {
  const QString command = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
  QStringList arguments;
  for (int i = 1; i < argc; ++i) arguments.append(QString::fromLocal8Bit(argv[i]));
  // A word that names no command is a mistake, not a reason to open the window; help and the
  // version need no display either.
  const bool commandLine = cli::isHelpRequest(arguments) ||
                           (command != QLatin1String("lookup-selection") &&
                            (cli::isCommand(command) || (!command.isEmpty() && !command.startsWith('-'))));
  if (!commandLine) {
    const std::string window = windowExecutable();
    argv[0] = const_cast<char*>(window.c_str());
    execv(window.c_str(), argv);
    std::fprintf(stderr, "vocabulon: cannot start %s: %s\n", window.c_str(), std::strerror(errno));
    return 1;
  }
  QCoreApplication application(argc, argv);
  QFile out, err, in;
  out.open(stdout, QIODevice::WriteOnly);
  err.open(stderr, QIODevice::WriteOnly);
  in.open(stdin, QIODevice::ReadOnly);
  return cli::run(application.arguments().mid(1), out, err, in);
}
