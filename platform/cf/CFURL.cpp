// SPDX-License-Identifier: GPL-3.0-or-later
// CFURL: URL strings, file URLs and percent escapes.
#include "platform/cf/CFURL.h"

#include <QDir>
#include <QHash>
#include <cstring>
#include <optional>

#include "platform/cf/CFInternal.h"

namespace {

// RFC 2396 section 2: the unreserved marks and the reserved characters. Letters and digits
// are legal too. Everything else ("%", "#", space, controls, non-ASCII, "<>\"{}|\\^[]`")
// is not, and is escaped.
bool isLegalURLCharacter(char32_t c) {
  if (c >= 0x80) return false;
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
  return QByteArrayView(
             "-_.!~*'()"
             ";/?:@&=+$,")
      .contains(char(c));
}

int hexValue(QChar c) {
  const char16_t u = c.unicode();
  if (u >= '0' && u <= '9') return u - '0';
  if (u >= 'a' && u <= 'f') return u - 'a' + 10;
  if (u >= 'A' && u <= 'F') return u - 'A' + 10;
  return -1;
}

bool containsCodePoint(const QString& set, char32_t c) {
  for (qsizetype i = 0; i < set.size(); ++i) {
    char32_t d = set[i].unicode();
    if (QChar::isHighSurrogate(d) && i + 1 < set.size() && set[i + 1].isLowSurrogate())
      d = QChar::surrogateToUcs4(set[i], set[i + 1]), ++i;
    if (d == c) return true;
  }
  return false;
}

void appendEscapes(QString* out, const QByteArray& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  for (char b : bytes) {
    const auto u = static_cast<unsigned char>(b);
    out->append(u'%');
    out->append(QLatin1Char(digits[u >> 4]));
    out->append(QLatin1Char(digits[u & 0xF]));
  }
}

std::optional<QString> addEscapes(const QString& text, const QString* leaveUnescaped,
                                  const QString* forceEscaped, CFStringEncoding encoding) {
  QString out;
  out.reserve(text.size());
  for (qsizetype i = 0; i < text.size();) {
    char32_t c = text[i].unicode();
    qsizetype width = 1;
    if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
      c = QChar::surrogateToUcs4(text[i], text[i + 1]);
      width = 2;
    }
    bool escape = !isLegalURLCharacter(c);
    if (escape && leaveUnescaped && containsCodePoint(*leaveUnescaped, c))
      escape = false;
    else if (!escape && forceEscaped && containsCodePoint(*forceEscaped, c))
      escape = true;
    if (escape) {
      QByteArray bytes;
      if (!cf::encodeAll(text.mid(i, width), encoding, &bytes)) return std::nullopt;
      appendEscapes(&out, bytes);
    } else {
      out.append(QStringView(text).mid(i, width));
    }
    i += width;
  }
  return out;
}

// Decodes the escapes of text. With leaveEscaped null nothing is decoded; a character in it
// keeps its escapes as they were written.
std::optional<QString> replaceEscapes(const QString& text, const QString* leaveEscaped,
                                      CFStringEncoding encoding) {
  if (!leaveEscaped) return text;
  QString out;
  out.reserve(text.size());
  qsizetype i = 0;
  while (i < text.size()) {
    if (text[i] != u'%') {
      out.append(text[i++]);
      continue;
    }
    // A run of escapes is decoded as one byte sequence, so that a character spread over
    // several escapes (UTF-8) comes out whole.
    const qsizetype runStart = i;
    QByteArray bytes;
    while (i < text.size() && text[i] == u'%') {
      if (i + 2 >= text.size()) return std::nullopt;
      const int hi = hexValue(text[i + 1]), lo = hexValue(text[i + 2]);
      if (hi < 0 || lo < 0) return std::nullopt;
      bytes.append(char(hi * 16 + lo));
      i += 3;
    }
    QString decoded;
    if (!cf::decode(bytes.constData(), bytes.size(), encoding, false, &decoded))
      return std::nullopt;
    if (leaveEscaped->isEmpty()) {
      out += decoded;
      continue;
    }
    qsizetype escapeAt = runStart;
    for (qsizetype k = 0; k < decoded.size();) {
      char32_t c = decoded[k].unicode();
      qsizetype width = 1;
      if (QChar::isHighSurrogate(c) && k + 1 < decoded.size() && decoded[k + 1].isLowSurrogate())
        c = QChar::surrogateToUcs4(decoded[k], decoded[k + 1]), width = 2;
      QByteArray own;
      cf::encodeAll(decoded.mid(k, width), encoding, &own);
      const qsizetype escapeLength = 3 * own.size();
      if (containsCodePoint(*leaveEscaped, c))
        out += text.mid(escapeAt, escapeLength);
      else
        out += QStringView(decoded).mid(k, width);
      escapeAt += escapeLength;
      k += width;
    }
  }
  return out;
}

