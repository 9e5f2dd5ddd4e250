// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/cf/CFData.h"

#include <QHash>
#include <algorithm>
#include <cstring>

#include "platform/cf/CFInternal.h"

struct __CFData final : cf::Object {
  static constexpr CFTypeID kTypeID = cf::kDataType;
  __CFData(QByteArray bytes, bool isMutable)
      : Object(kTypeID), bytes(std::move(bytes)), isMutable(isMutable) {}
  bool equals(const Object& other) const override {
    return bytes == static_cast<const __CFData&>(other).bytes;
  }
  CFHashCode hash() const override { return qHash(bytes); }
  QString describeContents() const override {
    return QStringLiteral("length = %1, capacity = %1, bytes = 0x%2")
        .arg(bytes.size())
        .arg(QString::fromLatin1(bytes.left(64).toHex()) +
             (bytes.size() > 64 ? QStringLiteral(" ... ") : QString()));
  }
  QString formattingDescription() const override {
    return u'<' + QString::fromLatin1(bytes.toHex(' ')) + u'>';
  }
  QByteArray bytes;
  const bool isMutable;
};

namespace {

__CFData* mutableData(CFMutableDataRef d) {
  __CFData* data = cf::asMutable<__CFData>(d);
  return data && data->isMutable ? data : nullptr;
}

CFRange clip(CFRange range, CFIndex length) {
  const CFIndex start = std::clamp<CFIndex>(range.location, 0, length);
  const CFIndex end = range.length <= 0 || range.location > length
                          ? start
                          : std::clamp<CFIndex>(range.location + range.length, start, length);
  return CFRangeMake(start, end - start);
}

}  // namespace

namespace cf {
CFDataRef makeData(QByteArray bytes) { return new __CFData(std::move(bytes), false); }
}  // namespace cf

CFTypeID CFDataGetTypeID(void) { return cf::kDataType; }

CFDataRef CFDataCreate(CFAllocatorRef, const UInt8* bytes, CFIndex length) {
  if (length < 0 || (!bytes && length > 0)) return nullptr;
  return cf::makeData(QByteArray(reinterpret_cast<const char*>(bytes), length));
}

CFDataRef CFDataCreateCopy(CFAllocatorRef, CFDataRef theData) {
  const __CFData* d = cf::as<__CFData>(theData);
  if (!d) return nullptr;
  if (!d->isMutable) {
    CFRetain(d);
    return d;
  }
  return cf::makeData(d->bytes);
}

CFMutableDataRef CFDataCreateMutable(CFAllocatorRef, CFIndex) {
  return new __CFData(QByteArray(), true);
}

CFMutableDataRef CFDataCreateMutableCopy(CFAllocatorRef, CFIndex, CFDataRef theData) {
  const __CFData* d = cf::as<__CFData>(theData);
  return d ? new __CFData(d->bytes, true) : nullptr;
}

CFIndex CFDataGetLength(CFDataRef theData) {
  const __CFData* d = cf::as<__CFData>(theData);
  return d ? d->bytes.size() : 0;
}

const UInt8* CFDataGetBytePtr(CFDataRef theData) {
  const __CFData* d = cf::as<__CFData>(theData);
  return d ? reinterpret_cast<const UInt8*>(d->bytes.constData()) : nullptr;
}

UInt8* CFDataGetMutableBytePtr(CFMutableDataRef theData) {
  __CFData* d = mutableData(theData);
  return d ? reinterpret_cast<UInt8*>(d->bytes.data()) : nullptr;
}

void CFDataGetBytes(CFDataRef theData, CFRange range, UInt8* buffer) {
  const __CFData* d = cf::as<__CFData>(theData);
  if (!d || !buffer) return;
  const CFRange r = clip(range, d->bytes.size());
  std::memcpy(buffer, d->bytes.constData() + r.location, size_t(r.length));
}

void CFDataSetLength(CFMutableDataRef theData, CFIndex length) {
  __CFData* d = mutableData(theData);
  if (!d || length < 0) return;
  const qsizetype old = d->bytes.size();
  d->bytes.resize(length);
  if (length > old) std::memset(d->bytes.data() + old, 0, size_t(length - old));
}

void CFDataIncreaseLength(CFMutableDataRef theData, CFIndex extraLength) {
  if (extraLength > 0) CFDataSetLength(theData, CFDataGetLength(theData) + extraLength);
}

void CFDataAppendBytes(CFMutableDataRef theData, const UInt8* bytes, CFIndex length) {
  __CFData* d = mutableData(theData);
  if (d && bytes && length > 0) d->bytes.append(reinterpret_cast<const char*>(bytes), length);
}

void CFDataReplaceBytes(CFMutableDataRef theData, CFRange range, const UInt8* newBytes,
                        CFIndex newLength) {
  __CFData* d = mutableData(theData);
  if (!d || newLength < 0 || (!newBytes && newLength > 0)) return;
  const CFRange r = clip(range, d->bytes.size());
  // Copy first: the new bytes may lie inside this data.
  const QByteArray with(reinterpret_cast<const char*>(newBytes), newLength);
  d->bytes.replace(r.location, r.length, with);
}

void CFDataDeleteBytes(CFMutableDataRef theData, CFRange range) {
  __CFData* d = mutableData(theData);
  if (!d) return;
  const CFRange r = clip(range, d->bytes.size());
  d->bytes.remove(r.location, r.length);
}
