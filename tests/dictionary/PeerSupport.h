#pragma once
// What the peer tests share: the words of a text, split as the application splits a query.
#include <QFile>
#include <QSet>
#include <QString>
#include <QStringList>

namespace peers {

// Separators: white space (Zs and tab), punctuation (Pc Pd Ps Pe Pi Pf Po) and line breaks
// (U+000A-U+000D, U+0085, U+2028, U+2029). Empty pieces are dropped.
inline bool isSeparator(QChar c) {
  const char16_t u = c.unicode();
  if (u == u'\t' || (u >= 0x0a && u <= 0x0d) || u == 0x85 || u == 0x2028 || u == 0x2029) return true;
  switch (c.category()) {
    case QChar::Separator_Space:
    case QChar::Punctuation_Connector:
    case QChar::Punctuation_Dash:
    case QChar::Punctuation_Open:
    case QChar::Punctuation_Close:
    case QChar::Punctuation_InitialQuote:
    case QChar::Punctuation_FinalQuote:
    case QChar::Punctuation_Other:
      return true;
    default:
      return false;
  }
}

inline QStringList splitWords(const QString& text) {
  QStringList words;
  QString word;
  for (const QChar c : text) {
    if (isSeparator(c)) {
      if (!word.isEmpty()) words.append(word);
      word.clear();
    } else {
      word += c;
    }
  }
  if (!word.isEmpty()) words.append(word);
  return words;
}

// The distinct words of the test text, in order of first appearance (a word's answer does
// not depend on where it stands). Empty when the text is missing.
inline QStringList textWords(QString* path = nullptr) {
  const QString file = QStringLiteral(VOCABULON_SOURCE_DIR "/tests/data/text/english-1000.txt");
  if (path) *path = file;
  QFile input(file);
  if (!input.open(QIODevice::ReadOnly)) return {};
  QStringList distinct;
  QSet<QString> seen;
  for (const QString& word : splitWords(QString::fromUtf8(input.readAll()))) {
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
