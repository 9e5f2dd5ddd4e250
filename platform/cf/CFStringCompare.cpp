// SPDX-License-Identifier: GPL-3.0-or-later
// CFString comparison and search.
//
// Options that make different texts match (case, diacritics, width, canonical equivalence) are
// applied by folding both texts first: each character of the original maps to a run of the
// folded text, so that a match in the folded text can be mapped back to a range of the
// original that begins and ends on whole characters.
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/ucol.h>
#include <unicode/ustring.h>

#include <QLocale>
#include <QString>
#include <memory>
#include <string>
#include <vector>

#include "platform/cf/CFInternal.h"

namespace {

constexpr CFOptionFlags kFoldingOptions = kCFCompareCaseInsensitive | kCFCompareNonliteral |
                                          kCFCompareDiacriticInsensitive |
                                          kCFCompareWidthInsensitive;

// One character of the original (with any diacritics folded away after it) and its run in
// the folded text.
struct Group {
  CFIndex origStart, origEnd;
  CFIndex foldStart, foldEnd;
};

struct Folded {
  std::u16string text;
  std::vector<Group> groups;
};

void appendUtf16(std::u16string* out, char32_t c) {
  if (c >= 0x10000) {
    out->push_back(QChar::highSurrogate(c));
    out->push_back(QChar::lowSurrogate(c));
  } else {
    out->push_back(char16_t(c));
  }
}

std::u32string toCodePoints(const icu::UnicodeString& s) {
  std::u32string result;
  for (int32_t i = 0; i < s.length();) {
    const UChar32 c = s.char32At(i);
    result.push_back(char32_t(c));
    i += U16_LENGTH(c);
  }
  return result;
}

// The full decomposition of c by the normalizer, or c itself when it has none.
std::u32string decomposed(const icu::Normalizer2* normalizer, char32_t c) {
  icu::UnicodeString mapping;
  if (normalizer && normalizer->getDecomposition(UChar32(c), mapping)) return toCodePoints(mapping);
  return std::u32string(1, c);
}

const icu::Normalizer2* nfd() {
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* n = icu::Normalizer2::getNFDInstance(status);
  return U_SUCCESS(status) ? n : nullptr;
}

const icu::Normalizer2* nfkd() {
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* n = icu::Normalizer2::getNFKDInstance(status);
  return U_SUCCESS(status) ? n : nullptr;
}

bool isWidthVariant(char32_t c) {
  const int type = u_getIntPropertyValue(UChar32(c), UCHAR_DECOMPOSITION_TYPE);
  return type == U_DT_WIDE || type == U_DT_NARROW;
}

bool isDiacritic(char32_t c) {
  return u_charType(UChar32(c)) == U_NON_SPACING_MARK &&
         u_hasBinaryProperty(UChar32(c), UCHAR_DIACRITIC);
}

// Appends the folded form of one code point.
void foldCodePoint(char32_t c, CFOptionFlags options, std::u16string* out) {
  std::u32string seq(1, c);
  if ((options & kCFCompareWidthInsensitive) && isWidthVariant(c)) seq = decomposed(nfkd(), c);
  if (options & (kCFCompareNonliteral | kCFCompareDiacriticInsensitive)) {
    std::u32string next;
    for (char32_t d : seq) next += decomposed(nfd(), d);
    seq = std::move(next);
  }
  for (char32_t d : seq) {
    if ((options & kCFCompareDiacriticInsensitive) && isDiacritic(d)) continue;
    if (options & kCFCompareCaseInsensitive) {
      UChar src[2];
      int32_t srcLength = 0;
      U16_APPEND_UNSAFE(src, srcLength, UChar32(d));
      UChar dest[8];
      UErrorCode status = U_ZERO_ERROR;
      const int32_t n = u_strFoldCase(dest, 8, src, srcLength, U_FOLD_CASE_DEFAULT, &status);
      if (U_SUCCESS(status)) {
        out->append(reinterpret_cast<const char16_t*>(dest), size_t(n));
        continue;
      }
    }
    appendUtf16(out, d);
  }
}

Folded fold(QStringView text, CFOptionFlags options, bool withGroups) {
  Folded result;
  result.text.reserve(size_t(text.size()));
  if (!(options & kFoldingOptions)) {
    result.text.assign(reinterpret_cast<const char16_t*>(text.utf16()), size_t(text.size()));
    if (withGroups)
      for (CFIndex i = 0; i < text.size(); ++i) result.groups.push_back({i, i + 1, i, i + 1});
    return result;
  }
  for (CFIndex i = 0; i < text.size();) {
    char32_t c = text[i].unicode();
    CFIndex width = 1;
    if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
      c = QChar::surrogateToUcs4(text[i], text[i + 1]);
      width = 2;
    }
    const CFIndex before = CFIndex(result.text.size());
    foldCodePoint(c, options, &result.text);
    const CFIndex after = CFIndex(result.text.size());
    if (withGroups) {
      // A character folded away entirely (a stripped diacritic) joins the one before it.
      if (after > before)
        result.groups.push_back({i, i + width, before, after});
      else if (!result.groups.empty())
        result.groups.back().origEnd = i + width;
    }
    i += width;
  }
  return result;
}

