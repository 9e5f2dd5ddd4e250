// SPDX-License-Identifier: GPL-3.0-or-later
// Descriptors, lists, records and Apple events as flattened bytes; coercions; object specifiers.
#include <QString>
#include <cstring>
#include <string>
#include <vector>

#include "platform/carbon/AEInternal.h"
#include "platform/carbon/Aliases.h"
#include "platform/carbon/AppleEvents.h"
#include "platform/carbon/Memory.h"

namespace aeimpl {

// Nested descriptors deeper than this are refused as damaged.
constexpr int kMaxDepth = 32;

UInt32 get32(const UInt8* p) {
  return (UInt32(p[0]) << 24) | (UInt32(p[1]) << 16) | (UInt32(p[2]) << 8) | UInt32(p[3]);
}
void put32(Bytes& b, UInt32 v) {
  for (int s = 24; s >= 0; s -= 8) b.push_back(UInt8(v >> s));
}

Bytes dataOf(const AEDesc* d) {
  if (!d || !d->dataHandle || !*d->dataHandle) return {};
  const Size n = GetHandleSize(d->dataHandle);
  if (n <= 0) return {};
  return Bytes(reinterpret_cast<UInt8*>(*d->dataHandle), reinterpret_cast<UInt8*>(*d->dataHandle) + n);
}

OSErr make(DescType type, const Bytes& data, AEDesc* out) {
  out->descriptorType = type;
  out->dataHandle = nullptr;
  if (type == typeNull && data.empty()) return noErr;
  Handle h = nullptr;
  if (OSErr err = PtrToHand(data.data(), &h, long(data.size()))) return err;
  out->dataHandle = h;
  out->descriptorType = type;
  return noErr;
}

bool validate(DescType type, const UInt8* p, std::size_t n, int depth);

// Items of list or record data; false when damaged.
bool parseItems(const UInt8* p, std::size_t n, bool keyed, std::vector<Item>* out, int depth) {
  if (depth > kMaxDepth) return false;
  if (n < 4) {
    if (out) out->clear();
    return n == 0;
  }
  const UInt32 count = get32(p);
  std::size_t at = 4;
  if (out) out->clear();
  for (UInt32 i = 0; i < count; ++i) {
    Item item;
    if (keyed) {
      if (n - at < 4) return false;
      item.key = get32(p + at);
      at += 4;
    }
    if (n - at < 8) return false;
    item.type = get32(p + at);
    const UInt32 length = get32(p + at + 4);
    at += 8;
    if (length > n - at) return false;
    if (!validate(item.type, p + at, length, depth + 1)) return false;
    if (out) item.data.assign(p + at, p + at + length), out->push_back(std::move(item));
    at += length;
  }
  return at == n;
}

Bytes buildItems(const std::vector<Item>& items, bool keyed) {
  Bytes b;
  put32(b, UInt32(items.size()));
  for (const Item& i : items) {
    if (keyed) put32(b, i.key);
    put32(b, i.type);
    put32(b, UInt32(i.data.size()));
    b.insert(b.end(), i.data.begin(), i.data.end());
  }
  return b;
}

bool isRecordLike(DescType t) { return t == typeAERecord || t == typeObjectSpecifier; }


bool parseEvent(const UInt8* p, std::size_t n, Event* out, int depth) {
  if (n < 24) return false;
  Event e;
  e.eventClass = get32(p);
  e.eventID = get32(p + 4);
  e.returnID = SInt32(get32(p + 8));
  e.transactionID = SInt32(get32(p + 12));
  e.address.type = get32(p + 16);
  const UInt32 addressLength = get32(p + 20);
  std::size_t at = 24;
  if (addressLength > n - at) return false;
  e.address.data.assign(p + at, p + at + addressLength);
  at += addressLength;
  if (n - at < 4) return false;
  const UInt32 attributesLength = get32(p + at);
  at += 4;
  if (attributesLength > n - at) return false;
  if (!parseItems(p + at, attributesLength, true, out ? &e.attributes : nullptr, depth + 1)) return false;
  at += attributesLength;
  if (!parseItems(p + at, n - at, true, out ? &e.params : nullptr, depth + 1)) return false;
  if (out) *out = std::move(e);
  return true;
}

Bytes buildEvent(const Event& e) {
  Bytes b;
  put32(b, e.eventClass);
  put32(b, e.eventID);
  put32(b, UInt32(e.returnID));
  put32(b, UInt32(e.transactionID));
  put32(b, e.address.type);
  put32(b, UInt32(e.address.data.size()));
  b.insert(b.end(), e.address.data.begin(), e.address.data.end());
  const Bytes attributes = buildItems(e.attributes, true);
  put32(b, UInt32(attributes.size()));
  b.insert(b.end(), attributes.begin(), attributes.end());
  const Bytes params = buildItems(e.params, true);
  b.insert(b.end(), params.begin(), params.end());
  return b;
}

bool validate(DescType type, const UInt8* p, std::size_t n, int depth) {
  if (depth > kMaxDepth) return false;
  if (type == typeAEList) return parseItems(p, n, false, nullptr, depth);
  if (isRecordLike(type)) return parseItems(p, n, true, nullptr, depth);
  if (type == typeAppleEvent) return parseEvent(p, n, nullptr, depth);
  return true;
}

OSErr eventOf(const AppleEvent* d, Event* e) {
  if (!d) return paramErr;
  if (d->descriptorType != typeAppleEvent) return errAENotAppleEvent;
  const Bytes b = dataOf(d);
  return parseEvent(b.data(), b.size(), e) ? OSErr(noErr) : OSErr(errAECorruptData);
}

OSErr storeEvent(AppleEvent* d, const Event& e) {
  const Bytes b = buildEvent(e);
  if (d->dataHandle) {
    SetHandleSize(d->dataHandle, Size(b.size()));
    if (OSErr err = MemError()) return err;
    if (!b.empty()) std::memcpy(*d->dataHandle, b.data(), b.size());
    return noErr;
  }
  return make(typeAppleEvent, b, d);
}

OSErr storeBytes(AEDesc* d, const Bytes& b) {
  if (!d->dataHandle) return make(d->descriptorType, b, d);
  SetHandleSize(d->dataHandle, Size(b.size()));
  if (OSErr err = MemError()) return err;
  if (!b.empty()) std::memcpy(*d->dataHandle, b.data(), b.size());
  return noErr;
}

// --- Coercion --------------------------------------------------------------------------------------

OSErr coerce(DescType from, const Bytes& data, DescType to, DescType* outType, Bytes* out) {
  if (to == from || to == typeWildCard) {
    *outType = from;
    *out = data;
    return noErr;
  }
  *outType = to;
  auto text16 = [&](const QString& s) {
    out->resize(std::size_t(s.size()) * 2);
    std::memcpy(out->data(), s.utf16(), out->size());
  };
  switch (from) {
    case typeUnicodeText: {
      const QString s = QString::fromUtf16(reinterpret_cast<const char16_t*>(data.data()), qsizetype(data.size() / 2));
      if (to == typeChar || to == typeUTF8Text) {
        const QByteArray u = s.toUtf8();
        out->assign(u.begin(), u.end());
        return noErr;
      }
      break;
    }
    case typeChar:
    case typeUTF8Text: {
      const QString s = QString::fromUtf8(reinterpret_cast<const char*>(data.data()), qsizetype(data.size()));
      if (to == typeUnicodeText) return text16(s), noErr;
      if (to == typeChar || to == typeUTF8Text) return *out = data, noErr;
      break;
    }
    case typeSInt16:
      if (to == typeSInt32 && data.size() == 2) {
        SInt16 v;
        std::memcpy(&v, data.data(), 2);
        const SInt32 w = v;
        out->resize(4);
        std::memcpy(out->data(), &w, 4);
        return noErr;
      }
      break;
    case typeSInt32:
      if (to == typeSInt16 && data.size() == 4) {
        SInt32 v;
        std::memcpy(&v, data.data(), 4);
        if (v < -32768 || v > 32767) return errAECoercionFail;
        const SInt16 w = SInt16(v);
        out->resize(2);
        std::memcpy(out->data(), &w, 2);
        return noErr;
      }
      break;
    case typeFSRef:
    case typeFSS:
    case typeAlias: {
      // Among the three through an FSRef.
      FSRef ref;
      if (from == typeFSRef) {
        if (data.size() != sizeof ref) return errAECoercionFail;
        std::memcpy(&ref, data.data(), sizeof ref);
      } else if (from == typeFSS) {
        FSSpec spec;
        if (data.size() != sizeof spec) return errAECoercionFail;
        std::memcpy(&spec, data.data(), sizeof spec);
        if (FSpMakeFSRef(&spec, &ref) != noErr) return errAECoercionFail;
      } else {
        Handle h = nullptr;
        if (PtrToHand(data.data(), &h, long(data.size()))) return memFullErr;
        const OSErr err = FSResolveAliasWithMountFlags(nullptr, reinterpret_cast<AliasHandle>(h), &ref, nullptr, 0);
        DisposeHandle(h);
        if (err) return err == fnfErr ? OSErr(fnfErr) : OSErr(errAECoercionFail);
      }
      if (to == typeFSRef) return out->assign(reinterpret_cast<UInt8*>(&ref), reinterpret_cast<UInt8*>(&ref) + sizeof ref), noErr;
      if (to == typeFSS) {
        FSSpec spec;
        if (FSGetCatalogInfo(&ref, kFSCatInfoNone, nullptr, nullptr, &spec, nullptr)) return errAECoercionFail;
        return out->assign(reinterpret_cast<UInt8*>(&spec), reinterpret_cast<UInt8*>(&spec) + sizeof spec), noErr;
      }
      if (to == typeAlias) {
        AliasHandle alias = nullptr;
        if (FSNewAlias(nullptr, &ref, &alias)) return errAECoercionFail;
        const Size n = GetHandleSize(reinterpret_cast<Handle>(alias));
        out->assign(reinterpret_cast<UInt8*>(*alias), reinterpret_cast<UInt8*>(*alias) + n);
        DisposeHandle(reinterpret_cast<Handle>(alias));
        return noErr;
      }
      break;
    }
    case typeAERecord:
      // A record takes another record-like type as it is (an object specifier is a record).
      if (isRecordLike(to)) return *out = data, noErr;
      break;
    case typeObjectSpecifier:
      if (to == typeAERecord) return *out = data, noErr;
      break;
    case typeEnumerated:
    case typeType:
    case typeKeyword:
      if ((to == typeEnumerated || to == typeType || to == typeKeyword) && data.size() == 4) return *out = data, noErr;
      break;
    default:
      break;
  }
  return errAECoercionFail;
}

// Finds a keyed item; the value coerced to desired.
OSErr findKeyed(const std::vector<Item>& items, AEKeyword key, DescType desired, DescType* type, Bytes* out) {
  for (const Item& i : items)
    if (i.key == key) return coerce(i.type, i.data, desired, type, out);
  return errAEDescNotFound;
}

OSErr copyOut(DescType type, const Bytes& data, DescType* typeCode, void* dataPtr, Size maximumSize, Size* actualSize) {
  if (typeCode) *typeCode = type;
  if (actualSize) *actualSize = Size(data.size());
  if (dataPtr && maximumSize > 0) std::memcpy(dataPtr, data.data(), std::min<std::size_t>(data.size(), std::size_t(maximumSize)));
  return noErr;
}

}  // namespace aeimpl

