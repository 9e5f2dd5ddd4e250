// SPDX-License-Identifier: GPL-3.0-or-later
// vocabulon-makedict SOURCE.txt OUTPUT/Name.dictionary
// Builds a dictd bundle (dictzip data) from a sample dictionary source file.
#include <QCoreApplication>
#include <QTextStream>

#include "dictionary/SampleSource.h"

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  const QStringList arguments = application.arguments();
  QTextStream err(stderr);
  if (arguments.size() != 3 || !arguments[2].endsWith(QLatin1String(".dictionary"))) {
    err << "usage: vocabulon-makedict SOURCE.txt OUTPUT/Name.dictionary\n";
    return 2;
  }
  QString error;
  const std::optional<dictionary::SampleSource> source = dictionary::readSampleSource(arguments[1], &error);
  if (!source) {
    err << "vocabulon-makedict: " << error << '\n';
    return 1;
  }
  if (source->entries.isEmpty()) {
    err << "vocabulon-makedict: " << arguments[1] << ": no entries\n";
    return 1;
  }
  if (!dictionary::writeSampleBundle(*source, arguments[2], &error)) {
    err << "vocabulon-makedict: " << error << '\n';
    return 1;
  }
  return 0;
}