QString normalizedForCompare(QStringView text, CFOptionFlags options) {
  // Canonical reordering of combining marks matters for whole-text comparison only.
  if (!(options & (kCFCompareNonliteral | kCFCompareDiacriticInsensitive))) return text.toString();
  return text.toString().normalized(QString::NormalizationForm_D);
}

int digitValue(char16_t u) {
  if (u >= u'0' && u <= u'9') return u - u'0';
  if (u < 0x80 || QChar::isSurrogate(u)) return -1;
  return u_charType(u) == U_DECIMAL_DIGIT_NUMBER ? u_charDigitValue(u) : -1;
}

CFComparisonResult sign(int value) {
  return value < 0 ? kCFCompareLessThan : value > 0 ? kCFCompareGreaterThan : kCFCompareEqualTo;
}

CFComparisonResult compareUnits(const std::u16string& a, const std::u16string& b, bool numeric) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (numeric && digitValue(a[i]) >= 0 && digitValue(b[j]) >= 0) {
      // Compare the two runs of digits by value: skip leading zeros, then the longer run is
      // the greater, then the first differing digit decides.
      while (i < a.size() && digitValue(a[i]) == 0) ++i;
      while (j < b.size() && digitValue(b[j]) == 0) ++j;
      size_t endA = i, endB = j;
      while (endA < a.size() && digitValue(a[endA]) >= 0) ++endA;
      while (endB < b.size() && digitValue(b[endB]) >= 0) ++endB;
      if (endA - i != endB - j)
        return endA - i < endB - j ? kCFCompareLessThan : kCFCompareGreaterThan;
      for (; i < endA; ++i, ++j)
        if (digitValue(a[i]) != digitValue(b[j])) return sign(digitValue(a[i]) - digitValue(b[j]));
      continue;
    }
    if (a[i] != b[j]) return a[i] < b[j] ? kCFCompareLessThan : kCFCompareGreaterThan;
    ++i, ++j;
  }
  if (i < a.size()) return kCFCompareGreaterThan;
  if (j < b.size()) return kCFCompareLessThan;
  return kCFCompareEqualTo;
}

struct CollatorCloser {
  void operator()(UCollator* c) const { ucol_close(c); }
};

// The user's collation, one per thread (a collator must not be shared between threads). The
// C locale has no collation of its own (ICU's POSIX one is code-point order), so it gets the
// root collation, as a user without a locale would expect of a sort by name.
UCollator* userCollator() {
  thread_local std::unique_ptr<UCollator, CollatorCloser> collator = [] {
    const QString name = QLocale::system().name();
    const QByteArray locale = name == QLatin1String("C") ? QByteArray() : name.toLatin1();
    UErrorCode status = U_ZERO_ERROR;
    UCollator* c = ucol_open(locale.constData(), &status);
    if (U_FAILURE(status)) {
      status = U_ZERO_ERROR;
      c = ucol_open("", &status);
    }
    return std::unique_ptr<UCollator, CollatorCloser>(U_SUCCESS(status) ? c : nullptr);
  }();
  return collator.get();
}

