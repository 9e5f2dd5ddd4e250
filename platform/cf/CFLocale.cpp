// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/cf/CFLocale.h"

#include <unicode/datefmt.h>
#include <unicode/locid.h>
#include <unicode/simpletz.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>
#include <unistd.h>

#include <QFileInfo>
#include <memory>
#include <mutex>

#include "platform/cf/CFInternal.h"

namespace {

icu::UnicodeString toUnicode(const QString& s) {
  return icu::UnicodeString(reinterpret_cast<const UChar*>(s.utf16()), int32_t(s.size()));
}
QString fromUnicode(const icu::UnicodeString& u) {
  return QString::fromUtf16(reinterpret_cast<const char16_t*>(u.getBuffer()), u.length());
}
UDate toUDate(CFAbsoluteTime at) { return (at + kCFAbsoluteTimeIntervalSince1970) * 1000.0; }

// A zone the database knows, or null ("Etc/Unknown" is ICU's answer for any other name).
icu::TimeZone* knownZone(const QString& name) {
  if (name.isEmpty()) return nullptr;
  std::unique_ptr<icu::TimeZone> zone(icu::TimeZone::createTimeZone(toUnicode(name)));
  icu::UnicodeString id;
  if (!zone || zone->getID(id) == icu::UnicodeString(u"Etc/Unknown")) return nullptr;
  return zone.release();
}

}  // namespace

struct __CFTimeZone final : cf::Object {
  static constexpr CFTypeID kTypeID = cf::kTimeZoneType;
  explicit __CFTimeZone(icu::TimeZone* z) : Object(kTypeID), zone(z) {
    icu::UnicodeString id;
    name = cf::makeString(fromUnicode(zone->getID(id)));
  }
  ~__CFTimeZone() override { CFRelease(name); }
  bool equals(const Object& other) const override {
    return *zone == *static_cast<const __CFTimeZone&>(other).zone;
  }
  CFHashCode hash() const override { return CFHash(name); }
  QString formattingDescription() const override { return cf::text(name); }
  QString describeContents() const override { return cf::text(name); }

  std::unique_ptr<icu::TimeZone> zone;
  CFStringRef name;
};

struct __CFLocale final : cf::Object {
  static constexpr CFTypeID kTypeID = cf::kLocaleType;
  explicit __CFLocale(const QString& id)
      : Object(kTypeID), locale(id.toUtf8().constData()), identifier(cf::makeString(id)) {}
  ~__CFLocale() override { CFRelease(identifier); }
  bool equals(const Object& other) const override {
    return cf::text(identifier) == cf::text(static_cast<const __CFLocale&>(other).identifier);
  }
  CFHashCode hash() const override { return CFHash(identifier); }
  QString formattingDescription() const override { return cf::text(identifier); }
  QString describeContents() const override { return cf::text(identifier); }

  icu::Locale locale;
  CFStringRef identifier;
};

struct __CFDateFormatter final : cf::Object {
  static constexpr CFTypeID kTypeID = cf::kDateFormatterType;
  explicit __CFDateFormatter(icu::DateFormat* f) : Object(kTypeID), format(f) {}
  ~__CFDateFormatter() override { CFRelease(pattern); }
  QString describeContents() const override { return currentPattern(); }

  QString currentPattern() const {
    icu::UnicodeString p;
    if (auto* simple = dynamic_cast<icu::SimpleDateFormat*>(format.get())) simple->toPattern(p);
    return fromUnicode(p);
  }

  std::unique_ptr<icu::DateFormat> format;
  mutable CFStringRef pattern = nullptr;
};

