// SPDX-License-Identifier: GPL-3.0-or-later
// The StarDict .ifo: any bytes parsed, then opened over a fixed one-word .idx and .dict.
#include "dictionary/StarDictDictionary.h"
#include "dictionary/StarDictFormat.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool written = [] {
    fuzz::writeFile(QStringLiteral("f.dict"), QByteArray("a word\n"));
    fuzz::writeFile(QStringLiteral("f.idx"), QByteArray("word\0\0\0\0\0\0\0\0\x07", 13));
    return true;
  }();
  (void)written;
  const QByteArray input = fuzz::bytesOf(data, size);
  QString error;
  if (const auto info = dictionary::stardict::parseIfo(input, &error)) {
    dictionary::stardict::parseIfo(dictionary::stardict::serializeIfo(*info), &error);
  }
  const QString ifo = fuzz::writeFile(QStringLiteral("f.ifo"), input);
  if (const auto opened = dictionary::StarDictDictionary::open(dictionary::StarDictDictionary::filesFor(ifo), &error)) {
    opened->define(QStringLiteral("word"), &error);
  }
  return 0;
}