CFComparisonResult compareTexts(QStringView a, QStringView b, CFOptionFlags options) {
  const bool numeric = options & kCFCompareNumerically;
  if (!(options & (kFoldingOptions | kCFCompareLocalized)) && !numeric) {
    const int c = QStringView(a).compare(b, Qt::CaseSensitive);
    return sign(c);
  }
  const Folded fa = fold(normalizedForCompare(a, options), options, false);
  const Folded fb = fold(normalizedForCompare(b, options), options, false);
  if (options & kCFCompareLocalized) {
    if (UCollator* collator = userCollator()) {
      UErrorCode status = U_ZERO_ERROR;
      ucol_setAttribute(collator, UCOL_NUMERIC_COLLATION, numeric ? UCOL_ON : UCOL_OFF, &status);
      const UCollationResult r = ucol_strcoll(
          collator, reinterpret_cast<const UChar*>(fa.text.data()), int32_t(fa.text.size()),
          reinterpret_cast<const UChar*>(fb.text.data()), int32_t(fb.text.size()));
      if (r != UCOL_EQUAL || !(options & kCFCompareForcedOrdering))
        return r == UCOL_LESS      ? kCFCompareLessThan
               : r == UCOL_GREATER ? kCFCompareGreaterThan
                                   : kCFCompareEqualTo;
    }
  }
  CFComparisonResult r = compareUnits(fa.text, fb.text, numeric);
  if (r == kCFCompareEqualTo && (options & kCFCompareForcedOrdering))
    r = sign(QStringView(a).compare(b, Qt::CaseSensitive));
  return r;
}

}  // namespace

namespace cf {

bool findInText(QStringView text, QStringView pattern, CFOptionFlags options, CFRange* found) {
  if (pattern.isEmpty() || text.isEmpty()) return false;
  const bool backwards = options & kCFCompareBackwards;
  const bool anchored = options & kCFCompareAnchored;
  if (!(options & kFoldingOptions)) {
    qsizetype at;
    if (anchored) {
      at = backwards ? (text.endsWith(pattern) ? text.size() - pattern.size() : -1)
                     : (text.startsWith(pattern) ? 0 : -1);
    } else {
      at = backwards ? text.lastIndexOf(pattern) : text.indexOf(pattern);
    }
    if (at < 0) return false;
    *found = CFRangeMake(at, pattern.size());
    return true;
  }
  const Folded hay = fold(text, options, true);
  const std::u16string needle = fold(pattern, options, false).text;
  if (needle.empty() || needle.size() > hay.text.size()) return false;
  // Which group starts, and which ends, at each folded offset.
  std::vector<CFIndex> startsAt(hay.text.size() + 1, -1), endsAt(hay.text.size() + 1, -1);
  for (size_t g = 0; g < hay.groups.size(); ++g) {
    startsAt[size_t(hay.groups[g].foldStart)] = CFIndex(g);
    endsAt[size_t(hay.groups[g].foldEnd)] = CFIndex(g);
  }
  auto accept = [&](size_t at) {
    const CFIndex first = startsAt[at], last = endsAt[at + needle.size()];
    if (first < 0 || last < 0) return false;
    *found = CFRangeMake(hay.groups[size_t(first)].origStart,
                         hay.groups[size_t(last)].origEnd - hay.groups[size_t(first)].origStart);
    return true;
  };
  if (anchored) {
    const size_t at = backwards ? hay.text.size() - needle.size() : 0;
    return hay.text.compare(at, needle.size(), needle) == 0 && accept(at);
  }
  if (backwards) {
    for (size_t at = hay.text.rfind(needle); at != std::u16string::npos;
         at = at == 0 ? std::u16string::npos : hay.text.rfind(needle, at - 1))
      if (accept(at)) return true;
  } else {
    for (size_t at = hay.text.find(needle); at != std::u16string::npos;
         at = hay.text.find(needle, at + 1))
      if (accept(at)) return true;
  }
  return false;
}

}  // namespace cf

