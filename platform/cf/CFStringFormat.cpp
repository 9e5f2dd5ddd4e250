// SPDX-License-Identifier: GPL-3.0-or-later
// CFStringCreateWithFormat: printf formats plus %@ and positional arguments.
//
// The format is parsed first, so that the type of every argument is known before any is read
// from the va_list (positional arguments may come in any order).
#include <QString>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/cf/CFInternal.h"

namespace {

enum class Arg {
  None,
  Int,
  Long,
  LongLong,
  SizeT,
  PtrDiff,
  IntMax,
  Double,
  LongDouble,
  CString,
  UniString,
  Object,
  Pointer
};

struct Directive {
  qsizetype begin = 0, end = 0;  // the directive's text in the format, for unknown conversions
  std::string flags;
  int width = -1, widthArg = -1;
  int precision = -1, precisionArg = -1;
  std::string length;  // "", "hh", "h", "l", "ll", "q", "L", "z", "t", "j"
  char16_t conversion = 0;
  int valueArg = -1;
  Arg type = Arg::None;
};

struct Piece {
  QString literal;
  std::optional<Directive> directive;
};

Arg typeOf(char16_t conversion, const std::string& length) {
  switch (conversion) {
    case u'd':
    case u'i':
    case u'u':
    case u'o':
    case u'x':
    case u'X':
    case u'D':
    case u'U':
    case u'O':
      if (conversion == u'D' || conversion == u'U' || conversion == u'O') return Arg::Long;
      if (length == "l") return Arg::Long;
      if (length == "ll" || length == "q") return Arg::LongLong;
      if (length == "z") return Arg::SizeT;
      if (length == "t") return Arg::PtrDiff;
      if (length == "j") return Arg::IntMax;
      return Arg::Int;
    case u'c':
    case u'C': return Arg::Int;
    case u'f':
    case u'F':
    case u'e':
    case u'E':
    case u'g':
    case u'G':
    case u'a':
    case u'A': return length == "L" ? Arg::LongDouble : Arg::Double;
    case u's': return Arg::CString;
    case u'S': return Arg::UniString;
    case u'@': return Arg::Object;
    case u'p':
    case u'n': return Arg::Pointer;
    default: return Arg::None;
  }
}

// Reads "123$" at i; the 0-based argument index, or -1 (i unchanged) when absent.
int readPosition(const QString& f, qsizetype* i) {
  qsizetype j = *i;
  int n = 0;
  while (j < f.size() && f[j].isDigit() && f[j].unicode() < 0x80 && n < 100000)
    n = n * 10 + (f[j++].unicode() - u'0');
  if (j > *i && j < f.size() && f[j] == u'$' && n > 0) {
    *i = j + 1;
    return n - 1;
  }
  return -1;
}

int readNumber(const QString& f, qsizetype* i) {
  int n = 0;
  while (*i < f.size() && f[*i] >= u'0' && f[*i] <= u'9') {
    if (n < 100000) n = n * 10 + (f[*i].unicode() - u'0');
    ++*i;
  }
  return n;
}

std::vector<Piece> parse(const QString& f) {
  std::vector<Piece> pieces;
  QString literal;
  int nextArg = 0;
  qsizetype i = 0;
  while (i < f.size()) {
    if (f[i] != u'%') {
      literal += f[i++];
      continue;
    }
    if (i + 1 < f.size() && f[i + 1] == u'%') {
      literal += u'%';
      i += 2;
      continue;
    }
    Directive directive;
    directive.begin = i++;
    const int position = readPosition(f, &i);
    while (i < f.size() && QStringView(u"-+ #0'").contains(f[i]))
      directive.flags += char(f[i++].unicode());
    if (i < f.size() && f[i] == u'*') {
      ++i;
      const int p = readPosition(f, &i);
      directive.widthArg = p >= 0 ? p : nextArg++;
    } else if (i < f.size() && f[i] >= u'1' && f[i] <= u'9') {
      directive.width = readNumber(f, &i);
    }
    if (i < f.size() && f[i] == u'.') {
      ++i;
      if (i < f.size() && f[i] == u'*') {
        ++i;
        const int p = readPosition(f, &i);
        directive.precisionArg = p >= 0 ? p : nextArg++;
      } else {
        directive.precision = readNumber(f, &i);
      }
    }
    for (const char* modifier : {"hh", "ll", "h", "l", "q", "L", "z", "t", "j"}) {
      const qsizetype n = qsizetype(std::strlen(modifier));
      if (QStringView(f).mid(i, n) == QLatin1String(modifier)) {
        directive.length = modifier;
        i += n;
        break;
      }
    }
    if (i < f.size()) directive.conversion = f[i++].unicode();
    directive.end = i;
    directive.type = typeOf(directive.conversion, directive.length);
    if (directive.type != Arg::None) directive.valueArg = position >= 0 ? position : nextArg++;
    if (!literal.isEmpty()) pieces.push_back({std::move(literal), std::nullopt});
    literal.clear();
    pieces.push_back({QString(), directive});
  }
  if (!literal.isEmpty()) pieces.push_back({std::move(literal), std::nullopt});
  return pieces;
}

struct Value {
  Arg type = Arg::None;
  long long integer = 0;
  double real = 0;
  long double longReal = 0;
  const void* pointer = nullptr;
};

std::vector<Value> readArguments(const std::vector<Piece>& pieces, va_list args) {
  std::vector<Arg> types;
  auto want = [&](int index, Arg type) {
    if (index < 0 || index > 1000) return;
    if (size_t(index) >= types.size()) types.resize(size_t(index) + 1, Arg::None);
    if (types[size_t(index)] == Arg::None) types[size_t(index)] = type;
  };
  for (const Piece& piece : pieces) {
    if (!piece.directive) continue;
    want(piece.directive->widthArg, Arg::Int);
    want(piece.directive->precisionArg, Arg::Int);
    want(piece.directive->valueArg, piece.directive->type);
  }
  std::vector<Value> values(types.size());
  for (size_t k = 0; k < types.size(); ++k) {
    Value& v = values[k];
    v.type = types[k];
    switch (v.type) {
      case Arg::Int: v.integer = va_arg(args, int); break;
      case Arg::Long: v.integer = va_arg(args, long); break;
      case Arg::None:  // an index no directive names: a pointer-sized slot is the best guess
      case Arg::LongLong: v.integer = va_arg(args, long long); break;
      case Arg::SizeT: v.integer = static_cast<long long>(va_arg(args, size_t)); break;
      case Arg::PtrDiff: v.integer = va_arg(args, ptrdiff_t); break;
      case Arg::IntMax: v.integer = va_arg(args, intmax_t); break;
      case Arg::Double: v.real = va_arg(args, double); break;
      case Arg::LongDouble: v.longReal = va_arg(args, long double); break;
      case Arg::CString:
      case Arg::UniString:
      case Arg::Object:
      case Arg::Pointer: v.pointer = va_arg(args, const void*); break;
    }
  }
  return values;
}

QString pad(QString text, int width, bool left) {
  if (width > text.size()) {
    const QString spaces(width - text.size(), u' ');
    text = left ? text + spaces : spaces + text;
  }
  return text;
}

template <class T>
QString printfValue(const std::string& format, T value) {
  char small[128];
  const int n = std::snprintf(small, sizeof small, format.c_str(), value);
  if (n < 0) return QString();
  if (size_t(n) < sizeof small) return QString::fromLatin1(small, n);
  std::string big(size_t(n) + 1, '\0');
  std::snprintf(big.data(), big.size(), format.c_str(), value);
  return QString::fromLatin1(big.data(), n);
}

QString render(const Directive& directive, const std::vector<Value>& values,
               const QString& format) {
  auto arg = [&](int index) -> const Value* {
    return index >= 0 && size_t(index) < values.size() ? &values[size_t(index)] : nullptr;
  };
  int width = directive.width, precision = directive.precision;
  bool left = directive.flags.find('-') != std::string::npos;
  if (const Value* w = arg(directive.widthArg)) {
    width = int(w->integer);
    if (width < 0) left = true, width = -width;
  }
  if (const Value* p = arg(directive.precisionArg))
    precision = p->integer < 0 ? -1 : int(p->integer);
  width = std::min(width, 100000);
  precision = std::min(precision, 100000);
  const Value* v = arg(directive.valueArg);
  if (directive.type == Arg::None || !v)
    return format.mid(directive.begin, directive.end - directive.begin);

  std::string cFormat = "%" + directive.flags;
  if (width >= 0) cFormat += std::to_string(width);
  if (precision >= 0) cFormat += "." + std::to_string(precision);
  switch (directive.conversion) {
    case u'd':
    case u'i':
    case u'D': {
      long long value = v->integer;
      if (v->type == Arg::Int && directive.length == "hh")
        value = static_cast<signed char>(value);
      else if (v->type == Arg::Int && directive.length == "h")
        value = static_cast<short>(value);
      return printfValue(cFormat + "lld", value);
    }
    case u'u':
    case u'o':
    case u'x':
    case u'X':
    case u'U':
    case u'O': {
      unsigned long long u = static_cast<unsigned long long>(v->integer);
      // An argument narrower than 64 bits keeps only its own bits.
      if (v->type == Arg::Int) {
        if (directive.length == "hh")
          u &= 0xFF;
        else if (directive.length == "h")
          u &= 0xFFFF;
        else
          u &= 0xFFFFFFFFULL;
      }
      const char c = directive.conversion == u'U'   ? 'u'
                     : directive.conversion == u'O' ? 'o'
                                                    : char(directive.conversion);
      return printfValue(cFormat + "ll" + c, u);
    }
    case u'f':
    case u'F':
    case u'e':
    case u'E':
    case u'g':
    case u'G':
    case u'a':
    case u'A':
      if (v->type == Arg::LongDouble)
        return printfValue(cFormat + "L" + char(directive.conversion), v->longReal);
      return printfValue(cFormat + char(directive.conversion), v->real);
    case u'c':
      return pad(QString(QChar(char16_t(static_cast<unsigned char>(v->integer)))), width, left);
    case u'C': return pad(QString(QChar(char16_t(v->integer))), width, left);
    case u'p':
      return pad(QStringLiteral("0x") + QString::number(reinterpret_cast<quintptr>(v->pointer), 16),
                 width, left);
    case u'n': return QString();  // writing through the argument is not offered
    case u's': {
      if (!v->pointer) return pad(QStringLiteral("(null)"), width, left);
      const char* s = static_cast<const char*>(v->pointer);
      const size_t n = precision >= 0 ? strnlen(s, size_t(precision)) : std::strlen(s);
      QString text;
      if (!cf::decodeUtf8(reinterpret_cast<const unsigned char*>(s), qsizetype(n), &text))
        text = QString::fromLatin1(s, qsizetype(n));
      return pad(text, width, left);
    }
    case u'S': {
      if (!v->pointer) return pad(QStringLiteral("(null)"), width, left);
      const auto* u = static_cast<const char16_t*>(v->pointer);
      qsizetype n = 0;
      while (u[n] && (precision < 0 || n < precision)) ++n;
      return pad(QString(reinterpret_cast<const QChar*>(u), n), width, left);
    }
    case u'@': {
      QString text = cf::formatObject(v->pointer);
      if (precision >= 0) text.truncate(precision);
      return pad(text, width, left);
    }
    default: return format.mid(directive.begin, directive.end - directive.begin);
  }
}

QString formatText(CFStringRef format, va_list args) {
  const QString& f = cf::text(format);
  const std::vector<Piece> pieces = parse(f);
  const std::vector<Value> values = readArguments(pieces, args);
  QString result;
  for (const Piece& piece : pieces)
    result += piece.directive ? render(*piece.directive, values, f) : piece.literal;
  return result;
}

}  // namespace

CFStringRef CFStringCreateWithFormatAndArguments(CFAllocatorRef, CFDictionaryRef,
                                                 CFStringRef format, va_list arguments) {
  if (!cf::as<__CFString>(format)) return nullptr;
  va_list copy;
  va_copy(copy, arguments);
  CFStringRef result = cf::makeString(formatText(format, copy));
  va_end(copy);
  return result;
}

CFStringRef CFStringCreateWithFormat(CFAllocatorRef alloc, CFDictionaryRef formatOptions,
                                     CFStringRef format, ...) {
  va_list args;
  va_start(args, format);
  CFStringRef result = CFStringCreateWithFormatAndArguments(alloc, formatOptions, format, args);
  va_end(args);
  return result;
}

void CFStringAppendFormat(CFMutableStringRef theString, CFDictionaryRef formatOptions,
                          CFStringRef format, ...) {
  __CFString* s = cf::asMutable<__CFString>(theString);
  if (!s || !s->isMutable || !cf::as<__CFString>(format)) return;
  (void)formatOptions;
  va_list args;
  va_start(args, format);
  s->text += formatText(format, args);
  va_end(args);
}