namespace {

std::mutex defaultZoneMutex;
CFTimeZoneRef defaultZone = nullptr;  // set by CFTimeZoneSetDefault, owned

icu::TimeZone* systemZone() {
  QString tz = qEnvironmentVariable("TZ");
  if (tz.startsWith(u':')) tz.remove(0, 1);
  if (icu::TimeZone* zone = knownZone(tz)) return zone;
  if (tz.isEmpty()) {
    // /etc/localtime links into the zone database: the name is the path below "zoneinfo/".
    const QString target = QFileInfo(QStringLiteral("/etc/localtime")).symLinkTarget();
    const qsizetype at = target.indexOf(QLatin1String("zoneinfo/"));
    if (at >= 0)
      if (icu::TimeZone* zone = knownZone(target.mid(at + 9))) return zone;
  }
  // A POSIX rule in $TZ ("CET-1CEST"), or nothing better: ICU's own reading of the host.
  return icu::TimeZone::detectHostTimeZone();
}

int icuStyle(CFDateFormatterStyle style) {
  switch (style) {
    case kCFDateFormatterNoStyle: return icu::DateFormat::kNone;
    case kCFDateFormatterShortStyle: return icu::DateFormat::kShort;
    case kCFDateFormatterMediumStyle: return icu::DateFormat::kMedium;
    case kCFDateFormatterLongStyle: return icu::DateFormat::kLong;
    case kCFDateFormatterFullStyle: return icu::DateFormat::kFull;
    default: return -2;
  }
}

}  // namespace

// --- Time zones ----------------------------------------------------------------------------------

CFTypeID CFTimeZoneGetTypeID(void) { return cf::kTimeZoneType; }

CFTimeZoneRef CFTimeZoneCopySystem(void) { return new __CFTimeZone(systemZone()); }

CFTimeZoneRef CFTimeZoneCopyDefault(void) {
  {
    std::lock_guard lock(defaultZoneMutex);
    if (defaultZone) return static_cast<CFTimeZoneRef>(CFRetain(defaultZone));
  }
  return CFTimeZoneCopySystem();
}

void CFTimeZoneSetDefault(CFTimeZoneRef tz) {
  std::lock_guard lock(defaultZoneMutex);
  if (tz) CFRetain(tz);
  CFRelease(defaultZone);
  defaultZone = tz;
}

CFTimeZoneRef CFTimeZoneCreateWithName(CFAllocatorRef, CFStringRef name, Boolean) {
  icu::TimeZone* zone = knownZone(cf::text(name));
  return zone ? new __CFTimeZone(zone) : nullptr;
}

CFTimeZoneRef CFTimeZoneCreateWithTimeIntervalFromGMT(CFAllocatorRef, CFTimeInterval ti) {
  const int seconds = int(ti);
  const int minutes = (seconds < 0 ? -seconds : seconds) / 60;
  const QString id = seconds == 0 ? QStringLiteral("GMT")
                                  : QStringLiteral("GMT%1%2%3")
                                        .arg(seconds < 0 ? u'-' : u'+')
                                        .arg(minutes / 60, 2, 10, QChar(u'0'))
                                        .arg(minutes % 60, 2, 10, QChar(u'0'));
  return new __CFTimeZone(new icu::SimpleTimeZone(seconds * 1000, toUnicode(id)));
}

CFStringRef CFTimeZoneGetName(CFTimeZoneRef tz) {
  const __CFTimeZone* z = cf::as<__CFTimeZone>(tz);
  return z ? z->name : nullptr;
}

CFTimeInterval CFTimeZoneGetSecondsFromGMT(CFTimeZoneRef tz, CFAbsoluteTime at) {
  const __CFTimeZone* z = cf::as<__CFTimeZone>(tz);
  if (!z) return 0;
  int32_t raw = 0, dst = 0;
  UErrorCode status = U_ZERO_ERROR;
  z->zone->getOffset(toUDate(at), false, raw, dst, status);
  return U_SUCCESS(status) ? (raw + dst) / 1000.0 : 0;
}

Boolean CFTimeZoneIsDaylightSavingTime(CFTimeZoneRef tz, CFAbsoluteTime at) {
  const __CFTimeZone* z = cf::as<__CFTimeZone>(tz);
  if (!z) return false;
  int32_t raw = 0, dst = 0;
  UErrorCode status = U_ZERO_ERROR;
  z->zone->getOffset(toUDate(at), false, raw, dst, status);
  return U_SUCCESS(status) && dst != 0;
}

// --- Locales ---------------------------------------------------------------------------------------

CFTypeID CFLocaleGetTypeID(void) { return cf::kLocaleType; }

