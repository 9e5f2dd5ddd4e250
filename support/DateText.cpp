// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/DateText.h"

#include <cmath>
#include <vector>

void GetCurrentLocalSeconds(UInt32* seconds) {
  if (!seconds) return;
  CFTimeZoneRef zone = CFTimeZoneCopyDefault();
  const CFAbsoluteTime now = CFAbsoluteTimeGetCurrent();
  const double local = now + CFTimeZoneGetSecondsFromGMT(zone, now) + kCFAbsoluteTimeIntervalSince1904;
  CFRelease(zone);
  *seconds = UInt32(UInt64(SInt64(std::trunc(local))));
}

void GetDateText(CFDateFormatterStyle dateStyle, UInt32 seconds, char* buffer, std::size_t bufferSize) {
  if (!buffer || bufferSize == 0) return;
  CFLocaleRef locale = CFLocaleCopyCurrent();
  if (!locale) return;
  CFDateFormatterRef formatter =
      CFDateFormatterCreate(kCFAllocatorDefault, locale, dateStyle, kCFDateFormatterNoStyle);
  // The clock value is already local wall-clock time: shown in GMT it keeps its own date,
  // where the default zone would shift it a second time (a day off around midnight).
  CFTimeZoneRef gmt = CFTimeZoneCreateWithTimeIntervalFromGMT(kCFAllocatorDefault, 0);
  CFDateFormatterSetProperty(formatter, kCFDateFormatterTimeZone, gmt);
  CFRelease(gmt);
  CFDateRef date = CFDateCreate(kCFAllocatorDefault, double(seconds) - kCFAbsoluteTimeIntervalSince1904);
  CFStringRef text = formatter && date
                         ? CFDateFormatterCreateStringWithDate(kCFAllocatorDefault, formatter, date)
                         : nullptr;
  if (text) {
    // Converted aside first: a failed conversion must not empty the caller's buffer.
    std::vector<char> converted(bufferSize);
    if (CFStringGetCString(text, converted.data(), CFIndex(bufferSize), CFStringGetSystemEncoding()))
      std::copy(converted.begin(), converted.end(), buffer);
  }
  CFRelease(text);
  CFRelease(date);
  CFRelease(formatter);
  CFRelease(locale);
}

void FormatDuration(UInt32 seconds, BoundedString& text) {
  if (seconds == 0) {
    text.Assign("0 secs");
    return;
  }
  const UInt32 h = seconds / 3600, m = seconds % 3600 / 60, s = seconds % 60;
  if (seconds >= 3600) {
    text.AppendNumber(SInt32(h));
    text.Append(h == 1 ? " hr " : " hrs ");
  }
  if (seconds % 3600 >= 60) {
    text.AppendNumber(SInt32(m));
    text.Append(m == 1 ? " min " : " mins ");
  }
  if (s > 0) {
    text.AppendNumber(SInt32(s));
    text.Append(s == 1 ? " sec " : " secs ");
  }
}
