// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Small helpers shared by the dictionary tests: files in a temporary folder and varied text.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>

#include "dictionary/DictdFormat.h"

namespace fixtures {

inline bool writeBytes(const QString& path, const QByteArray& bytes) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile file(path);
  return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

inline QByteArray readBytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Text that compresses like prose but never repeats exactly, so that a misplaced byte shows.
inline QByteArray proseBytes(int size, unsigned seed = 1) {
  static const char* const kWords[] = {"lantern", "river", "quietly", "bread", "the", "of", "and", "harbour",
                                       "seventeen", "copper", "whistle", "a", "morning", "under", "glass"};
  QByteArray out;
  unsigned state = seed;
  int line = 0;
  while (out.size() < size) {
    state = state * 1103515245u + 12345u;
    out += kWords[(state >> 16) % 15];
    out += ((state >> 8) % 9 == 0) ? '\n' : ' ';
    if (((state >> 4) % 23) == 0) out += QByteArray::number(++line);
  }
  out.truncate(size);
  return out;
}

// A dictd index line naming where `text` lies inside `data`, with an optional fourth column.
inline QByteArray dictdLine(const QByteArray& headword, const QByteArray& data, const QByteArray& text,
                            const QByteArray& fourth = {}) {
  const qsizetype at = data.indexOf(text);
  EXPECT_GE(at, 0) << text.toStdString();
  QByteArray out = headword + '\t' + dictionary::dictd::encodeNumber(quint64(at)) + '\t' +
                   dictionary::dictd::encodeNumber(quint64(text.size()));
  if (!fourth.isEmpty()) out += '\t' + fourth;
  return out + '\n';
}

}  // namespace fixtures
