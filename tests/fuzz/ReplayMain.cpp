// SPDX-License-Identifier: GPL-3.0-or-later
// Without libFuzzer (the ordinary build), a fuzz target runs every file of the folders or
// files it is given once: the seed corpus and the inputs that once found faults stay tests.
#include <QByteArray>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
  int runs = 0;
  for (int i = 1; i < argc; ++i) {
    const QString given = QString::fromLocal8Bit(argv[i]);
    QStringList files;
    if (QFileInfo(given).isDir()) {
      QDirIterator it(given, QDir::Files, QDirIterator::Subdirectories);
      while (it.hasNext()) files.append(it.next());
    } else {
      files.append(given);
    }
    files.sort();
    for (const QString& path : files) {
      QFile file(path);
      if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
        return 1;
      }
      const QByteArray bytes = file.readAll();
      LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size()));
      ++runs;
    }
  }
  std::printf("%d inputs run\n", runs);
  return runs > 0 ? 0 : 1;
}