CFLocaleRef CFLocaleCopyCurrent(void) {
  QString name;
  for (const char* variable : {"LC_ALL", "LC_TIME", "LANG"}) {
    name = qEnvironmentVariable(variable);
    if (!name.isEmpty()) break;
  }
  name = name.section(u'.', 0, 0).section(u'@', 0, 0).trimmed();
  if (name.isEmpty() || name == QLatin1String("C") || name == QLatin1String("POSIX"))
    name = QStringLiteral("en_US_POSIX");
  return new __CFLocale(name.replace(u'-', u'_'));
}

CFLocaleRef CFLocaleCreate(CFAllocatorRef, CFStringRef localeIdentifier) {
  if (!cf::as<__CFString>(localeIdentifier)) return nullptr;
  QString id = cf::text(localeIdentifier);
  return new __CFLocale(id.replace(u'-', u'_'));
}

CFStringRef CFLocaleGetIdentifier(CFLocaleRef locale) {
  const __CFLocale* l = cf::as<__CFLocale>(locale);
  return l ? l->identifier : nullptr;
}

// --- Date formatters ---------------------------------------------------------------------------------

CFTypeID CFDateFormatterGetTypeID(void) { return cf::kDateFormatterType; }

CFDateFormatterRef CFDateFormatterCreate(CFAllocatorRef, CFLocaleRef locale,
                                         CFDateFormatterStyle dateStyle,
                                         CFDateFormatterStyle timeStyle) {
  const __CFLocale* l = cf::as<__CFLocale>(locale);
  const int date = icuStyle(dateStyle), time = icuStyle(timeStyle);
  if (!l || date == -2 || time == -2) return nullptr;
  icu::DateFormat* format = nullptr;
  if (date == icu::DateFormat::kNone && time == icu::DateFormat::kNone) {
    UErrorCode status = U_ZERO_ERROR;
    format = new icu::SimpleDateFormat(icu::UnicodeString(), l->locale, status);
    if (U_FAILURE(status)) {
      delete format;
      format = nullptr;
    }
  } else {
    format = icu::DateFormat::createDateTimeInstance(icu::DateFormat::EStyle(date),
                                                    icu::DateFormat::EStyle(time), l->locale);
  }
  if (!format) return nullptr;
  CFTimeZoneRef zone = CFTimeZoneCopyDefault();
  format->setTimeZone(*cf::as<__CFTimeZone>(zone)->zone);
  CFRelease(zone);
  return new __CFDateFormatter(format);
}

void CFDateFormatterSetProperty(CFDateFormatterRef formatter, CFStringRef key, CFTypeRef value) {
  const __CFDateFormatter* f = cf::as<__CFDateFormatter>(formatter);
  const __CFTimeZone* zone = cf::as<__CFTimeZone>(value);
  if (f && zone && CFEqual(key, kCFDateFormatterTimeZone)) f->format->setTimeZone(*zone->zone);
}

CFStringRef CFDateFormatterGetFormat(CFDateFormatterRef formatter) {
  const __CFDateFormatter* f = cf::as<__CFDateFormatter>(formatter);
  if (!f) return nullptr;
  CFRelease(f->pattern);
  f->pattern = cf::makeString(f->currentPattern());
  return f->pattern;
}

void CFDateFormatterSetFormat(CFDateFormatterRef formatter, CFStringRef formatString) {
  const __CFDateFormatter* f = cf::as<__CFDateFormatter>(formatter);
  if (!f || !formatString) return;
  if (auto* simple = dynamic_cast<icu::SimpleDateFormat*>(f->format.get()))
    simple->applyPattern(toUnicode(cf::text(formatString)));
}

CFStringRef CFDateFormatterCreateStringWithAbsoluteTime(CFAllocatorRef,
                                                        CFDateFormatterRef formatter,
                                                        CFAbsoluteTime at) {
  const __CFDateFormatter* f = cf::as<__CFDateFormatter>(formatter);
  if (!f) return nullptr;
  icu::UnicodeString text;
  f->format->format(toUDate(at), text);
  return cf::makeString(fromUnicode(text));
}

CFStringRef CFDateFormatterCreateStringWithDate(CFAllocatorRef allocator,
                                                CFDateFormatterRef formatter, CFDateRef date) {
  if (!date || CFGetTypeID(date) != CFDateGetTypeID()) return nullptr;
  return CFDateFormatterCreateStringWithAbsoluteTime(allocator, formatter,
                                                     CFDateGetAbsoluteTime(date));
}
