// SPDX-License-Identifier: GPL-3.0-or-later
// Compressed dictionary data: any bytes as NAME.dict.dz. The header and chunk table are
// checked at open; reads inflate chunks or the whole gzip stream, the copy inflates all.
#include "dictionary/DictZip.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const QString path = fuzz::writeFile(QStringLiteral("z.dict.dz"), fuzz::bytesOf(data, size));
  QString error;
  const auto opened = dictionary::DictData::open(path, &error, 1 << 16);
  if (!opened) return 0;
  QByteArray out;
  for (const auto& [offset, length] : {std::pair<quint64, quint64>{0, 64}, {1000, 70000}, {65535, 2}, {0, 0}}) {
    opened->read(offset, length, &out, &error);
  }
  // The prepared copy's road: everything, in pieces, stopped after a few megabytes.
  std::size_t total = 0;
  opened->inflateInto([&](const char*, std::size_t piece) { return (total += piece) < (8u << 20); }, &error);
  return 0;
}
