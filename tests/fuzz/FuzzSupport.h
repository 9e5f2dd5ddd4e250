// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Shared by the fuzz targets: the readers under test read files, so each input is written to
// a file in a private folder first.
#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>

namespace fuzz {

inline QString folder() {
  static QTemporaryDir dir;
  return dir.path();
}

inline QString writeFile(const QString& name, const QByteArray& bytes) {
  const QString path = folder() + QLatin1Char('/') + name;
  QFile file(path);
  if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) file.write(bytes);
  return path;
}

inline QByteArray bytesOf(const std::uint8_t* data, std::size_t size) {
  return QByteArray(reinterpret_cast<const char*>(data), qsizetype(size));
}

// Plain prose to stand for dictionary data that the input's index points into.
inline QByteArray someText(int size) {
  QByteArray out;
  static const char* const kWords[] = {"lantern ", "river\n", "quietly ", "bread ", "the ", "harbour\n", "copper "};
  for (unsigned i = 1; out.size() < size; ++i) out += kWords[(i * 2654435761u >> 7) % 7];
  out.truncate(size);
  return out;
}

}  // namespace fuzz
