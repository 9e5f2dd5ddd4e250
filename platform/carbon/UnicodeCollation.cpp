// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/carbon/UnicodeCollation.h"

#include <unicode/ucol.h>
#include <unicode/unorm2.h>
#include <unicode/utf16.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <unordered_map>

namespace {

struct CollatorCloser {
  void operator()(UCollator* collator) const { ucol_close(collator); }
};
using CollatorPtr = std::unique_ptr<UCollator, CollatorCloser>;

// Opening a collator costs far more than a comparison, so each thread keeps one per mask
// for the locale it last saw.
struct CollatorCache {
  std::string locale;
  std::unordered_map<UCCollateOptions, CollatorPtr> byOptions;
};

constexpr UCCollateOptions kKnownOptions =
    kUCCollateComposeInsensitiveMask | kUCCollateWidthInsensitiveMask |
    kUCCollateCaseInsensitiveMask | kUCCollateDiacritInsensitiveMask |
    kUCCollatePunctuationInsensitiveMask | kUCCollatePunctuationSignificantMask |
    kUCCollateDigitsOverrideMask | kUCCollateDigitsAsNumberMask;

OSStatus configure(UCollator* collator, UCCollateOptions options) {
  const bool caseInsensitive = options & kUCCollateCaseInsensitiveMask;
  const bool widthInsensitive = options & kUCCollateWidthInsensitiveMask;
  const bool diacritInsensitive = options & kUCCollateDiacritInsensitiveMask;
  const bool skipPunctuation = (options & kUCCollatePunctuationInsensitiveMask) ||
                               !(options & kUCCollatePunctuationSignificantMask);

  // Diacritics are secondary differences, case and width tertiary. ICU cannot drop width
  // alone at the tertiary level, so a width-insensitive but case-sensitive order compares at
  // the secondary level and brings case back through the separate case level.
  UColAttributeValue strength = UCOL_TERTIARY;
  if (diacritInsensitive) strength = UCOL_PRIMARY;
  else if (caseInsensitive || widthInsensitive) strength = UCOL_SECONDARY;
  const bool caseLevel = !caseInsensitive && strength != UCOL_TERTIARY;

  UErrorCode status = U_ZERO_ERROR;
  ucol_setAttribute(collator, UCOL_STRENGTH, strength, &status);
  ucol_setAttribute(collator, UCOL_CASE_LEVEL, caseLevel ? UCOL_ON : UCOL_OFF, &status);
  ucol_setAttribute(collator, UCOL_ALTERNATE_HANDLING,
                    skipPunctuation ? UCOL_SHIFTED : UCOL_NON_IGNORABLE, &status);
  // Input is not guaranteed to be in any normal form.
  ucol_setAttribute(collator, UCOL_NORMALIZATION_MODE, UCOL_ON, &status);
  // Without the override the locale decides ("en-u-kn" and the like).
  if (options & kUCCollateDigitsOverrideMask) {
    ucol_setAttribute(collator, UCOL_NUMERIC_COLLATION,
                      (options & kUCCollateDigitsAsNumberMask) ? UCOL_ON : UCOL_OFF, &status);
  }
  return U_FAILURE(status) ? OSStatus(kCollateInvalidOptions) : OSStatus(noErr);
}

const UCollator* collatorFor(UCCollateOptions options, OSStatus* result) {
  thread_local CollatorCache cache;
  std::string locale = UCCollationLocale();
  if (locale != cache.locale) {
    cache.byOptions.clear();
    cache.locale = std::move(locale);
  }
  CollatorPtr& slot = cache.byOptions[options];
  if (!slot) {
    UErrorCode status = U_ZERO_ERROR;
    CollatorPtr collator(ucol_open(cache.locale.c_str(), &status));
    if (U_FAILURE(status) || !collator) {
      cache.byOptions.erase(options);
      *result = kCollateMissingUnicodeTableErr;
      return nullptr;
    }
    if (OSStatus configured = configure(collator.get(), options); configured != noErr) {
      cache.byOptions.erase(options);
      *result = configured;
      return nullptr;
    }
    slot = std::move(collator);
  }
  *result = noErr;
  return slot.get();
}

// How many code units canonical decomposition would add: zero for text that is already fully
// decomposed. Two canonically equivalent texts differ in it exactly when one holds composed
// characters where the other holds their decomposed sequences.
long compositionWeight(const UChar* text, int32_t length) {
  UErrorCode status = U_ZERO_ERROR;
  const UNormalizer2* nfd = unorm2_getNFDInstance(&status);
  if (U_FAILURE(status)) return 0;
  long weight = 0;
  UChar buffer[32];
  for (int32_t i = 0; i < length;) {
    const int32_t start = i;
    UChar32 c;
    U16_NEXT(text, i, length, c);
    UErrorCode itemStatus = U_ZERO_ERROR;
    const int32_t decomposed = unorm2_getDecomposition(nfd, c, buffer, 32, &itemStatus);
    if (decomposed > 0) weight += decomposed - (i - start);
  }
  return weight;
}

}  // namespace

std::string UCCollationLocale() {
  const char* value = nullptr;
  for (const char* name : {"LC_ALL", "LC_COLLATE", "LANG"}) {
    value = std::getenv(name);
    if (value && *value) break;
    value = nullptr;
  }
  if (!value) return {};
  // "de_DE.UTF-8@euro": the codeset and the modifier say nothing about the order.
  std::string locale(value, std::strcspn(value, ".@"));
  if (locale == "C" || locale == "POSIX") return {};
  return locale;
}

OSStatus UCCompareTextDefault(UCCollateOptions options, const UniChar* text1, UniCharCount length1,
                              const UniChar* text2, UniCharCount length2, Boolean* equivalent,
                              SInt32* order) {
  if ((!text1 && length1) || (!text2 && length2)) return paramErr;
  if (length1 > UniCharCount(INT32_MAX) || length2 > UniCharCount(INT32_MAX)) return paramErr;
  static const UChar empty[1] = {0};
  const UChar* a = text1 ? reinterpret_cast<const UChar*>(text1) : empty;
  const UChar* b = text2 ? reinterpret_cast<const UChar*>(text2) : empty;
  const auto lengthA = int32_t(length1), lengthB = int32_t(length2);

  options &= kKnownOptions;  // the type byte and unknown bits select nothing here
  OSStatus status = noErr;
  const UCollator* collator = collatorFor(options, &status);
  if (!collator) return status;

  int result = ucol_strcoll(collator, a, lengthA, b, lengthB);
  // ICU always treats canonically equivalent texts as equal; without the compose-insensitive
  // bit they must not be, unless diacritics are ignored anyway.
  if (result == UCOL_EQUAL &&
      !(options & (kUCCollateComposeInsensitiveMask | kUCCollateDiacritInsensitiveMask)) &&
      !(lengthA == lengthB && std::memcmp(a, b, sizeof(UChar) * size_t(lengthA)) == 0)) {
    const long weightA = compositionWeight(a, lengthA), weightB = compositionWeight(b, lengthB);
    result = weightA < weightB ? UCOL_LESS : weightA > weightB ? UCOL_GREATER : UCOL_EQUAL;
  }
  const SInt32 sign = result < 0 ? -1 : result > 0 ? 1 : 0;
  if (order) *order = sign;
  if (equivalent) *equivalent = sign == 0;
  return noErr;
}