using namespace aeimpl;

void AEInitializeDesc(AEDesc* desc) {
  if (!desc) return;
  desc->descriptorType = typeNull;
  desc->dataHandle = nullptr;
}

OSErr AECreateDesc(DescType typeCode, const void* dataPtr, Size dataSize, AEDesc* result) {
  if (!result || dataSize < 0 || (!dataPtr && dataSize > 0)) return paramErr;
  AEInitializeDesc(result);
  const UInt8* p = static_cast<const UInt8*>(dataPtr);
  if (!validate(typeCode, p, std::size_t(dataSize), 0)) return errAECorruptData;
  return make(typeCode, Bytes(p, p + dataSize), result);
}

OSErr AEDisposeDesc(AEDesc* desc) {
  if (!desc) return paramErr;
  DisposeHandle(desc->dataHandle);
  AEInitializeDesc(desc);
  return noErr;
}

OSErr AEDuplicateDesc(const AEDesc* desc, AEDesc* result) {
  if (!desc || !result) return paramErr;
  return make(desc->descriptorType, dataOf(desc), result);
}

Size AEGetDescDataSize(const AEDesc* desc) { return Size(dataOf(desc).size()); }

OSErr AEGetDescData(const AEDesc* desc, void* dataPtr, Size maximumSize) {
  if (!desc || !dataPtr) return paramErr;
  const Bytes b = dataOf(desc);
  std::memcpy(dataPtr, b.data(), std::min<std::size_t>(b.size(), std::size_t(std::max<Size>(0, maximumSize))));
  return noErr;
}

