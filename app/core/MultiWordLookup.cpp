// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/core/MultiWordLookup.h"

#include <algorithm>
#include <unicode/uchar.h>
#include <unicode/ustring.h>

#include <QSet>

#include "platform/carbon/UnicodeCollation.h"
#include "platform/cf/CFQt.h"
#include "platform/cf/CFString.h"

bool isWordSeparator(char32_t c) {
  if (c == U'\t' || (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029)
    return true;
  switch (QChar::category(c)) {
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

QStringList wordsOfQuery(const QString& query) {
  QStringList words;
  const QChar* units = query.constData();
  const qsizetype size = query.size();
  qsizetype start = 0;
  for (qsizetype i = 0; i < size;) {
    char32_t c = units[i].unicode();
    qsizetype next = i + 1;
    if (QChar::isHighSurrogate(c) && next < size && units[next].isLowSurrogate()) {
      c = QChar::surrogateToUcs4(units[i], units[next]);
      ++next;
    }
    if (isWordSeparator(c)) {
      if (i > start) words.append(query.mid(start, i - start));
      start = next;
    }
    i = next;
  }
  if (size > start) words.append(query.mid(start));
  return words;
}

namespace {

// Full default case folding, code point by code point: the key under which two words compare
// equal in a case-insensitive CFStringCompare.
QString caseFolded(const QString& word) {
  QString folded(word.size() + 8, Qt::Uninitialized);
  for (int attempt = 0; attempt < 2; ++attempt) {
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length = u_strFoldCase(reinterpret_cast<UChar*>(folded.data()), int32_t(folded.size()),
                                         reinterpret_cast<const UChar*>(word.utf16()), int32_t(word.size()),
                                         U_FOLD_CASE_DEFAULT, &status);
    if (status == U_BUFFER_OVERFLOW_ERROR) {
      folded.resize(length);
      continue;
    }
    if (U_FAILURE(status)) return word;
    folded.truncate(length);
    return folded;
  }
  return word;
}

bool isParagraphBreak(QChar c) { return c == u'\n' || c == u'\r' || c == QChar::ParagraphSeparator; }

}  // namespace

QStringList eachWordOnce(const QStringList& words) {
  QStringList once;
  QSet<QString> seen;
  seen.reserve(words.size());
  for (const QString& word : words) {
    const QString key = caseFolded(word);
    if (seen.contains(key)) continue;
    seen.insert(key);
    once.append(word);
  }
  return once;
}

bool ArrayContainsStringIgnoringCase(const QStringList& array, const QString& string) {
  if (array.isEmpty()) return false;
  CFStringRef wanted = CFStringCreateWithQString(string);
  const bool found = std::any_of(array.cbegin(), array.cend(), [&](const QString& element) {
    CFStringRef candidate = CFStringCreateWithQString(element);
    const bool equal = CFStringCompare(candidate, wanted, kCFCompareCaseInsensitive) == kCFCompareEqualTo;
    CFRelease(candidate);
    return equal;
  });
  CFRelease(wanted);
  return found;
}

CFComparisonResult CompareStringsLikeFinder(const QString& a, const QString& b, void*) {
  // The texts are collated in place: no fixed-size copy, so no length limit and no overrun.
  SInt32 order = 0;
  const OSStatus status = UCCompareTextDefault(
      kFinderLikeCollateOptions, reinterpret_cast<const UniChar*>(a.utf16()), a.size(),
      reinterpret_cast<const UniChar*>(b.utf16()), b.size(), nullptr, &order);
  if (status != noErr) order = a.compare(b, Qt::CaseInsensitive);  // still a total order
  return order < 0 ? kCFCompareLessThan : order > 0 ? kCFCompareGreaterThan : kCFCompareEqualTo;
}

void SortStringsLikeFinder(QStringList& strings) {
  std::stable_sort(strings.begin(), strings.end(), [](const QString& a, const QString& b) {
    return CompareStringsLikeFinder(a, b, nullptr) == kCFCompareLessThan;
  });
}

QList<BlockPiece> outputBlock(const QString& word, const QVariant& definition) {
  if (!definition.isValid()) {
    return {{word, BlockPiece::Plain},
            {QStringLiteral(":\n"), BlockPiece::Plain},
            {QString::fromLatin1(kCouldNotRetrieveDefinition), BlockPiece::Plain},
            {QStringLiteral("\n\n"), BlockPiece::Plain}};
  }
  const QString text = definition.toString();
  QList<BlockPiece> pieces{{word, BlockPiece::Headword},
                           {QStringLiteral(":\n"), BlockPiece::Plain},
                           {text, BlockPiece::Definition}};
  if (!text.endsWith('\n')) pieces.append({QStringLiteral("\n"), BlockPiece::Plain});
  pieces.append({QStringLiteral("\n"), BlockPiece::Plain});
  return pieces;
}

QString outputBlockText(const QString& word, const QVariant& definition) {
  QString text;
  for (const BlockPiece& piece : outputBlock(word, definition)) text += piece.text;
  return text;
}

QList<BlockPiece> compactBlock(QList<BlockPiece> pieces) {
  // Where the block's last two breaks start: (piece, position) pairs, found from the end.
  std::pair<qsizetype, qsizetype> keep[2] = {{-1, -1}, {-1, -1}};
  int found = 0;
  for (qsizetype p = pieces.size() - 1; p >= 0 && found < 2; --p) {
    const QString& text = pieces[p].text;
    for (qsizetype i = text.size() - 1; i >= 0 && found < 2; --i) {
      if (!isParagraphBreak(text[i])) continue;
      if (text[i] == u'\n' && i > 0 && text[i - 1] == u'\r') --i;  // "\r\n" is one break
      keep[found++] = {p, i};
    }
  }
  const auto kept = [&](qsizetype p, qsizetype i) {
    return (keep[0].first == p && keep[0].second == i) || (keep[1].first == p && keep[1].second == i);
  };
  for (qsizetype p = 0; p < pieces.size(); ++p) {
    const QString& text = pieces[p].text;
    if (std::none_of(text.cbegin(), text.cend(), isParagraphBreak)) continue;
    QString compact;
    compact.reserve(text.size());
    qsizetype copied = 0;  // text before this is in `compact`
    for (qsizetype i = 0; i < text.size(); ++i) {
      if (!isParagraphBreak(text[i])) continue;
      const bool keep = kept(p, i);
      if (!keep) {
        compact.append(QStringView(text).mid(copied, i - copied));
        compact.append(QChar::LineSeparator);
      }
      if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;  // one break
      if (!keep) copied = i + 1;
    }
    compact.append(QStringView(text).mid(copied));
    pieces[p].text = compact;
  }
  return pieces;
}