namespace {

bool validRange(CFRange r, CFIndex length) {
  return r.location >= 0 && r.length >= 0 && r.location <= length &&
         r.length <= length - r.location;
}

}  // namespace

CFComparisonResult CFStringCompare(CFStringRef theString1, CFStringRef theString2,
                                   CFStringCompareFlags compareOptions) {
  return compareTexts(cf::text(theString1), cf::text(theString2), compareOptions);
}

CFComparisonResult CFStringCompareWithOptions(CFStringRef theString1, CFStringRef theString2,
                                              CFRange rangeToCompare,
                                              CFStringCompareFlags compareOptions) {
  const QString& a = cf::text(theString1);
  if (!validRange(rangeToCompare, a.size())) rangeToCompare = CFRangeMake(0, a.size());
  return compareTexts(QStringView(a).mid(rangeToCompare.location, rangeToCompare.length),
                      cf::text(theString2), compareOptions);
}

Boolean CFStringFindWithOptions(CFStringRef theString, CFStringRef stringToFind,
                                CFRange rangeToSearch, CFStringCompareFlags searchOptions,
                                CFRange* result) {
  const QString& text = cf::text(theString);
  if (!validRange(rangeToSearch, text.size())) return false;
  CFRange found;
  if (!cf::findInText(QStringView(text).mid(rangeToSearch.location, rangeToSearch.length),
                      cf::text(stringToFind), searchOptions, &found))
    return false;
  if (result) *result = CFRangeMake(found.location + rangeToSearch.location, found.length);
  return true;
}

CFRange CFStringFind(CFStringRef theString, CFStringRef stringToFind,
                     CFStringCompareFlags compareOptions) {
  CFRange found;
  if (CFStringFindWithOptions(theString, stringToFind, CFRangeMake(0, CFStringGetLength(theString)),
                              compareOptions, &found))
    return found;
  return CFRangeMake(kCFNotFound, 0);
}

Boolean CFStringHasPrefix(CFStringRef theString, CFStringRef prefix) {
  const QString& p = cf::text(prefix);
  return !p.isEmpty() && cf::text(theString).startsWith(p);
}

Boolean CFStringHasSuffix(CFStringRef theString, CFStringRef suffix) {
  const QString& s = cf::text(suffix);
  return !s.isEmpty() && cf::text(theString).endsWith(s);
}

CFIndex CFStringFindAndReplace(CFMutableStringRef theString, CFStringRef stringToFind,
                               CFStringRef replacementString, CFRange rangeToSearch,
                               CFStringCompareFlags compareOptions) {
  __CFString* s = cf::asMutable<__CFString>(theString);
  if (!s || !s->isMutable || !validRange(rangeToSearch, s->text.size())) return 0;
  const QString pattern = cf::text(stringToFind);
  const QString replacement = cf::text(replacementString);
  // Find every match in the original first, then replace from the end so that earlier
  // ranges stay valid.
  std::vector<CFRange> matches;
  const bool backwards = compareOptions & kCFCompareBackwards;
  const CFStringCompareFlags forward = compareOptions & ~CFOptionFlags(kCFCompareBackwards);
  CFIndex from = rangeToSearch.location;
  const CFIndex end = rangeToSearch.location + rangeToSearch.length;
  while (from < end) {
    CFRange found;
    if (!cf::findInText(QStringView(s->text).mid(from, end - from), pattern, forward, &found))
      break;
    matches.push_back(CFRangeMake(found.location + from, found.length));
    from += found.location + std::max<CFIndex>(found.length, 1);
    if (compareOptions & kCFCompareAnchored) break;
  }
  if (backwards && (compareOptions & kCFCompareAnchored)) {
    matches.clear();
    CFRange found;
    if (cf::findInText(QStringView(s->text).mid(rangeToSearch.location, rangeToSearch.length),
                       pattern, compareOptions, &found))
      matches.push_back(CFRangeMake(found.location + rangeToSearch.location, found.length));
  }
  for (auto it = matches.rbegin(); it != matches.rend(); ++it)
    s->text.replace(it->location, it->length, replacement);
  return CFIndex(matches.size());
}