OSErr AECoercePtr(DescType typeCode, const void* dataPtr, Size dataSize, DescType toType, AEDesc* result) {
  if (!result || dataSize < 0 || (!dataPtr && dataSize)) return paramErr;
  AEInitializeDesc(result);
  const UInt8* p = static_cast<const UInt8*>(dataPtr);
  DescType type;
  Bytes out;
  if (OSErr err = coerce(typeCode, Bytes(p, p + dataSize), toType, &type, &out)) return err;
  return make(type, out, result);
}

OSErr AECoerceDesc(const AEDesc* desc, DescType toType, AEDesc* result) {
  if (!desc || !result) return paramErr;
  DescType type;
  Bytes out;
  const Bytes in = dataOf(desc);
  if (OSErr err = coerce(desc->descriptorType, in, toType, &type, &out)) {
    AEInitializeDesc(result);
    return err;
  }
  return make(type, out, result);
}

OSErr AECreateList(const void*, Size, Boolean isRecord, AEDescList* list) {
  if (!list) return paramErr;
  return make(isRecord ? typeAERecord : typeAEList, buildItems({}, false), list);
}

namespace {

OSErr itemsOf(const AEDesc* list, bool* keyed, std::vector<Item>* items) {
  if (!list) return paramErr;
  if (list->descriptorType == typeAEList) *keyed = false;
  else if (isRecordLike(list->descriptorType)) *keyed = true;
  else if (list->descriptorType == typeAppleEvent) {
    Event e;
    if (OSErr err = eventOf(list, &e)) return err;
    *keyed = true;
    *items = e.params;
    return noErr;
  } else return errAEWrongDataType;
  const Bytes b = dataOf(list);
  return parseItems(b.data(), b.size(), *keyed, items) ? OSErr(noErr) : OSErr(errAECorruptData);
}

OSErr putItem(AEDescList* list, long index, AEKeyword key, DescType type, const Bytes& data) {
  bool keyed;
  std::vector<Item> items;
  if (OSErr err = itemsOf(list, &keyed, &items)) return err;
  if (!validate(type, data.data(), data.size(), 1)) return errAECorruptData;
  if (list->descriptorType == typeAppleEvent) return AEPutParamPtr(list, key, type, data.data(), Size(data.size()));
  Item item{key, type, data};
  if (keyed && key) {
    for (Item& i : items)
      if (i.key == key) {
        i = item;
        return storeBytes(list, buildItems(items, true));
      }
    items.push_back(item);
  } else if (index == 0 || index == long(items.size()) + 1) {
    items.push_back(item);
  } else if (index < 0 || index > long(items.size())) {
    return errAEIllegalIndex;
  } else {
    items[std::size_t(index - 1)] = item;
  }
  return storeBytes(list, buildItems(items, keyed));
}

OSErr nthItem(const AEDescList* list, long index, Item* out) {
  bool keyed;
  std::vector<Item> items;
  if (OSErr err = itemsOf(list, &keyed, &items)) return err;
  if (index < 1 || index > long(items.size())) return errAEIllegalIndex;
  *out = items[std::size_t(index - 1)];
  return noErr;
}

}  // namespace

