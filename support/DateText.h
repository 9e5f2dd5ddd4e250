// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The current local time on the classic clock (seconds since 1 January 1904), the locale's
// date text for such a time, and a short English text for a duration.
#include <cstddef>

#include "platform/cf/CFLocale.h"
#include "support/StringUtilities.h"

// The current local wall-clock time (daylight saving time counted), low 32 bits.
void GetCurrentLocalSeconds(UInt32* seconds);
// The date of a clock value (local wall-clock time) in the current locale, without a time of
// day, NUL-terminated in the system encoding. The buffer is left untouched when anything fails,
// including a text that does not fit.
void GetDateText(CFDateFormatterStyle dateStyle, UInt32 seconds, char* buffer, std::size_t bufferSize);
// "0 secs", or the pieces "h hr(s) ", "m min(s) ", "s sec(s) " appended to the text.
void FormatDuration(UInt32 seconds, BoundedString& text);