// Decodes every escape to its raw byte (paths on Linux need not be UTF-8); false on a
// malformed '%'.
bool unescapeBytes(const QString& text, QByteArray* out) {
  QByteArray bytes;
  qsizetype plainFrom = 0;
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] != u'%') continue;
    bytes += QStringView(text).mid(plainFrom, i - plainFrom).toUtf8();
    if (i + 2 >= text.size()) return false;
    const int hi = hexValue(text[i + 1]), lo = hexValue(text[i + 2]);
    if (hi < 0 || lo < 0) return false;
    bytes.append(char(hi * 16 + lo));
    i += 2;
    plainFrom = i + 1;
  }
  bytes += QStringView(text).mid(plainFrom).toUtf8();
  *out = std::move(bytes);
  return true;
}

std::optional<QString> unescapeUtf8(const QString& text) {
  static const QString decodeAll;
  return replaceEscapes(text, &decodeAll, kCFStringEncodingUTF8);
}

// A POSIX path in URL form: ";" and "?" are escaped too, as they would end the path.
QString escapePath(const QByteArray& path) {
  QString out;
  for (char b : path) {
    const auto u = static_cast<unsigned char>(b);
    if (u < 0x80 && isLegalURLCharacter(u) && u != ';' && u != '?')
      out.append(QLatin1Char(b));
    else
      appendEscapes(&out, QByteArray(1, b));
  }
  return out;
}

// The generic syntax of RFC 3986 appendix B: scheme, authority, path, query, fragment.
struct Parts {
  std::optional<QString> scheme, authority, query, fragment;
  QString path;

  static Parts split(const QString& s) {
    Parts p;
    qsizetype i = 0;
    const qsizetype colon = s.indexOf(u':');
    if (colon > 0 && s[0].isLetter() && s[0].unicode() < 0x80) {
      bool valid = true;
      for (qsizetype k = 1; k < colon && valid; ++k) {
        const QChar c = s[k];
        valid = (c.unicode() < 0x80 && c.isLetterOrNumber()) || c == u'+' || c == u'-' || c == u'.';
      }
      if (valid) {
        p.scheme = s.left(colon);
        i = colon + 1;
      }
    }
    auto endOf = [&](qsizetype from, QStringView stops) {
      qsizetype k = from;
      while (k < s.size() && !stops.contains(s[k])) ++k;
      return k;
    };
    if (s.mid(i, 2) == QLatin1String("//")) {
      const qsizetype end = endOf(i + 2, u"/?#");
      p.authority = s.mid(i + 2, end - i - 2);
      i = end;
    }
    const qsizetype pathEnd = endOf(i, u"?#");
    p.path = s.mid(i, pathEnd - i);
    i = pathEnd;
    if (i < s.size() && s[i] == u'?') {
      const qsizetype end = endOf(i + 1, u"#");
      p.query = s.mid(i + 1, end - i - 1);
      i = end;
    }
    if (i < s.size() && s[i] == u'#') p.fragment = s.mid(i + 1);
    return p;
  }

  QString join() const {
    QString s;
    if (scheme) s += *scheme + u':';
    if (authority) s += QStringLiteral("//") + *authority;
    s += path;
    if (query) s += u'?' + *query;
    if (fragment) s += u'#' + *fragment;
    return s;
  }
};

QString removeDotSegments(QString input) {
  QString output;
  while (!input.isEmpty()) {
    if (input.startsWith(QLatin1String("../")))
      input.remove(0, 3);
    else if (input.startsWith(QLatin1String("./")))
      input.remove(0, 2);
    else if (input.startsWith(QLatin1String("/./")))
      input.remove(0, 2);
    else if (input == QLatin1String("/."))
      input = QStringLiteral("/");
    else if (input.startsWith(QLatin1String("/../")) || input == QLatin1String("/..")) {
      input = input.size() == 3 ? QStringLiteral("/") : input.mid(3);
      const qsizetype slash = output.lastIndexOf(u'/');
      output.truncate(slash < 0 ? 0 : slash);
    } else if (input == QLatin1String(".") || input == QLatin1String("..")) {
      input.clear();
    } else {
      const qsizetype next = input.indexOf(u'/', input.startsWith(u'/') ? 1 : 0);
      const qsizetype end = next < 0 ? input.size() : next;
      output += input.left(end);
      input.remove(0, end);
    }
  }
  return output;
}