OSErr AECountItems(const AEDescList* list, long* count) {
  if (!count) return paramErr;
  bool keyed;
  std::vector<Item> items;
  if (OSErr err = itemsOf(list, &keyed, &items)) return err;
  *count = long(items.size());
  return noErr;
}

OSErr AEPutPtr(AEDescList* list, long index, DescType typeCode, const void* dataPtr, Size dataSize) {
  if (dataSize < 0 || (!dataPtr && dataSize)) return paramErr;
  const UInt8* p = static_cast<const UInt8*>(dataPtr);
  return putItem(list, index, 0, typeCode, Bytes(p, p + dataSize));
}

OSErr AEPutDesc(AEDescList* list, long index, const AEDesc* desc) {
  if (!desc) return paramErr;
  return putItem(list, index, 0, desc->descriptorType, dataOf(desc));
}

OSErr AEGetNthPtr(const AEDescList* list, long index, DescType desiredType, AEKeyword* keyword,
                  DescType* typeCode, void* dataPtr, Size maximumSize, Size* actualSize) {
  Item item;
  if (OSErr err = nthItem(list, index, &item)) return err;
  if (keyword) *keyword = item.key;
  DescType type;
  Bytes out;
  if (OSErr err = coerce(item.type, item.data, desiredType, &type, &out)) return err;
  return copyOut(type, out, typeCode, dataPtr, maximumSize, actualSize);
}

