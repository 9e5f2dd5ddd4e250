// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/cf/CFNumber.h"

#include <QLocale>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>

#include "platform/cf/CFInternal.h"

namespace {

// The sized type that a platform type stands for on this system (LP64).
CFNumberType canonicalType(CFNumberType type) {
  switch (type) {
    case kCFNumberSInt8Type:
    case kCFNumberCharType: return kCFNumberSInt8Type;
    case kCFNumberSInt16Type:
    case kCFNumberShortType: return kCFNumberSInt16Type;
    case kCFNumberSInt32Type:
    case kCFNumberIntType: return kCFNumberSInt32Type;
    case kCFNumberSInt64Type:
    case kCFNumberLongType:
    case kCFNumberLongLongType:
    case kCFNumberCFIndexType:
    case kCFNumberNSIntegerType: return kCFNumberSInt64Type;
    case kCFNumberFloat32Type:
    case kCFNumberFloatType: return kCFNumberFloat32Type;
    case kCFNumberFloat64Type:
    case kCFNumberDoubleType:
    case kCFNumberCGFloatType: return kCFNumberFloat64Type;
    default: return 0;
  }
}

template <class T>
T read(const void* p) {
  T value;
  std::memcpy(&value, p, sizeof value);
  return value;
}

template <class T>
void write(void* p, T value) {
  std::memcpy(p, &value, sizeof value);
}

// Converts an integer to T, clamping; true when exact.
template <class T>
bool storeInteger(void* p, int64_t value) {
  const int64_t clamped =
      std::clamp<int64_t>(value, std::numeric_limits<T>::min(), std::numeric_limits<T>::max());
  write<T>(p, static_cast<T>(clamped));
  return clamped == value;
}

template <class T>
bool storeRealAsInteger(void* p, double value) {
  if (std::isnan(value)) {
    write<T>(p, 0);
    return false;
  }
  const double truncated = std::trunc(value);
  T result;
  if (truncated <= double(std::numeric_limits<T>::min()))
    result = std::numeric_limits<T>::min();
  else if (truncated >= double(std::numeric_limits<T>::max()))
    result = std::numeric_limits<T>::max();
  else
    result = static_cast<T>(truncated);
  write<T>(p, result);
  return double(result) == value;
}

}  // namespace

struct __CFNumber final : cf::Object {
  static constexpr CFTypeID kTypeID = cf::kNumberType;
  __CFNumber(CFNumberType type, int64_t i, double d)
      : Object(kTypeID), type(type), integer(i), real(d) {}

  bool isFloat() const { return type == kCFNumberFloat32Type || type == kCFNumberFloat64Type; }

  int compare(const __CFNumber& o) const {
    if (!isFloat() && !o.isFloat()) return integer < o.integer ? -1 : integer > o.integer;
    // Compare through long double so that large integers keep their exact value.
    const long double a = isFloat() ? real : integer, b = o.isFloat() ? o.real : o.integer;
    if (std::isnan(a) || std::isnan(b)) return std::isnan(a) - std::isnan(b);
    return a < b ? -1 : a > b;
  }

  bool equals(const Object& other) const override {
    return compare(static_cast<const __CFNumber&>(other)) == 0;
  }

  CFHashCode hash() const override {
    // Equal values hash equally whether integer or real.
    if (isFloat() && std::trunc(real) == real && std::fabs(real) < 9.2e18)
      return std::hash<int64_t>()(int64_t(real));
    return isFloat() ? std::hash<double>()(real) : std::hash<int64_t>()(integer);
  }

  QString formattingDescription() const override {
    return isFloat() ? QLocale::c().toString(real, 'g', QLocale::FloatingPointShortest)
                     : QString::number(integer);
  }

  QString describeContents() const override {
    static const char* const names[] = {"",
                                        "kCFNumberSInt8Type",
                                        "kCFNumberSInt16Type",
                                        "kCFNumberSInt32Type",
                                        "kCFNumberSInt64Type",
                                        "kCFNumberFloat32Type",
                                        "kCFNumberFloat64Type"};
    return QStringLiteral("value = %1, type = %2")
        .arg(formattingDescription(), QLatin1String(names[type]));
  }

  const CFNumberType type;  // canonical
  const int64_t integer;
  const double real;
};

struct __CFBoolean final : cf::Object {
  static constexpr CFTypeID kTypeID = cf::kBooleanType;
  constexpr explicit __CFBoolean(bool value) : Object(kTypeID, Immortal{}), value(value) {}
  QString describeContents() const override {
    return value ? QStringLiteral("value = true") : QStringLiteral("value = false");
  }
  QString formattingDescription() const override {
    return value ? QStringLiteral("1") : QStringLiteral("0");
  }
  const bool value;
};

