// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Unicode collation in the user's default order (the locale of LC_ALL, LC_COLLATE or LANG),
// on ICU. One collator is kept per option mask and locale, per thread.
#include <string>

#include "platform/carbon/MacTypes.h"

typedef UInt32 UCCollateOptions;

enum : UCCollateOptions {
  kUCCollateComposeInsensitiveMask = 0x2,      // composed and decomposed forms compare equal
  kUCCollateWidthInsensitiveMask = 0x4,        // full-width and half-width forms compare equal
  kUCCollateCaseInsensitiveMask = 0x8,         // letter case is ignored
  kUCCollateDiacritInsensitiveMask = 0x10,     // accents and other marks are ignored
  kUCCollatePunctuationInsensitiveMask = 0x20, // punctuation and symbols are skipped
  kUCCollatePunctuationSignificantMask = 0x8000,  // punctuation is compared, not skipped
  kUCCollateDigitsOverrideMask = 0x10000,      // the digit bits below win over the locale's
  kUCCollateDigitsAsNumberMask = 0x20000,      // digit runs compare by numeric value

  kUCCollateStandardOptions = kUCCollateComposeInsensitiveMask | kUCCollateWidthInsensitiveMask,

  // The collation type travels in the high byte; only the standard type exists here.
  kUCCollateTypeHFSExtended = 1,
  kUCCollateTypeSourceMask = 0x000000FF,
  kUCCollateTypeShiftBits = 24,
  kUCCollateTypeMask = kUCCollateTypeSourceMask << kUCCollateTypeShiftBits,
};

// Compares two UTF-16 texts. *order (when asked for) is -1, 0 or 1; *equivalent (when asked
// for) is true when the order is 0. paramErr for a null text of nonzero length, a collation
// error code when ICU cannot provide a collator. Without kUCCollatePunctuationSignificantMask
// punctuation is skipped; kUCCollatePunctuationInsensitiveMask wins over it when both are set.
OSStatus UCCompareTextDefault(UCCollateOptions options, const UniChar* text1, UniCharCount length1,
                              const UniChar* text2, UniCharCount length2, Boolean* equivalent,
                              SInt32* order);

// The ICU locale whose order the comparisons use, read from the environment at each call:
// "" (the root order) for C, POSIX or nothing set.
std::string UCCollationLocale();