OSErr AEGetNthDesc(const AEDescList* list, long index, DescType desiredType, AEKeyword* keyword, AEDesc* result) {
  if (!result) return paramErr;
  AEInitializeDesc(result);
  Item item;
  if (OSErr err = nthItem(list, index, &item)) return err;
  if (keyword) *keyword = item.key;
  DescType type;
  Bytes out;
  if (OSErr err = coerce(item.type, item.data, desiredType, &type, &out)) return err;
  return make(type, out, result);
}

OSErr AEDeleteItem(AEDescList* list, long index) {
  bool keyed;
  std::vector<Item> items;
  if (OSErr err = itemsOf(list, &keyed, &items)) return err;
  if (index < 1 || index > long(items.size())) return errAEIllegalIndex;
  items.erase(items.begin() + (index - 1));
  return storeBytes(list, buildItems(items, keyed));
}

OSErr AEPutKeyPtr(AERecord* record, AEKeyword keyword, DescType typeCode, const void* dataPtr, Size dataSize) {
  if (!record || dataSize < 0 || (!dataPtr && dataSize)) return paramErr;
  if (!isRecordLike(record->descriptorType) && record->descriptorType != typeAppleEvent) return errAEWrongDataType;
  const UInt8* p = static_cast<const UInt8*>(dataPtr);
  return putItem(record, 0, keyword, typeCode, Bytes(p, p + dataSize));
}

OSErr AEPutKeyDesc(AERecord* record, AEKeyword keyword, const AEDesc* desc) {
  if (!desc) return paramErr;
  const Bytes b = dataOf(desc);
  return AEPutKeyPtr(record, keyword, desc->descriptorType, b.data(), Size(b.size()));
}

OSErr AEGetKeyPtr(const AERecord* record, AEKeyword keyword, DescType desiredType, DescType* typeCode,
                  void* dataPtr, Size maximumSize, Size* actualSize) {
  bool keyed;
  std::vector<Item> items;
  if (OSErr err = itemsOf(record, &keyed, &items)) return err;
  if (!keyed) return errAEWrongDataType;
  DescType type;
  Bytes out;
  if (OSErr err = findKeyed(items, keyword, desiredType, &type, &out)) return err;
  return copyOut(type, out, typeCode, dataPtr, maximumSize, actualSize);
}

OSErr AEGetKeyDesc(const AERecord* record, AEKeyword keyword, DescType desiredType, AEDesc* result) {
  if (!result) return paramErr;
  AEInitializeDesc(result);
  bool keyed;
  std::vector<Item> items;
  if (OSErr err = itemsOf(record, &keyed, &items)) return err;
  if (!keyed) return errAEWrongDataType;
  DescType type;
  Bytes out;
  if (OSErr err = findKeyed(items, keyword, desiredType, &type, &out)) return err;
  return make(type, out, result);
}

OSErr AECreateAppleEvent(AEEventClass theAEEventClass, AEEventID theAEEventID, const AEAddressDesc* target,
                         AEReturnID returnID, AETransactionID transactionID, AppleEvent* result) {
  if (!result) return paramErr;
  AEInitializeDesc(result);
  static SInt32 nextReturnID = 1;
  Event e;
  e.eventClass = theAEEventClass;
  e.eventID = theAEEventID;
  e.returnID = returnID == kAutoGenerateReturnID ? __atomic_fetch_add(&nextReturnID, 1, __ATOMIC_RELAXED) : returnID;
  e.transactionID = transactionID;
  if (target) {
    e.address.type = target->descriptorType;
    e.address.data = dataOf(target);
  } else {
    e.address.type = typeNull;
  }
  return make(typeAppleEvent, buildEvent(e), result);
}