// RFC 3986 section 5.2.2.
Parts resolve(const Parts& base, const Parts& ref) {
  Parts t;
  if (ref.scheme) {
    t = ref;
    t.path = removeDotSegments(ref.path);
    return t;
  }
  if (ref.authority) {
    t.authority = ref.authority;
    t.path = removeDotSegments(ref.path);
    t.query = ref.query;
  } else if (ref.path.isEmpty()) {
    t.path = base.path;
    t.query = ref.query ? ref.query : base.query;
    t.authority = base.authority;
  } else {
    if (ref.path.startsWith(u'/')) {
      t.path = removeDotSegments(ref.path);
    } else {
      QString merged;
      if (base.authority && base.path.isEmpty())
        merged = u'/' + ref.path;
      else
        merged = base.path.left(base.path.lastIndexOf(u'/') + 1) + ref.path;
      t.path = removeDotSegments(merged);
    }
    t.query = ref.query;
    t.authority = base.authority;
  }
  t.scheme = base.scheme;
  t.fragment = ref.fragment;
  return t;
}

bool isValidURLString(const QString& s) {
  bool sawFragment = false;
  for (qsizetype i = 0; i < s.size(); ++i) {
    const char16_t c = s[i].unicode();
    if (c == u'%') {
      if (i + 2 >= s.size() || hexValue(s[i + 1]) < 0 || hexValue(s[i + 2]) < 0) return false;
      i += 2;
    } else if (c == u'#') {
      if (sawFragment) return false;
      sawFragment = true;
    } else if (c != u'[' && c != u']' && !isLegalURLCharacter(c)) {  // [] for IPv6 hosts
      return false;
    }
  }
  return true;
}

bool isFileScheme(const Parts& p) {
  return p.scheme && p.scheme->compare(QLatin1String("file"), Qt::CaseInsensitive) == 0;
}

QString currentFolder() {
  QString cwd = QDir::currentPath();
  return cwd.endsWith(u'/') ? cwd : cwd + u'/';
}

}  // namespace

struct __CFURL final : cf::Object {
  static constexpr CFTypeID kTypeID = cf::kURLType;
  __CFURL(QString s, CFURLRef baseURL)
      : Object(kTypeID), string(cf::makeString(std::move(s))), base(baseURL) {
    if (base) CFRetain(base);
    const Parts own = Parts::split(cf::text(string));
    absolute = base ? resolve(base->absolute, own) : own;
  }
  ~__CFURL() override {
    CFRelease(string);
    CFRelease(base);
  }
  bool equals(const Object& other) const override {
    const auto& o = static_cast<const __CFURL&>(other);
    return CFEqual(string, o.string) &&
           (base == o.base || (base && o.base && CFEqual(base, o.base)));
  }
  CFHashCode hash() const override { return CFHash(string); }
  QString formattingDescription() const override {
    return base ? cf::text(string) + QStringLiteral(" -- ") + base->formattingDescription()
                : cf::text(string);
  }
  QString describeContents() const override { return formattingDescription(); }

  const CFStringRef string;
  const CFURLRef base;
  Parts absolute;
};

namespace {

CFURLRef makeURL(const Parts& parts) { return new __CFURL(parts.join(), nullptr); }

// The last path component's range in a path, trailing '/' excluded.
std::pair<qsizetype, qsizetype> lastComponent(const QString& path) {
  qsizetype end = path.size();
  while (end > 1 && path[end - 1] == u'/') --end;
  const qsizetype start = end > 0 ? path.lastIndexOf(u'/', end - 1) + 1 : 0;
  return {start, end};
}

CFURLRef urlForPath(const QByteArray& posixPath, bool isDirectory) {
  if (posixPath.isEmpty()) return nullptr;
  QByteArray path = posixPath;
  if (!path.startsWith('/')) path = currentFolder().toUtf8() + path;
  QString s = QStringLiteral("file://") + escapePath(path);
  if (isDirectory && !s.endsWith(u'/')) s += u'/';
  return new __CFURL(s, nullptr);
}

}  // namespace

CFTypeID CFURLGetTypeID(void) { return cf::kURLType; }

CFURLRef CFURLCreateWithString(CFAllocatorRef, CFStringRef URLString, CFURLRef baseURL) {
  const __CFString* s = cf::as<__CFString>(URLString);
  if (!s || !isValidURLString(s->text)) return nullptr;
  return new __CFURL(s->text, cf::as<__CFURL>(baseURL));
}

