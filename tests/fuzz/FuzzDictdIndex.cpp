// SPDX-License-Identifier: GPL-3.0-or-later
// The dictd index: any bytes as NAME.index over fixed data. Opening reads every line, lookups
// search and decode offsets, the kept key order must read back.
#include "dictionary/DictZip.h"
#include "dictionary/DictdDictionary.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const QString dict = fuzz::writeFile(QStringLiteral("i.dict"), fuzz::someText(8192));
  const QByteArray input = fuzz::bytesOf(data, size);
  const QString index = fuzz::writeFile(QStringLiteral("i.index"), input);
  const auto dictionary = dictionary::DictdDictionary::open(index, dict);
  if (!dictionary) return 0;
  QString error;
  const qsizetype tab = input.indexOf('\t');
  for (const QString& word : {QString::fromUtf8(input.left(tab < 0 ? 0 : tab)), QStringLiteral("a"),
                              QStringLiteral("00-database-short"), QString::fromUtf8(input.left(8))}) {
    dictionary->define(word, &error);
  }
  const QString order = fuzz::writeFile(QStringLiteral("i.index.order"), dictionary->order());
  std::unique_ptr<dictionary::DictData> opened = dictionary::DictData::open(dict);
  if (const auto reopened = dictionary::DictdDictionary::openWithOrder(index, order, opened, &error)) {
    if (reopened->entryCount() != dictionary->entryCount()) __builtin_trap();
  }
  return 0;
}
