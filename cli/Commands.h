// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The command-line front end: vocabulon define / dictionaries / import.
#include <QStringList>

class QIODevice;

namespace cli {

// True when the first argument names a command of the command line.
bool isCommand(const QString& name);

// True when the arguments (command first) ask for that command's help ("define --help").
bool isHelpRequest(const QStringList& arguments);

// Runs one command (arguments without the program name); the process exit code.
// 0 success, 1 a failure (no dictionary, unreadable data), 2 a usage error.
int run(const QStringList& arguments, QIODevice& out, QIODevice& err, QIODevice& in);

}  // namespace cli