CFURLRef CFURLCreateWithFileSystemPath(CFAllocatorRef, CFStringRef filePath,
                                       CFURLPathStyle pathStyle, Boolean isDirectory) {
  if (pathStyle != kCFURLPOSIXPathStyle || !cf::as<__CFString>(filePath)) return nullptr;
  return urlForPath(cf::text(filePath).toUtf8(), isDirectory);
}

CFURLRef CFURLCreateFromFileSystemRepresentation(CFAllocatorRef, const UInt8* buffer,
                                                 CFIndex bufLen, Boolean isDirectory) {
  if (!buffer || bufLen <= 0) return nullptr;
  return urlForPath(QByteArray(reinterpret_cast<const char*>(buffer), bufLen), isDirectory);
}

CFURLRef CFURLCopyAbsoluteURL(CFURLRef relativeURL) {
  const __CFURL* url = cf::as<__CFURL>(relativeURL);
  if (!url) return nullptr;
  if (!url->base) {
    CFRetain(url);
    return url;
  }
  return makeURL(url->absolute);
}

CFStringRef CFURLGetString(CFURLRef anURL) {
  const __CFURL* url = cf::as<__CFURL>(anURL);
  return url ? url->string : nullptr;
}

CFURLRef CFURLGetBaseURL(CFURLRef anURL) {
  const __CFURL* url = cf::as<__CFURL>(anURL);
  return url ? url->base : nullptr;
}

CFStringRef CFURLCopyScheme(CFURLRef anURL) {
  const __CFURL* url = cf::as<__CFURL>(anURL);
  return url && url->absolute.scheme ? cf::makeString(*url->absolute.scheme) : nullptr;
}

CFStringRef CFURLCopyHostName(CFURLRef anURL) {
  const __CFURL* url = cf::as<__CFURL>(anURL);
  if (!url || !url->absolute.authority) return nullptr;
  QString host = *url->absolute.authority;
  host = host.mid(host.lastIndexOf(u'@') + 1);
  if (host.startsWith(u'[')) {
    host = host.mid(1, host.indexOf(u']') - 1);
  } else if (const qsizetype colon = host.lastIndexOf(u':'); colon >= 0) {
    host.truncate(colon);
  }
  const std::optional<QString> unescaped = unescapeUtf8(host);
  return cf::makeString(unescaped ? *unescaped : host);
}

CFStringRef CFURLCopyPath(CFURLRef anURL) {
  const __CFURL* url = cf::as<__CFURL>(anURL);
  return url ? cf::makeString(Parts::split(cf::text(url->string)).path) : nullptr;
}

Boolean CFURLHasDirectoryPath(CFURLRef anURL) {
  const __CFURL* url = cf::as<__CFURL>(anURL);
  return url && url->absolute.path.endsWith(u'/');
}

CFStringRef CFURLCopyFileSystemPath(CFURLRef anURL, CFURLPathStyle pathStyle) {
  const __CFURL* url = cf::as<__CFURL>(anURL);
  if (!url || pathStyle != kCFURLPOSIXPathStyle) return nullptr;
  std::optional<QString> path = unescapeUtf8(url->absolute.path);
  if (!path) return nullptr;
  while (path->size() > 1 && path->endsWith(u'/')) path->chop(1);
  return cf::makeString(*path);
}

Boolean CFURLGetFileSystemRepresentation(CFURLRef anURL, Boolean resolveAgainstBase, UInt8* buffer,
                                         CFIndex maxBufLen) {
  const __CFURL* url = cf::as<__CFURL>(anURL);
  if (!url || !buffer || maxBufLen <= 0) return false;
  const Parts parts = resolveAgainstBase ? url->absolute : Parts::split(cf::text(url->string));
  if (!isFileScheme(url->absolute)) return false;
  QByteArray bytes;
  if (!unescapeBytes(parts.path, &bytes) || bytes.contains('\0')) return false;
  while (bytes.size() > 1 && bytes.endsWith('/')) bytes.chop(1);
  if (bytes.size() >= maxBufLen) return false;
  std::memcpy(buffer, bytes.constData(), size_t(bytes.size()));
  buffer[bytes.size()] = 0;
  return true;
}

CFStringRef CFURLCopyLastPathComponent(CFURLRef anURL) {
  const __CFURL* url = cf::as<__CFURL>(anURL);
  if (!url) return nullptr;
  const QString& path = url->absolute.path;
  if (!path.isEmpty() && path.count(u'/') == path.size())
    return cf::makeString(QStringLiteral("/"));
  const auto [start, end] = lastComponent(path);
  const QString component = path.mid(start, end - start);
  const std::optional<QString> unescaped = unescapeUtf8(component);
  return cf::makeString(unescaped ? *unescaped : component);
}

