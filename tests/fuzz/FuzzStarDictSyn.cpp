// SPDX-License-Identifier: GPL-3.0-or-later
// The StarDict .syn: any bytes as the synonyms of a fixed three-word dictionary.
#include "dictionary/StarDictDictionary.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const QString ifo = [] {
    fuzz::writeFile(QStringLiteral("s.dict"), QByteArray("onetwothree"));
    fuzz::writeFile(QStringLiteral("s.idx"), QByteArray("one\0\0\0\0\0\0\0\0\x03"
                                                        "three\0\0\0\0\x06\0\0\0\x05"
                                                        "two\0\0\0\0\x03\0\0\0\x03",
                                                        38));
    return fuzz::writeFile(QStringLiteral("s.ifo"),
                           "StarDict's dict ifo file\nversion=2.4.2\nwordcount=3\nbookname=s\nsametypesequence=m\n");
  }();
  const QByteArray syn = fuzz::bytesOf(data, size);
  fuzz::writeFile(QStringLiteral("s.syn"), syn);
  QString error;
  if (const auto opened = dictionary::StarDictDictionary::open(dictionary::StarDictDictionary::filesFor(ifo), &error)) {
    const qsizetype nul = syn.indexOf('\0');
    opened->define(QString::fromUtf8(syn.left(nul < 0 ? 0 : nul)), &error);
    opened->define(QStringLiteral("one"), &error);
  }
  return 0;
}