OSErr AEPutParamPtr(AppleEvent* event, AEKeyword keyword, DescType typeCode, const void* dataPtr, Size dataSize) {
  if (dataSize < 0 || (!dataPtr && dataSize)) return paramErr;
  Event e;
  if (OSErr err = eventOf(event, &e)) return err;
  const UInt8* p = static_cast<const UInt8*>(dataPtr);
  Bytes data(p, p + dataSize);
  if (!validate(typeCode, data.data(), data.size(), 1)) return errAECorruptData;
  for (Item& i : e.params)
    if (i.key == keyword) {
      i = Item{keyword, typeCode, std::move(data)};
      return storeEvent(event, e);
    }
  e.params.push_back(Item{keyword, typeCode, std::move(data)});
  return storeEvent(event, e);
}

OSErr AEPutParamDesc(AppleEvent* event, AEKeyword keyword, const AEDesc* desc) {
  if (!desc) return paramErr;
  const Bytes b = dataOf(desc);
  return AEPutParamPtr(event, keyword, desc->descriptorType, b.data(), Size(b.size()));
}

OSErr AEGetParamPtr(const AppleEvent* event, AEKeyword keyword, DescType desiredType, DescType* typeCode,
                    void* dataPtr, Size maximumSize, Size* actualSize) {
  Event e;
  if (OSErr err = eventOf(event, &e)) return err;
  DescType type;
  Bytes out;
  if (OSErr err = findKeyed(e.params, keyword, desiredType, &type, &out)) return err;
  return copyOut(type, out, typeCode, dataPtr, maximumSize, actualSize);
}

OSErr AEGetParamDesc(const AppleEvent* event, AEKeyword keyword, DescType desiredType, AEDesc* result) {
  if (!result) return paramErr;
  AEInitializeDesc(result);
  Event e;
  if (OSErr err = eventOf(event, &e)) return err;
  DescType type;
  Bytes out;
  if (OSErr err = findKeyed(e.params, keyword, desiredType, &type, &out)) return err;
  return make(type, out, result);
}

OSErr AECountParams(const AppleEvent* event, long* count) {
  if (!count) return paramErr;
  Event e;
  if (OSErr err = eventOf(event, &e)) return err;
  *count = long(e.params.size());
  return noErr;
}

namespace {

OSErr attribute(const Event& e, AEKeyword keyword, Item* out) {
  Bytes b;
  switch (keyword) {
    case keyEventClassAttr: put32(b, e.eventClass); *out = {keyword, typeType, b}; return noErr;
    case keyEventIDAttr: put32(b, e.eventID); *out = {keyword, typeType, b}; return noErr;
    case keyAddressAttr: *out = e.address; return noErr;
    case keyReturnIDAttr: {
      const SInt32 v = e.returnID;
      *out = {keyword, typeSInt32, Bytes(reinterpret_cast<const UInt8*>(&v), reinterpret_cast<const UInt8*>(&v) + 4)};
      return noErr;
    }
    case keyTransactionIDAttr: {
      const SInt32 v = e.transactionID;
      *out = {keyword, typeSInt32, Bytes(reinterpret_cast<const UInt8*>(&v), reinterpret_cast<const UInt8*>(&v) + 4)};
      return noErr;
    }
    default:
      for (const Item& i : e.attributes)
        if (i.key == keyword) return *out = i, noErr;
      return errAEDescNotFound;
  }
}

}  // namespace

OSErr AEGetAttributePtr(const AppleEvent* event, AEKeyword keyword, DescType desiredType,
                        DescType* typeCode, void* dataPtr, Size maximumSize, Size* actualSize) {
  Event e;
  if (OSErr err = eventOf(event, &e)) return err;
  Item item;
  if (OSErr err = attribute(e, keyword, &item)) return err;
  // Class and ID are type codes in host order, as the other four-character values are.
  if (item.type == typeType && item.data.size() == 4 && (keyword == keyEventClassAttr || keyword == keyEventIDAttr)) {
    const UInt32 v = get32(item.data.data());
    item.data.assign(reinterpret_cast<const UInt8*>(&v), reinterpret_cast<const UInt8*>(&v) + 4);
  }
  DescType type;
  Bytes out;
  if (OSErr err = coerce(item.type, item.data, desiredType, &type, &out)) return err;
  return copyOut(type, out, typeCode, dataPtr, maximumSize, actualSize);
}

