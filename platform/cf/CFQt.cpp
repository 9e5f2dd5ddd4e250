// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/cf/CFQt.h"

#include <QStringList>
#include <cmath>
#include <vector>

#include "platform/cf/CFArray.h"
#include "platform/cf/CFDictionary.h"
#include "platform/cf/CFInternal.h"
#include "platform/cf/CFNumber.h"

QString CFStringToQString(CFStringRef string) { return cf::text(string); }

CFStringRef CFStringCreateWithQString(const QString& string) { return cf::makeString(string); }

CFDataRef CFDataCreateWithQByteArray(const QByteArray& bytes) { return cf::makeData(bytes); }

QByteArray CFDataToQByteArray(CFDataRef data) {
  if (CFGetTypeID(data) != CFDataGetTypeID()) return QByteArray();
  return QByteArray(reinterpret_cast<const char*>(CFDataGetBytePtr(data)), CFDataGetLength(data));
}

QDateTime CFDateToQDateTime(CFDateRef date) {
  if (CFGetTypeID(date) != CFDateGetTypeID()) return QDateTime();
  const double ms =
      std::round((CFDateGetAbsoluteTime(date) + kCFAbsoluteTimeIntervalSince1970) * 1000.0);
  if (!std::isfinite(ms) || std::fabs(ms) > 9e15) return QDateTime();
  return QDateTime::fromMSecsSinceEpoch(qint64(ms), Qt::UTC);
}

CFDateRef CFDateCreateWithQDateTime(const QDateTime& dateTime) {
  if (!dateTime.isValid()) return nullptr;
  return CFDateCreate(
      nullptr, double(dateTime.toMSecsSinceEpoch()) / 1000.0 - kCFAbsoluteTimeIntervalSince1970);
}

CFPropertyListRef CFPropertyListCreateFromQVariant(const QVariant& value) {
  switch (value.typeId()) {
    case QMetaType::QString: return cf::makeString(value.toString());
    case QMetaType::Bool: return CFRetain(value.toBool() ? kCFBooleanTrue : kCFBooleanFalse);
    case QMetaType::Int:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::UInt:
    case QMetaType::UShort:
    case QMetaType::ULong: {
      const qlonglong n = value.toLongLong();
      return CFNumberCreate(nullptr, kCFNumberSInt64Type, &n);
    }
    case QMetaType::ULongLong: {
      const qulonglong u = value.toULongLong();
      if (u <= qulonglong(std::numeric_limits<qlonglong>::max())) {
        const qlonglong n = qlonglong(u);
        return CFNumberCreate(nullptr, kCFNumberSInt64Type, &n);
      }
      const double d = double(u);  // beyond a signed 64-bit integer: the nearest real
      return CFNumberCreate(nullptr, kCFNumberFloat64Type, &d);
    }
    case QMetaType::Double:
    case QMetaType::Float: {
      const double d = value.toDouble();
      return CFNumberCreate(nullptr, kCFNumberFloat64Type, &d);
    }
    case QMetaType::QDateTime: return CFDateCreateWithQDateTime(value.toDateTime());
    case QMetaType::QByteArray: return cf::makeData(value.toByteArray());
    case QMetaType::QVariantList:
    case QMetaType::QStringList: {
      CFMutableArrayRef array = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
      for (const QVariant& item : value.toList()) {
        if (CFPropertyListRef element = CFPropertyListCreateFromQVariant(item)) {
          CFArrayAppendValue(array, element);
          CFRelease(element);
        }
      }
      CFArrayRef result = CFArrayCreateCopy(nullptr, array);
      CFRelease(array);
      return result;
    }
    case QMetaType::QVariantMap:
    case QMetaType::QVariantHash: {
      const QVariantMap map = value.toMap();
      std::vector<const void*> keys, values;
      for (auto it = map.begin(); it != map.end(); ++it) {
        CFPropertyListRef element = CFPropertyListCreateFromQVariant(it.value());
        if (!element) continue;
        keys.push_back(cf::makeString(it.key()));
        values.push_back(element);
      }
      CFDictionaryRef dict =
          CFDictionaryCreate(nullptr, keys.data(), values.data(), CFIndex(keys.size()),
                             &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
      for (const void* k : keys) CFRelease(k);
      for (const void* v : values) CFRelease(v);
      return dict;
    }
    default: return nullptr;
  }
}

namespace {

// A collection may hold itself; past this depth the value is left out instead of recursing
// until the stack runs out.
constexpr int kMaxDepth = 256;

QVariant toVariant(CFPropertyListRef plist, int depth) {
  if (depth > kMaxDepth) return QVariant();
  const CFTypeID type = CFGetTypeID(plist);
  if (type == CFStringGetTypeID()) return cf::text(static_cast<CFStringRef>(plist));
  if (type == CFBooleanGetTypeID())
    return bool(CFBooleanGetValue(static_cast<CFBooleanRef>(plist)));
  if (type == CFNumberGetTypeID()) {
    auto number = static_cast<CFNumberRef>(plist);
    if (CFNumberIsFloatType(number)) {
      double d = 0;
      CFNumberGetValue(number, kCFNumberFloat64Type, &d);
      return d;
    }
    qlonglong n = 0;
    CFNumberGetValue(number, kCFNumberSInt64Type, &n);
    return n;
  }
  if (type == CFDateGetTypeID()) {
    const QDateTime t = CFDateToQDateTime(static_cast<CFDateRef>(plist));
    return t.isValid() ? QVariant(t) : QVariant();
  }
  if (type == CFDataGetTypeID()) return CFDataToQByteArray(static_cast<CFDataRef>(plist));
  if (type == CFArrayGetTypeID()) {
    auto array = static_cast<CFArrayRef>(plist);
    QVariantList list;
    const CFIndex count = CFArrayGetCount(array);
    for (CFIndex i = 0; i < count; ++i) {
      const QVariant item = toVariant(CFArrayGetValueAtIndex(array, i), depth + 1);
      if (item.isValid()) list.append(item);
    }
    return list;
  }
  if (type == CFDictionaryGetTypeID()) {
    auto dict = static_cast<CFDictionaryRef>(plist);
    const CFIndex count = CFDictionaryGetCount(dict);
    std::vector<const void*> keys(static_cast<size_t>(count)), values(static_cast<size_t>(count));
    CFDictionaryGetKeysAndValues(dict, keys.data(), values.data());
    QVariantMap map;
    for (size_t i = 0; i < keys.size(); ++i) {
      if (CFGetTypeID(keys[i]) != CFStringGetTypeID()) continue;
      const QVariant item = toVariant(values[i], depth + 1);
      if (item.isValid()) map.insert(cf::text(static_cast<CFStringRef>(keys[i])), item);
    }
    return map;
  }
  return QVariant();
}

}  // namespace

QVariant CFPropertyListToQVariant(CFPropertyListRef plist) { return toVariant(plist, 0); }
