// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/cf/CFArray.h"

#include <algorithm>

#include "platform/cf/CFInternal.h"

namespace {

const void* retainType(CFAllocatorRef, const void* value) { return CFRetain(value); }
void releaseType(CFAllocatorRef, const void* value) { CFRelease(value); }

const CFArrayCallBacks kNullCallBacks = {0, nullptr, nullptr, nullptr, nullptr};

CFRange clip(CFRange range, CFIndex count) {
  const CFIndex start = std::clamp<CFIndex>(range.location, 0, count);
  const CFIndex end = range.length <= 0 || range.location > count
                          ? start
                          : std::clamp<CFIndex>(range.location + range.length, start, count);
  return CFRangeMake(start, end - start);
}

__CFArray* mutableArray(CFMutableArrayRef a) {
  __CFArray* array = cf::asMutable<__CFArray>(a);
  return array && array->isMutable ? array : nullptr;
}

bool needsQuotes(const QString& s) {
  if (s.isEmpty()) return true;
  for (QChar c : s)
    if (!(c.isLetterOrNumber() && c.unicode() < 0x80) && c != u'_' && c != u'.' && c != u'/')
      return true;
  return false;
}

// Stable bottom-up merge sort. It reads only inside the range whatever the comparator
// answers, which std::sort does not promise for an inconsistent comparator.
void mergeSort(std::vector<const void*>& v, CFIndex begin, CFIndex end,
               CFComparatorFunction comparator, void* context) {
  const CFIndex n = end - begin;
  std::vector<const void*> buffer(static_cast<size_t>(n));
  for (CFIndex width = 1; width < n; width *= 2) {
    for (CFIndex lo = 0; lo < n; lo += 2 * width) {
      const CFIndex mid = std::min(lo + width, n), hi = std::min(lo + 2 * width, n);
      CFIndex i = lo, j = mid, k = lo;
      while (i < mid && j < hi) {
        if (comparator(v[size_t(begin + j)], v[size_t(begin + i)], context) == kCFCompareLessThan)
          buffer[size_t(k++)] = v[size_t(begin + j++)];
        else
          buffer[size_t(k++)] = v[size_t(begin + i++)];
      }
      while (i < mid) buffer[size_t(k++)] = v[size_t(begin + i++)];
      while (j < hi) buffer[size_t(k++)] = v[size_t(begin + j++)];
    }
    std::copy(buffer.begin(), buffer.end(), v.begin() + begin);
  }
}

}  // namespace

const CFArrayCallBacks kCFTypeArrayCallBacks = {0, retainType, releaseType, CFCopyDescription,
                                                CFEqual};

__CFArray::__CFArray(const CFArrayCallBacks* cb, bool isMutable)
    : Object(kTypeID), callBacks(cb ? *cb : kNullCallBacks), isMutable(isMutable) {}

__CFArray::~__CFArray() {
  for (const void* value : values) released(value);
}

const void* __CFArray::retained(const void* value) const {
  return callBacks.retain ? callBacks.retain(nullptr, value) : value;
}

void __CFArray::released(const void* value) const {
  if (callBacks.release) callBacks.release(nullptr, value);
}

bool __CFArray::sameValue(const void* a, const void* b) const {
  return a == b || (callBacks.equal && callBacks.equal(a, b));
}

bool __CFArray::equals(const Object& other) const {
  const auto& o = static_cast<const __CFArray&>(other);
  if (values.size() != o.values.size()) return false;
  for (size_t i = 0; i < values.size(); ++i)
    if (!sameValue(values[i], o.values[i])) return false;
  return true;
}

CFHashCode __CFArray::hash() const { return values.size(); }

QString __CFArray::describeContents() const {
  QString text = QStringLiteral("type = %1, count = %2, values = (\n")
                     .arg(isMutable ? QStringLiteral("mutable-small") : QStringLiteral("immutable"))
                     .arg(values.size());
  for (size_t i = 0; i < values.size(); ++i) {
    QString item;
    if (callBacks.copyDescription) {
      CFStringRef d = callBacks.copyDescription(values[i]);
      item = cf::text(d);
      CFRelease(d);
    } else {
      item = QStringLiteral("<%1>").arg(reinterpret_cast<quintptr>(values[i]), 0, 16);
    }
    text += QStringLiteral("\t%1 : %2\n").arg(i).arg(item);
  }
  return text + u')';
}

QString __CFArray::formattingDescription() const { return cf::formattedValue(this, 0); }

