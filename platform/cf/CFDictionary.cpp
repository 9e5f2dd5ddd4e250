// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/cf/CFDictionary.h"

#include <functional>
#include <unordered_map>

#include "platform/cf/CFInternal.h"

namespace {

const void* retainType(CFAllocatorRef, const void* value) { return CFRetain(value); }
void releaseType(CFAllocatorRef, const void* value) { CFRelease(value); }
const void* copyString(CFAllocatorRef, const void* value) {
  return CFStringCreateCopy(nullptr, static_cast<CFStringRef>(value));
}

const CFDictionaryKeyCallBacks kNullKeyCallBacks = {0, nullptr, nullptr, nullptr, nullptr, nullptr};
const CFDictionaryValueCallBacks kNullValueCallBacks = {0, nullptr, nullptr, nullptr, nullptr};

struct KeyHash {
  const CFDictionaryKeyCallBacks* callBacks;
  size_t operator()(const void* key) const {
    return callBacks->hash ? callBacks->hash(key) : std::hash<const void*>()(key);
  }
};

struct KeyEqual {
  const CFDictionaryKeyCallBacks* callBacks;
  bool operator()(const void* a, const void* b) const {
    return a == b || (callBacks->equal && callBacks->equal(a, b));
  }
};

}  // namespace

const CFDictionaryKeyCallBacks kCFTypeDictionaryKeyCallBacks = {
    0, retainType, releaseType, CFCopyDescription, CFEqual, CFHash};
const CFDictionaryKeyCallBacks kCFCopyStringDictionaryKeyCallBacks = {
    0, copyString, releaseType, CFCopyDescription, CFEqual, CFHash};
const CFDictionaryValueCallBacks kCFTypeDictionaryValueCallBacks = {0, retainType, releaseType,
                                                                    CFCopyDescription, CFEqual};

struct __CFDictionary final : cf::Object {
  static constexpr CFTypeID kTypeID = cf::kDictionaryType;

  __CFDictionary(const CFDictionaryKeyCallBacks* kcb, const CFDictionaryValueCallBacks* vcb,
                 bool isMutable)
      : Object(kTypeID),
        keyCallBacks(kcb ? *kcb : kNullKeyCallBacks),
        valueCallBacks(vcb ? *vcb : kNullValueCallBacks),
        entries(0, KeyHash{&keyCallBacks}, KeyEqual{&keyCallBacks}),
        isMutable(isMutable) {}

  ~__CFDictionary() override { clear(); }

  bool sameValue(const void* a, const void* b) const {
    return a == b || (valueCallBacks.equal && valueCallBacks.equal(a, b));
  }

  void set(const void* key, const void* value) {
    const void* newValue = valueCallBacks.retain ? valueCallBacks.retain(nullptr, value) : value;
    auto it = entries.find(key);
    if (it != entries.end()) {
      const void* old = it->second;
      it->second = newValue;
      if (valueCallBacks.release) valueCallBacks.release(nullptr, old);
      return;
    }
    const void* newKey = keyCallBacks.retain ? keyCallBacks.retain(nullptr, key) : key;
    entries.emplace(newKey, newValue);
  }

  void remove(const void* key) {
    auto it = entries.find(key);
    if (it == entries.end()) return;
    const void* oldKey = it->first;
    const void* oldValue = it->second;
    entries.erase(it);
    if (keyCallBacks.release) keyCallBacks.release(nullptr, oldKey);
    if (valueCallBacks.release) valueCallBacks.release(nullptr, oldValue);
  }

  void clear() {
    Map old(0, KeyHash{&keyCallBacks}, KeyEqual{&keyCallBacks});
    old.swap(entries);
    for (const auto& [key, value] : old) {
      if (keyCallBacks.release) keyCallBacks.release(nullptr, key);
      if (valueCallBacks.release) valueCallBacks.release(nullptr, value);
    }
  }

  bool equals(const Object& other) const override {
    const auto& o = static_cast<const __CFDictionary&>(other);
    if (entries.size() != o.entries.size()) return false;
    for (const auto& [key, value] : entries) {
      auto it = o.entries.find(key);
      if (it == o.entries.end() || !sameValue(value, it->second)) return false;
    }
    return true;
  }

  CFHashCode hash() const override { return entries.size(); }

  QString describeContents() const override {
    QString text = QStringLiteral("type = %1, count = %2, entries =>\n")
                       .arg(isMutable ? QStringLiteral("mutable") : QStringLiteral("immutable"))
                       .arg(entries.size());
    auto describe = [](CFDictionaryCopyDescriptionCallBack cb, const void* v) {
      if (!cb) return QStringLiteral("<%1>").arg(reinterpret_cast<quintptr>(v), 0, 16);
      CFStringRef d = cb(v);
      const QString s = cf::text(d);
      CFRelease(d);
      return s;
    };
    for (const auto& [key, value] : entries)
      text += QStringLiteral("\t%1 = %2\n")
                  .arg(describe(keyCallBacks.copyDescription, key),
                       describe(valueCallBacks.copyDescription, value));
    return text;
  }

  QString formattingDescription() const override { return cf::formattedValue(this, 0); }

  using Map = std::unordered_map<const void*, const void*, KeyHash, KeyEqual>;
  const CFDictionaryKeyCallBacks keyCallBacks;
  const CFDictionaryValueCallBacks valueCallBacks;
  Map entries;
  const bool isMutable;
};