namespace {
constinit const __CFBoolean trueObject(true);
constinit const __CFBoolean falseObject(false);
}  // namespace

const CFBooleanRef kCFBooleanTrue = &trueObject;
const CFBooleanRef kCFBooleanFalse = &falseObject;

CFTypeID CFBooleanGetTypeID(void) { return cf::kBooleanType; }

Boolean CFBooleanGetValue(CFBooleanRef boolean) {
  const __CFBoolean* b = cf::as<__CFBoolean>(boolean);
  return b && b->value;
}

CFTypeID CFNumberGetTypeID(void) { return cf::kNumberType; }

CFNumberRef CFNumberCreate(CFAllocatorRef, CFNumberType theType, const void* valuePtr) {
  const CFNumberType type = canonicalType(theType);
  if (!type || !valuePtr) return nullptr;
  switch (type) {
    case kCFNumberSInt8Type: return new __CFNumber(type, read<int8_t>(valuePtr), 0);
    case kCFNumberSInt16Type: return new __CFNumber(type, read<int16_t>(valuePtr), 0);
    case kCFNumberSInt32Type: return new __CFNumber(type, read<int32_t>(valuePtr), 0);
    case kCFNumberSInt64Type: return new __CFNumber(type, read<int64_t>(valuePtr), 0);
    case kCFNumberFloat32Type: return new __CFNumber(type, 0, read<float>(valuePtr));
    default: return new __CFNumber(type, 0, read<double>(valuePtr));
  }
}

CFNumberType CFNumberGetType(CFNumberRef number) {
  const __CFNumber* n = cf::as<__CFNumber>(number);
  return n ? n->type : 0;
}

CFIndex CFNumberGetByteSize(CFNumberRef number) {
  switch (CFNumberGetType(number)) {
    case kCFNumberSInt8Type: return 1;
    case kCFNumberSInt16Type: return 2;
    case kCFNumberSInt32Type:
    case kCFNumberFloat32Type: return 4;
    case kCFNumberSInt64Type:
    case kCFNumberFloat64Type: return 8;
    default: return 0;
  }
}

Boolean CFNumberIsFloatType(CFNumberRef number) {
  const __CFNumber* n = cf::as<__CFNumber>(number);
  return n && n->isFloat();
}

Boolean CFNumberGetValue(CFNumberRef number, CFNumberType theType, void* valuePtr) {
  const __CFNumber* n = cf::as<__CFNumber>(number);
  const CFNumberType type = canonicalType(theType);
  if (!n || !type || !valuePtr) return false;
  if (n->isFloat()) {
    switch (type) {
      case kCFNumberSInt8Type: return storeRealAsInteger<int8_t>(valuePtr, n->real);
      case kCFNumberSInt16Type: return storeRealAsInteger<int16_t>(valuePtr, n->real);
      case kCFNumberSInt32Type: return storeRealAsInteger<int32_t>(valuePtr, n->real);
      case kCFNumberSInt64Type: return storeRealAsInteger<int64_t>(valuePtr, n->real);
      case kCFNumberFloat32Type: {
        const float f = static_cast<float>(n->real);
        write<float>(valuePtr, f);
        return double(f) == n->real || std::isnan(n->real);
      }
      default: write<double>(valuePtr, n->real); return true;
    }
  }
  switch (type) {
    case kCFNumberSInt8Type: return storeInteger<int8_t>(valuePtr, n->integer);
    case kCFNumberSInt16Type: return storeInteger<int16_t>(valuePtr, n->integer);
    case kCFNumberSInt32Type: return storeInteger<int32_t>(valuePtr, n->integer);
    case kCFNumberSInt64Type: return storeInteger<int64_t>(valuePtr, n->integer);
    case kCFNumberFloat32Type: {
      const float f = static_cast<float>(n->integer);
      write<float>(valuePtr, f);
      return static_cast<long double>(f) == static_cast<long double>(n->integer);
    }
    default: {
      const double d = static_cast<double>(n->integer);
      write<double>(valuePtr, d);
      return static_cast<long double>(d) == static_cast<long double>(n->integer);
    }
  }
}

CFComparisonResult CFNumberCompare(CFNumberRef number, CFNumberRef otherNumber, void*) {
  const __CFNumber* a = cf::as<__CFNumber>(number);
  const __CFNumber* b = cf::as<__CFNumber>(otherNumber);
  if (!a || !b) return a ? kCFCompareGreaterThan : b ? kCFCompareLessThan : kCFCompareEqualTo;
  return a->compare(*b);
}
