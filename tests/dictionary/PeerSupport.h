// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the peer tests share: the words of the test text, cut as the application cuts a query.
#include <QFile>
#include <QSet>
#include <QString>
#include <QStringList>

#include "app/core/MultiWordLookup.h"

namespace peers {

// The distinct words of the test text, in order of first appearance (a word's answer does
// not depend on where it stands). Empty when the text is missing.
inline QStringList textWords(QString* path = nullptr) {
  const QString file = QStringLiteral(VOCABULON_SOURCE_DIR "/tests/data/text/english-1000.txt");
  if (path) *path = file;
  QFile input(file);
  if (!input.open(QIODevice::ReadOnly)) return {};
  QStringList distinct;
  QSet<QString> seen;
  for (const QString& word : wordsOfQuery(QString::fromUtf8(input.readAll()))) {
    if (!seen.contains(word)) {
      seen.insert(word);
      distinct.append(word);
    }
  }
  return distinct;
}

inline QString trimmedEnd(QString text) {
  while (!text.isEmpty() && text.back().isSpace()) text.chop(1);
  return text;
}

}  // namespace peers