CFStringRef CFURLCopyPathExtension(CFURLRef anURL) {
  CFStringRef last = CFURLCopyLastPathComponent(anURL);
  const QString name = cf::text(last);
  CFRelease(last);
  const qsizetype dot = name.lastIndexOf(u'.');
  if (dot <= 0 || dot + 1 >= name.size()) return nullptr;
  return cf::makeString(name.mid(dot + 1));
}

CFURLRef CFURLCreateCopyAppendingPathComponent(CFAllocatorRef, CFURLRef anURL,
                                               CFStringRef pathComponent, Boolean isDirectory) {
  const __CFURL* url = cf::as<__CFURL>(anURL);
  const QString slashesAndSeparators = QStringLiteral(";?/");
  const std::optional<QString> component =
      addEscapes(cf::text(pathComponent), nullptr, &slashesAndSeparators, kCFStringEncodingUTF8);
  if (!url || !component) return nullptr;
  Parts parts = url->absolute;
  if (!parts.path.endsWith(u'/')) parts.path += u'/';
  parts.path += *component;
  if (isDirectory && !parts.path.endsWith(u'/')) parts.path += u'/';
  return makeURL(parts);
}

CFURLRef CFURLCreateCopyDeletingLastPathComponent(CFAllocatorRef, CFURLRef anURL) {
  const __CFURL* url = cf::as<__CFURL>(anURL);
  if (!url) return nullptr;
  Parts parts = url->absolute;
  const auto [start, end] = lastComponent(parts.path);
  if (end > start && !(parts.path == QLatin1String("/"))) parts.path.truncate(start);
  return makeURL(parts);
}

CFURLRef CFURLCreateCopyAppendingPathExtension(CFAllocatorRef, CFURLRef anURL,
                                               CFStringRef extension) {
  const __CFURL* url = cf::as<__CFURL>(anURL);
  const QString separators = QStringLiteral(";?/");
  const std::optional<QString> ext =
      addEscapes(cf::text(extension), nullptr, &separators, kCFStringEncodingUTF8);
  if (!url || !ext) return nullptr;
  Parts parts = url->absolute;
  const auto [start, end] = lastComponent(parts.path);
  if (end <= start) return nullptr;
  parts.path.insert(end, u'.' + *ext);
  return makeURL(parts);
}

CFURLRef CFURLCreateCopyDeletingPathExtension(CFAllocatorRef, CFURLRef anURL) {
  const __CFURL* url = cf::as<__CFURL>(anURL);
  if (!url) return nullptr;
  Parts parts = url->absolute;
  const auto [start, end] = lastComponent(parts.path);
  const qsizetype dot = parts.path.lastIndexOf(u'.', end - 1);
  if (dot > start && dot + 1 < end) parts.path.remove(dot, end - dot);
  return makeURL(parts);
}

CFStringRef CFURLCreateStringByAddingPercentEscapes(CFAllocatorRef, CFStringRef originalString,
                                                    CFStringRef charactersToLeaveUnescaped,
                                                    CFStringRef legalURLCharactersToBeEscaped,
                                                    CFStringEncoding encoding) {
  if (!cf::as<__CFString>(originalString) || !cf::isSupportedEncoding(encoding)) return nullptr;
  const __CFString* leave = cf::as<__CFString>(charactersToLeaveUnescaped);
  const __CFString* force = cf::as<__CFString>(legalURLCharactersToBeEscaped);
  const std::optional<QString> result =
      addEscapes(cf::text(originalString), leave ? &leave->text : nullptr,
                 force ? &force->text : nullptr, encoding);
  return result ? cf::makeString(*result) : nullptr;
}

CFStringRef CFURLCreateStringByReplacingPercentEscapesUsingEncoding(CFAllocatorRef,
                                                                    CFStringRef origString,
                                                                    CFStringRef charsToLeaveEscaped,
                                                                    CFStringEncoding encoding) {
  if (!cf::as<__CFString>(origString) || !cf::isSupportedEncoding(encoding)) return nullptr;
  const __CFString* leave = cf::as<__CFString>(charsToLeaveEscaped);
  if (!leave) return CFStringCreateCopy(nullptr, origString);
  const std::optional<QString> result =
      replaceEscapes(cf::text(origString), &leave->text, encoding);
  return result ? cf::makeString(*result) : nullptr;
}

CFStringRef CFURLCreateStringByReplacingPercentEscapes(CFAllocatorRef allocator,
                                                       CFStringRef originalString,
                                                       CFStringRef charactersToLeaveEscaped) {
  return CFURLCreateStringByReplacingPercentEscapesUsingEncoding(
      allocator, originalString, charactersToLeaveEscaped, kCFStringEncodingUTF8);
}