OSErr AEGetAttributeDesc(const AppleEvent* event, AEKeyword keyword, DescType desiredType, AEDesc* result) {
  if (!result) return paramErr;
  AEInitializeDesc(result);
  Event e;
  if (OSErr err = eventOf(event, &e)) return err;
  Item item;
  if (OSErr err = attribute(e, keyword, &item)) return err;
  DescType type;
  Bytes out;
  if (OSErr err = coerce(item.type, item.data, desiredType, &type, &out)) return err;
  return make(type, out, result);
}

OSErr AEPutAttributePtr(AppleEvent* event, AEKeyword keyword, DescType typeCode, const void* dataPtr, Size dataSize) {
  if (dataSize < 0 || (!dataPtr && dataSize)) return paramErr;
  Event e;
  if (OSErr err = eventOf(event, &e)) return err;
  const UInt8* p = static_cast<const UInt8*>(dataPtr);
  Bytes data(p, p + dataSize);
  if (keyword == keyAddressAttr) {
    e.address = Item{0, typeCode, data};
    return storeEvent(event, e);
  }
  for (Item& i : e.attributes)
    if (i.key == keyword) return i = Item{keyword, typeCode, data}, storeEvent(event, e);
  e.attributes.push_back(Item{keyword, typeCode, data});
  return storeEvent(event, e);
}

OSErr CreateObjSpecifier(DescType desiredClass, AEDesc* container, DescType keyForm, AEDesc* keyData,
                         Boolean disposeInputs, AEDesc* objSpecifier) {
  if (!objSpecifier || !keyData) return paramErr;
  AEInitializeDesc(objSpecifier);
  const UInt32 want = desiredClass, form = keyForm;
  std::vector<Item> items;
  const auto code = [](const UInt32& c) { return Bytes(reinterpret_cast<const UInt8*>(&c), reinterpret_cast<const UInt8*>(&c) + 4); };
  items.push_back({keyAEDesiredClass, typeType, code(want)});
  items.push_back({keyAEContainer, container ? container->descriptorType : typeNull, dataOf(container)});
  items.push_back({keyAEKeyForm, typeEnumerated, code(form)});
  items.push_back({keyAEKeyData, keyData->descriptorType, dataOf(keyData)});
  const OSErr err = make(typeObjectSpecifier, buildItems(items, true), objSpecifier);
  if (disposeInputs) {
    if (container) AEDisposeDesc(container);
    AEDisposeDesc(keyData);
  }
  return err;
}

Size AESizeOfFlattenedDesc(const AEDesc* desc) { return desc ? Size(8 + dataOf(desc).size()) : 0; }

OSErr AEFlattenDesc(const AEDesc* desc, Ptr buffer, Size bufferSize, Size* actualSize) {
  if (!desc || !buffer) return paramErr;
  const Bytes data = dataOf(desc);
  Bytes b;
  put32(b, desc->descriptorType);
  put32(b, UInt32(data.size()));
  b.insert(b.end(), data.begin(), data.end());
  if (Size(b.size()) > bufferSize) return errAEBadListItem;
  std::memcpy(buffer, b.data(), b.size());
  if (actualSize) *actualSize = Size(b.size());
  return noErr;
}

OSErr AEUnflattenDescFromBytes(const void* buffer, Size size, AEDesc* result) {
  if (!buffer || !result || size < 0) return paramErr;
  AEInitializeDesc(result);
  const UInt8* p = static_cast<const UInt8*>(buffer);
  if (size < 8) return errAECorruptData;
  const DescType type = get32(p);
  const UInt32 length = get32(p + 4);
  if (length != UInt64(size) - 8) return errAECorruptData;
  if (!validate(type, p + 8, length, 0)) return errAECorruptData;
  return make(type, Bytes(p + 8, p + 8 + length), result);
}

OSErr AEUnflattenDesc(const void* buffer, AEDesc* result) {
  if (!buffer) return paramErr;
  const UInt8* p = static_cast<const UInt8*>(buffer);
  return AEUnflattenDescFromBytes(buffer, Size(8 + UInt64(get32(p + 4))), result);
}
