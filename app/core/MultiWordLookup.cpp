#include "app/core/MultiWordLookup.h"

#include <algorithm>

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
