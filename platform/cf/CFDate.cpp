// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/cf/CFDate.h"

#include <QDateTime>
#include <chrono>
#include <cmath>
#include <functional>

#include "platform/cf/CFInternal.h"

struct __CFDate final : cf::Object {
  static constexpr CFTypeID kTypeID = cf::kDateType;
  explicit __CFDate(CFAbsoluteTime at) : Object(kTypeID), at(at) {}
  bool equals(const Object& other) const override {
    return at == static_cast<const __CFDate&>(other).at;
  }
  CFHashCode hash() const override { return std::hash<double>()(at); }
  QString formattingDescription() const override {
    const double ms = std::round((at + kCFAbsoluteTimeIntervalSince1970) * 1000.0);
    const QDateTime t = QDateTime::fromMSecsSinceEpoch(qint64(ms), Qt::UTC);
    return t.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss +0000"));
  }
  QString describeContents() const override {
    return QStringLiteral("%1 [%2]").arg(formattingDescription()).arg(at, 0, 'f', 3);
  }
  const CFAbsoluteTime at;
};

CFAbsoluteTime CFAbsoluteTimeGetCurrent(void) {
  using namespace std::chrono;
  const auto sinceEpoch = duration_cast<microseconds>(system_clock::now().time_since_epoch());
  return double(sinceEpoch.count()) / 1e6 - kCFAbsoluteTimeIntervalSince1970;
}

CFTypeID CFDateGetTypeID(void) { return cf::kDateType; }

CFDateRef CFDateCreate(CFAllocatorRef, CFAbsoluteTime at) { return new __CFDate(at); }

CFAbsoluteTime CFDateGetAbsoluteTime(CFDateRef theDate) {
  const __CFDate* d = cf::as<__CFDate>(theDate);
  return d ? d->at : 0.0;
}

CFTimeInterval CFDateGetTimeIntervalSinceDate(CFDateRef theDate, CFDateRef otherDate) {
  return CFDateGetAbsoluteTime(theDate) - CFDateGetAbsoluteTime(otherDate);
}

CFComparisonResult CFDateCompare(CFDateRef theDate, CFDateRef otherDate, void*) {
  const double a = CFDateGetAbsoluteTime(theDate), b = CFDateGetAbsoluteTime(otherDate);
  return a < b ? kCFCompareLessThan : a > b ? kCFCompareGreaterThan : kCFCompareEqualTo;
}