namespace cf {

QString formattedValue(CFTypeRef ref, int indent) {
  if (indent > 64) return QStringLiteral("...");  // a collection that holds itself
  const QString inner(4 * (indent + 1), u' '), outer(4 * indent, u' ');
  if (const __CFString* s = as<__CFString>(ref)) {
    if (!needsQuotes(s->text)) return s->text;
    QString escaped = s->text;
    escaped.replace(u'\\', QStringLiteral("\\\\")).replace(u'"', QStringLiteral("\\\""));
    return u'"' + escaped + u'"';
  }
  if (const __CFArray* a = as<__CFArray>(ref)) {
    QString text = QStringLiteral("(\n");
    for (size_t i = 0; i < a->values.size(); ++i) {
      text += inner + formattedValue(a->values[i], indent + 1);
      text += i + 1 < a->values.size() ? QStringLiteral(",\n") : QStringLiteral("\n");
    }
    return text + outer + u')';
  }
  if (CFGetTypeID(ref) == CFDictionaryGetTypeID()) {
    auto dict = static_cast<CFDictionaryRef>(ref);
    const CFIndex count = CFDictionaryGetCount(dict);
    std::vector<const void*> keys(static_cast<size_t>(count)), values(static_cast<size_t>(count));
    CFDictionaryGetKeysAndValues(dict, keys.data(), values.data());
    std::vector<std::pair<QString, QString>> lines;
    for (size_t i = 0; i < keys.size(); ++i)
      lines.emplace_back(formattedValue(keys[i], indent + 1),
                         formattedValue(values[i], indent + 1));
    std::sort(lines.begin(), lines.end());
    QString text = QStringLiteral("{\n");
    for (const auto& [key, value] : lines)
      text += inner + key + QStringLiteral(" = ") + value + QStringLiteral(";\n");
    return text + outer + u'}';
  }
  return formatObject(ref);
}

}  // namespace cf

CFTypeID CFArrayGetTypeID(void) { return cf::kArrayType; }

CFArrayRef CFArrayCreate(CFAllocatorRef, const void** values, CFIndex numValues,
                         const CFArrayCallBacks* callBacks) {
  if (numValues < 0 || (!values && numValues > 0)) return nullptr;
  auto* array = new __CFArray(callBacks, false);
  array->values.reserve(size_t(numValues));
  for (CFIndex i = 0; i < numValues; ++i) array->values.push_back(array->retained(values[i]));
  return array;
}

CFArrayRef CFArrayCreateCopy(CFAllocatorRef, CFArrayRef theArray) {
  const __CFArray* source = cf::as<__CFArray>(theArray);
  if (!source) return nullptr;
  auto* array = new __CFArray(&source->callBacks, false);
  array->values.reserve(source->values.size());
  for (const void* value : source->values) array->values.push_back(array->retained(value));
  return array;
}

CFMutableArrayRef CFArrayCreateMutable(CFAllocatorRef, CFIndex capacity,
                                       const CFArrayCallBacks* callBacks) {
  auto* array = new __CFArray(callBacks, true);
  if (capacity > 0 && capacity < (1 << 20)) array->values.reserve(size_t(capacity));
  return array;
}

CFMutableArrayRef CFArrayCreateMutableCopy(CFAllocatorRef, CFIndex, CFArrayRef theArray) {
  const __CFArray* source = cf::as<__CFArray>(theArray);
  if (!source) return nullptr;
  auto* array = new __CFArray(&source->callBacks, true);
  array->values.reserve(source->values.size());
  for (const void* value : source->values) array->values.push_back(array->retained(value));
  return array;
}

CFIndex CFArrayGetCount(CFArrayRef theArray) {
  const __CFArray* array = cf::as<__CFArray>(theArray);
  return array ? CFIndex(array->values.size()) : 0;
}

const void* CFArrayGetValueAtIndex(CFArrayRef theArray, CFIndex idx) {
  const __CFArray* array = cf::as<__CFArray>(theArray);
  if (!array || idx < 0 || idx >= CFIndex(array->values.size())) return nullptr;
  return array->values[size_t(idx)];
}

void CFArrayGetValues(CFArrayRef theArray, CFRange range, const void** values) {
  const __CFArray* array = cf::as<__CFArray>(theArray);
  if (!array || !values) return;
  const CFRange r = clip(range, CFIndex(array->values.size()));
  std::copy_n(array->values.begin() + r.location, r.length, values);
}

CFIndex CFArrayGetCountOfValue(CFArrayRef theArray, CFRange range, const void* value) {
  const __CFArray* array = cf::as<__CFArray>(theArray);
  if (!array) return 0;
  const CFRange r = clip(range, CFIndex(array->values.size()));
  CFIndex count = 0;
  for (CFIndex i = r.location; i < r.location + r.length; ++i)
    count += array->sameValue(array->values[size_t(i)], value);
  return count;
}