namespace {

__CFDictionary* mutableDictionary(CFMutableDictionaryRef d) {
  __CFDictionary* dict = cf::asMutable<__CFDictionary>(d);
  return dict && dict->isMutable ? dict : nullptr;
}

__CFDictionary* copyOf(const __CFDictionary* source, bool isMutable) {
  auto* dict = new __CFDictionary(&source->keyCallBacks, &source->valueCallBacks, isMutable);
  for (const auto& [key, value] : source->entries) dict->set(key, value);
  return dict;
}

}  // namespace

CFTypeID CFDictionaryGetTypeID(void) { return cf::kDictionaryType; }

CFDictionaryRef CFDictionaryCreate(CFAllocatorRef, const void** keys, const void** values,
                                   CFIndex numValues, const CFDictionaryKeyCallBacks* keyCallBacks,
                                   const CFDictionaryValueCallBacks* valueCallBacks) {
  if (numValues < 0 || (numValues > 0 && (!keys || !values))) return nullptr;
  auto* dict = new __CFDictionary(keyCallBacks, valueCallBacks, false);
  for (CFIndex i = 0; i < numValues; ++i) dict->set(keys[i], values[i]);
  return dict;
}

CFDictionaryRef CFDictionaryCreateCopy(CFAllocatorRef, CFDictionaryRef theDict) {
  const __CFDictionary* source = cf::as<__CFDictionary>(theDict);
  return source ? copyOf(source, false) : nullptr;
}

CFMutableDictionaryRef CFDictionaryCreateMutable(CFAllocatorRef, CFIndex,
                                                 const CFDictionaryKeyCallBacks* keyCallBacks,
                                                 const CFDictionaryValueCallBacks* valueCallBacks) {
  return new __CFDictionary(keyCallBacks, valueCallBacks, true);
}

CFMutableDictionaryRef CFDictionaryCreateMutableCopy(CFAllocatorRef, CFIndex,
                                                     CFDictionaryRef theDict) {
  const __CFDictionary* source = cf::as<__CFDictionary>(theDict);
  return source ? copyOf(source, true) : nullptr;
}

CFIndex CFDictionaryGetCount(CFDictionaryRef theDict) {
  const __CFDictionary* dict = cf::as<__CFDictionary>(theDict);
  return dict ? CFIndex(dict->entries.size()) : 0;
}

CFIndex CFDictionaryGetCountOfKey(CFDictionaryRef theDict, const void* key) {
  return CFDictionaryContainsKey(theDict, key) ? 1 : 0;
}

CFIndex CFDictionaryGetCountOfValue(CFDictionaryRef theDict, const void* value) {
  const __CFDictionary* dict = cf::as<__CFDictionary>(theDict);
  if (!dict) return 0;
  CFIndex count = 0;
  for (const auto& entry : dict->entries) count += dict->sameValue(entry.second, value);
  return count;
}

Boolean CFDictionaryContainsKey(CFDictionaryRef theDict, const void* key) {
  const __CFDictionary* dict = cf::as<__CFDictionary>(theDict);
  return dict && dict->entries.count(key) > 0;
}

Boolean CFDictionaryContainsValue(CFDictionaryRef theDict, const void* value) {
  return CFDictionaryGetCountOfValue(theDict, value) > 0;
}

const void* CFDictionaryGetValue(CFDictionaryRef theDict, const void* key) {
  const void* value = nullptr;
  return CFDictionaryGetValueIfPresent(theDict, key, &value) ? value : nullptr;
}

Boolean CFDictionaryGetValueIfPresent(CFDictionaryRef theDict, const void* key,
                                      const void** value) {
  const __CFDictionary* dict = cf::as<__CFDictionary>(theDict);
  if (!dict) return false;
  auto it = dict->entries.find(key);
  if (it == dict->entries.end()) return false;
  if (value) *value = it->second;
  return true;
}

void CFDictionaryGetKeysAndValues(CFDictionaryRef theDict, const void** keys, const void** values) {
  const __CFDictionary* dict = cf::as<__CFDictionary>(theDict);
  if (!dict) return;
  size_t i = 0;
  for (const auto& [key, value] : dict->entries) {
    if (keys) keys[i] = key;
    if (values) values[i] = value;
    ++i;
  }
}

void CFDictionaryApplyFunction(CFDictionaryRef theDict, CFDictionaryApplierFunction applier,
                               void* context) {
  const __CFDictionary* dict = cf::as<__CFDictionary>(theDict);
  if (!dict || !applier) return;
  const std::vector<std::pair<const void*, const void*>> entries(dict->entries.begin(),
                                                                 dict->entries.end());
  for (const auto& [key, value] : entries) applier(key, value, context);
}

void CFDictionaryAddValue(CFMutableDictionaryRef theDict, const void* key, const void* value) {
  __CFDictionary* dict = mutableDictionary(theDict);
  if (dict && !dict->entries.count(key)) dict->set(key, value);
}

void CFDictionarySetValue(CFMutableDictionaryRef theDict, const void* key, const void* value) {
  if (__CFDictionary* dict = mutableDictionary(theDict)) dict->set(key, value);
}

void CFDictionaryReplaceValue(CFMutableDictionaryRef theDict, const void* key, const void* value) {
  __CFDictionary* dict = mutableDictionary(theDict);
  if (dict && dict->entries.count(key)) dict->set(key, value);
}

void CFDictionaryRemoveValue(CFMutableDictionaryRef theDict, const void* key) {
  if (__CFDictionary* dict = mutableDictionary(theDict)) dict->remove(key);
}

void CFDictionaryRemoveAllValues(CFMutableDictionaryRef theDict) {
  if (__CFDictionary* dict = mutableDictionary(theDict)) dict->clear();
}
