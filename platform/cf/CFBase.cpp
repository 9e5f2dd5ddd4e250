// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/cf/CFBase.h"

#include <climits>
#include <cstdio>
#include <functional>

#include "platform/cf/CFInternal.h"

namespace cf {

namespace {
std::atomic<CFIndex> liveObjects{0};
}

Object::Object(CFTypeID type) : type_(type), immortal_(false) {
  liveObjects.fetch_add(1, std::memory_order_relaxed);
}

Object::~Object() {
  if (!immortal_) liveObjects.fetch_sub(1, std::memory_order_relaxed);
}

void Object::retain() const {
  if (!immortal_) refs_.fetch_add(1, std::memory_order_relaxed);
}

bool Object::release() const {
  if (immortal_) return false;
  // acq_rel: the deleting thread must see every other owner's writes to the object.
  if (refs_.fetch_sub(1, std::memory_order_acq_rel) != 1) return false;
  delete this;
  return true;
}

CFIndex Object::retainCount() const {
  return immortal_ ? LONG_MAX : refs_.load(std::memory_order_relaxed);
}

bool Object::equals(const Object& other) const { return this == &other; }

CFHashCode Object::hash() const { return std::hash<const void*>()(this); }

QString Object::describeContents() const { return QString(); }

QString Object::formattingDescription() const { return description(); }

QString Object::description() const {
  return QStringLiteral("<%1 %2>{%3}")
      .arg(QLatin1String(typeName(type_)))
      .arg(QStringLiteral("0x") + QString::number(reinterpret_cast<quintptr>(this), 16))
      .arg(describeContents());
}

const Object* object(CFTypeRef ref) { return static_cast<const Object*>(ref); }

const char* typeName(CFTypeID type) {
  switch (type) {
    case kNullType: return "CFNull";
    case kStringType: return "CFString";
    case kArrayType: return "CFArray";
    case kDictionaryType: return "CFDictionary";
    case kNumberType: return "CFNumber";
    case kBooleanType: return "CFBoolean";
    case kDataType: return "CFData";
    case kDateType: return "CFDate";
    case kURLType: return "CFURL";
    case kBundleType: return "CFBundle";
    case kTimeZoneType: return "CFTimeZone";
    case kLocaleType: return "CFLocale";
    case kDateFormatterType: return "CFDateFormatter";
    default: return nullptr;
  }
}

CFIndex liveObjectCount() { return liveObjects.load(std::memory_order_relaxed); }

QString formatObject(CFTypeRef ref) {
  const Object* o = object(ref);
  return o ? o->formattingDescription() : QStringLiteral("(null)");
}

}  // namespace cf

CFTypeRef CFRetain(CFTypeRef cf) {
  if (const cf::Object* o = cf::object(cf)) o->retain();
  return cf;
}

void CFRelease(CFTypeRef cf) {
  if (const cf::Object* o = cf::object(cf)) o->release();
}

CFIndex CFGetRetainCount(CFTypeRef cf) {
  const cf::Object* o = cf::object(cf);
  return o ? o->retainCount() : 0;
}

CFTypeID CFGetTypeID(CFTypeRef cf) {
  const cf::Object* o = cf::object(cf);
  return o ? o->typeID() : CFTypeID(cf::kNotAType);
}

Boolean CFEqual(CFTypeRef cf1, CFTypeRef cf2) {
  if (cf1 == cf2) return true;
  const cf::Object* a = cf::object(cf1);
  const cf::Object* b = cf::object(cf2);
  if (!a || !b || a->typeID() != b->typeID()) return false;
  return a->equals(*b);
}

CFHashCode CFHash(CFTypeRef cf) {
  const cf::Object* o = cf::object(cf);
  return o ? o->hash() : 0;
}

CFStringRef CFCopyDescription(CFTypeRef cf) {
  const cf::Object* o = cf::object(cf);
  return o ? cf::makeString(o->description()) : nullptr;
}

CFStringRef CFCopyTypeIDDescription(CFTypeID typeID) {
  const char* name = cf::typeName(typeID);
  return name ? cf::makeString(QString::fromLatin1(name).mid(2)) : nullptr;
}

void CFShow(CFTypeRef cf) {
  const QByteArray text = cf ? cf::formatObject(cf).toUtf8() : QByteArrayLiteral("(null)");
  std::fprintf(stderr, "%s\n", text.constData());
}

namespace {
constinit const __CFNull nullObject;
}

const CFNullRef kCFNull = &nullObject;

CFTypeID CFNullGetTypeID(void) { return cf::kNullType; }
