// SPDX-License-Identifier: GPL-3.0-or-later
// The StarDict .idx: any bytes, with an .ifo that agrees with them on the word count (else
// opening stops at once), over fixed data. The first byte picks 32- or 64-bit offsets and a
// type sequence, so entries are read both ways.
#include "dictionary/StarDictDictionary.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool written = [] {
    fuzz::writeFile(QStringLiteral("x.dict"), fuzz::someText(4096));
    return true;
  }();
  (void)written;
  if (size == 0) return 0;
  const bool wide = data[0] & 1;
  const bool typed = data[0] & 2;
  const QByteArray idx = fuzz::bytesOf(data + 1, size - 1);
  // Count the records the way the reader walks them, so that the count agrees.
  const qsizetype trailer = wide ? 12 : 8;
  qsizetype count = 0;
  for (qsizetype at = 0; at < idx.size(); ++count) {
    const qsizetype nul = idx.indexOf('\0', at);
    if (nul < 0) break;
    at = nul + 1 + trailer;
  }
  QByteArray ifo = "StarDict's dict ifo file\nversion=" + QByteArray(wide ? "3.0.0" : "2.4.2") +
                   "\nwordcount=" + QByteArray::number(count) + "\nbookname=x\n";
  if (wide) ifo += "idxoffsetbits=64\n";
  if (typed) ifo += "sametypesequence=m\n";
  fuzz::writeFile(QStringLiteral("x.idx"), idx);
  const QString ifoPath = fuzz::writeFile(QStringLiteral("x.ifo"), ifo);
  QString error;
  if (const auto opened = dictionary::StarDictDictionary::open(dictionary::StarDictDictionary::filesFor(ifoPath), &error)) {
    const qsizetype nul = idx.indexOf('\0');
    opened->define(QString::fromUtf8(idx.left(nul < 0 ? 0 : nul)), &error);
    opened->define(QStringLiteral("a"), &error);
  }
  return 0;
}
