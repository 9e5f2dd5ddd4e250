// The vocabulon executable: the commands of the command line.
#include <QCoreApplication>
#include <QFile>

#include "cli/Commands.h"

int main(int argc, char* argv[]) {
  QCoreApplication application(argc, argv);
  QFile out, err, in;
  out.open(stdout, QIODevice::WriteOnly);
  err.open(stderr, QIODevice::WriteOnly);
  in.open(stdin, QIODevice::ReadOnly);
  return cli::run(application.arguments().mid(1), out, err, in);
}
