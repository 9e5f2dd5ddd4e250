// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The object runtime behind the CF stand-in, for its own sources and tests only.
//
// Every object derives from cf::Object, its only base, so that the object's address, the
// opaque reference and the cf::Object pointer are one and the same (the base sits at offset 0
// under the Itanium ABI that this system uses; the tests check it).
#include <QByteArray>
#include <QHash>
#include <QString>
#include <atomic>
#include <mutex>
#include <vector>

#include "platform/cf/CFArray.h"
#include "platform/cf/CFBase.h"
#include "platform/cf/CFData.h"
#include "platform/cf/CFDictionary.h"
#include "platform/cf/CFString.h"

namespace cf {

enum TypeID : CFTypeID {
  kNotAType = 0,
  kNullType = 1,
  kStringType = 7,
  kArrayType = 19,
  kDictionaryType = 18,
  kNumberType = 22,
  kBooleanType = 21,
  kDataType = 20,
  kDateType = 42,
  kURLType = 29,
  kBundleType = 31,
  kTimeZoneType = 43,
  kLocaleType = 44,
  kDateFormatterType = 45,
};

class Object {
 public:
  struct Immortal {};
  // The object starts with one reference, owned by its creator.
  explicit Object(CFTypeID type);
  // A constant that ignores retain and release and is never freed; constexpr so that
  // constants of static storage exist before any other code runs.
  constexpr Object(CFTypeID type, Immortal) : type_(type), immortal_(true) {}
  virtual ~Object();
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;

  CFTypeID typeID() const { return type_; }
  bool immortal() const { return immortal_; }
  void retain() const;
  // True when this took the last reference and the object was deleted.
  bool release() const;
  CFIndex retainCount() const;

  // Both objects have the same type id when these are called.
  virtual bool equals(const Object& other) const;
  virtual CFHashCode hash() const;
  // The part of CFCopyDescription inside the braces ("contents = ...").
  virtual QString describeContents() const;
  // What %@ prints; by default the full description.
  virtual QString formattingDescription() const;
  // "<CFString 0x...>{...}"
  QString description() const;

 private:
  mutable std::atomic<CFIndex> refs_{1};
  const CFTypeID type_;
  const bool immortal_;
};

const Object* object(CFTypeRef ref);
const char* typeName(CFTypeID type);
// Objects alive right now, constants not counted; lets tests see leaks.
CFIndex liveObjectCount();

// The object when it has T's type, else null.
template <class T>
const T* as(CFTypeRef ref) {
  const Object* o = object(ref);
  return o && o->typeID() == T::kTypeID ? static_cast<const T*>(o) : nullptr;
}
template <class T>
T* asMutable(CFTypeRef ref) {
  return const_cast<T*>(as<T>(ref));
}

// %@ text of any object; "(null)" for null.
QString formatObject(CFTypeRef ref);

}  // namespace cf

struct __CFNull final : cf::Object {
  static constexpr CFTypeID kTypeID = cf::kNullType;
  constexpr __CFNull() : Object(kTypeID, Immortal{}) {}
  QString describeContents() const override { return QString(); }
  QString formattingDescription() const override { return QStringLiteral("<null>"); }
};

struct __CFString final : cf::Object {
  static constexpr CFTypeID kTypeID = cf::kStringType;
  __CFString(QString s, bool isMutable)
      : Object(kTypeID), text(std::move(s)), isMutable(isMutable) {}
  __CFString(QString s, Immortal)
      : Object(kTypeID, Immortal{}), text(std::move(s)), isMutable(false) {}
  bool equals(const Object& other) const override;
  CFHashCode hash() const override;
  QString describeContents() const override;
  QString formattingDescription() const override { return text; }

  QString text;
  const bool isMutable;
  // CFStringGetCStringPtr's UTF-8 bytes, made on first request (immutable strings only).
  mutable std::once_flag utf8Once;
  mutable QByteArray utf8;
  mutable bool utf8Valid = false;
};

struct __CFArray final : cf::Object {
  static constexpr CFTypeID kTypeID = cf::kArrayType;
  __CFArray(const CFArrayCallBacks* callBacks, bool isMutable);
  ~__CFArray() override;
  bool equals(const Object& other) const override;
  CFHashCode hash() const override;
  QString describeContents() const override;
  QString formattingDescription() const override;

  const void* retained(const void* value) const;
  void released(const void* value) const;
  bool sameValue(const void* a, const void* b) const;

  std::vector<const void*> values;
  CFArrayCallBacks callBacks;
  const bool isMutable;
};

namespace cf {
bool isSupportedEncoding(CFStringEncoding encoding);
// The bytes as text, or false when they are not valid in the encoding. With external, a
// leading byte-order mark is read and dropped.
bool decode(const char* bytes, qsizetype length, CFStringEncoding encoding, bool external,
            QString* out);
// Strict UTF-8: overlong forms, surrogates and values past U+10FFFF are invalid.
bool decodeUtf8(const unsigned char* bytes, qsizetype length, QString* out);
// Encodes units[0, length) onto out. A character without a representation becomes lossByte,
// or stops the conversion when lossByte is 0. maxBytes < 0 means no limit; otherwise the
// conversion stops before a character whose bytes would pass it. Answers the units converted.
CFIndex encode(const QChar* units, CFIndex length, CFStringEncoding encoding, UInt8 lossByte,
               bool external, CFIndex maxBytes, QByteArray* out);
// The whole text, or false when some character has no representation.
bool encodeAll(const QString& text, CFStringEncoding encoding, QByteArray* out);

// Finds pattern in text under kCFCompare options (case, diacritics, width, nonliteral,
// backwards, anchored); the range found is relative to text.
bool findInText(QStringView text, QStringView pattern, CFOptionFlags options, CFRange* found);

// Makes an immutable string owned by the caller.
CFStringRef makeString(QString text);
CFMutableStringRef makeMutableString(QString text);
CFDataRef makeData(QByteArray bytes);
// The text of a string, or an empty QString for null or a non-string.
const QString& text(CFStringRef string);
// The entries of a strings table (".strings": `"key" = "value";` text in UTF-8 or UTF-16, or
// an XML property list); empty when the table has a syntax error.
QHash<QString, QString> parseStringsTable(const QByteArray& bytes);
// Old-style property-list text of a value, as %@ prints collections.
QString formattedValue(CFTypeRef ref, int indent);
}  // namespace cf