CFIndex CFArrayGetFirstIndexOfValue(CFArrayRef theArray, CFRange range, const void* value) {
  const __CFArray* array = cf::as<__CFArray>(theArray);
  if (!array) return kCFNotFound;
  const CFRange r = clip(range, CFIndex(array->values.size()));
  for (CFIndex i = r.location; i < r.location + r.length; ++i)
    if (array->sameValue(array->values[size_t(i)], value)) return i;
  return kCFNotFound;
}

CFIndex CFArrayGetLastIndexOfValue(CFArrayRef theArray, CFRange range, const void* value) {
  const __CFArray* array = cf::as<__CFArray>(theArray);
  if (!array) return kCFNotFound;
  const CFRange r = clip(range, CFIndex(array->values.size()));
  for (CFIndex i = r.location + r.length - 1; i >= r.location; --i)
    if (array->sameValue(array->values[size_t(i)], value)) return i;
  return kCFNotFound;
}

Boolean CFArrayContainsValue(CFArrayRef theArray, CFRange range, const void* value) {
  return CFArrayGetFirstIndexOfValue(theArray, range, value) != kCFNotFound;
}

void CFArrayApplyFunction(CFArrayRef theArray, CFRange range, CFArrayApplierFunction applier,
                          void* context) {
  const __CFArray* array = cf::as<__CFArray>(theArray);
  if (!array || !applier) return;
  const CFRange r = clip(range, CFIndex(array->values.size()));
  // A copy, so that an applier that changes the array cannot invalidate the walk.
  const std::vector<const void*> values(array->values.begin() + r.location,
                                        array->values.begin() + r.location + r.length);
  for (const void* value : values) applier(value, context);
}

void CFArrayAppendValue(CFMutableArrayRef theArray, const void* value) {
  if (__CFArray* array = mutableArray(theArray)) array->values.push_back(array->retained(value));
}

void CFArrayInsertValueAtIndex(CFMutableArrayRef theArray, CFIndex idx, const void* value) {
  __CFArray* array = mutableArray(theArray);
  if (!array || idx < 0 || idx > CFIndex(array->values.size())) return;
  array->values.insert(array->values.begin() + idx, array->retained(value));
}

void CFArraySetValueAtIndex(CFMutableArrayRef theArray, CFIndex idx, const void* value) {
  __CFArray* array = mutableArray(theArray);
  if (!array || idx < 0 || idx > CFIndex(array->values.size())) return;
  const void* kept = array->retained(value);  // before releasing: it may be the same value
  if (idx == CFIndex(array->values.size())) {
    array->values.push_back(kept);
  } else {
    array->released(array->values[size_t(idx)]);
    array->values[size_t(idx)] = kept;
  }
}

void CFArrayRemoveValueAtIndex(CFMutableArrayRef theArray, CFIndex idx) {
  __CFArray* array = mutableArray(theArray);
  if (!array || idx < 0 || idx >= CFIndex(array->values.size())) return;
  const void* value = array->values[size_t(idx)];
  array->values.erase(array->values.begin() + idx);
  array->released(value);
}

void CFArrayRemoveAllValues(CFMutableArrayRef theArray) {
  __CFArray* array = mutableArray(theArray);
  if (!array) return;
  std::vector<const void*> values;
  values.swap(array->values);
  for (const void* value : values) array->released(value);
}

void CFArrayExchangeValuesAtIndices(CFMutableArrayRef theArray, CFIndex idx1, CFIndex idx2) {
  __CFArray* array = mutableArray(theArray);
  const CFIndex count = array ? CFIndex(array->values.size()) : 0;
  if (idx1 < 0 || idx2 < 0 || idx1 >= count || idx2 >= count) return;
  std::swap(array->values[size_t(idx1)], array->values[size_t(idx2)]);
}

void CFArrayAppendArray(CFMutableArrayRef theArray, CFArrayRef otherArray, CFRange otherRange) {
  __CFArray* array = mutableArray(theArray);
  const __CFArray* other = cf::as<__CFArray>(otherArray);
  if (!array || !other) return;
  const CFRange r = clip(otherRange, CFIndex(other->values.size()));
  // Copy first: the other array may be this one.
  const std::vector<const void*> values(other->values.begin() + r.location,
                                        other->values.begin() + r.location + r.length);
  for (const void* value : values) array->values.push_back(array->retained(value));
}

void CFArraySortValues(CFMutableArrayRef theArray, CFRange range, CFComparatorFunction comparator,
                       void* context) {
  __CFArray* array = mutableArray(theArray);
  if (!array || !comparator) return;
  const CFRange r = clip(range, CFIndex(array->values.size()));
  if (r.length > 1)
    mergeSort(array->values, r.location, r.location + r.length, comparator, context);
}
