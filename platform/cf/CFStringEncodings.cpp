// SPDX-License-Identifier: GPL-3.0-or-later
// Byte encodings of CFString: UTF-8, UTF-16, UTF-32 and the single-byte encodings.
#include <QtEndian>
#include <algorithm>
#include <array>

#include "platform/cf/CFInternal.h"

namespace {

// Mac OS Roman, bytes 0x80..0xFF (the table with the euro sign at 0xDB).
constexpr std::array<char16_t, 128> kMacRoman = {
    0x00C4, 0x00C5, 0x00C7, 0x00C9, 0x00D1, 0x00D6, 0x00DC, 0x00E1, 0x00E0, 0x00E2, 0x00E4, 0x00E3,
    0x00E5, 0x00E7, 0x00E9, 0x00E8, 0x00EA, 0x00EB, 0x00ED, 0x00EC, 0x00EE, 0x00EF, 0x00F1, 0x00F3,
    0x00F2, 0x00F4, 0x00F6, 0x00F5, 0x00FA, 0x00F9, 0x00FB, 0x00FC, 0x2020, 0x00B0, 0x00A2, 0x00A3,
    0x00A7, 0x2022, 0x00B6, 0x00DF, 0x00AE, 0x00A9, 0x2122, 0x00B4, 0x00A8, 0x2260, 0x00C6, 0x00D8,
    0x221E, 0x00B1, 0x2264, 0x2265, 0x00A5, 0x00B5, 0x2202, 0x2211, 0x220F, 0x03C0, 0x222B, 0x00AA,
    0x00BA, 0x03A9, 0x00E6, 0x00F8, 0x00BF, 0x00A1, 0x00AC, 0x221A, 0x0192, 0x2248, 0x2206, 0x00AB,
    0x00BB, 0x2026, 0x00A0, 0x00C0, 0x00C3, 0x00D5, 0x0152, 0x0153, 0x2013, 0x2014, 0x201C, 0x201D,
    0x2018, 0x2019, 0x00F7, 0x25CA, 0x00FF, 0x0178, 0x2044, 0x20AC, 0x2039, 0x203A, 0xFB01, 0xFB02,
    0x2021, 0x00B7, 0x201A, 0x201E, 0x2030, 0x00C2, 0x00CA, 0x00C1, 0x00CB, 0x00C8, 0x00CD, 0x00CE,
    0x00CF, 0x00CC, 0x00D3, 0x00D4, 0xF8FF, 0x00D2, 0x00DA, 0x00DB, 0x00D9, 0x0131, 0x02C6, 0x02DC,
    0x00AF, 0x02D8, 0x02D9, 0x02DA, 0x00B8, 0x02DD, 0x02DB, 0x02C7,
};

// Windows code page 1252, bytes 0x80..0x9F; its five unassigned bytes map to the C1 controls
// of the same value, as Windows itself converts them. 0xA0..0xFF are Latin-1.
constexpr std::array<char16_t, 32> kWindowsLatin1 = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

bool isSingleByte(CFStringEncoding e) {
  return e == kCFStringEncodingMacRoman || e == kCFStringEncodingWindowsLatin1 ||
         e == kCFStringEncodingISOLatin1 || e == kCFStringEncodingASCII;
}

bool isUtf16(CFStringEncoding e) {
  return e == kCFStringEncodingUTF16 || e == kCFStringEncodingUTF16BE ||
         e == kCFStringEncodingUTF16LE;
}

bool isUtf32(CFStringEncoding e) {
  return e == kCFStringEncodingUTF32 || e == kCFStringEncodingUTF32BE ||
         e == kCFStringEncodingUTF32LE;
}

// -1 when the byte has no character (only ASCII lacks some).
int singleByteToUnicode(CFStringEncoding e, unsigned char b) {
  if (b < 0x80) return b;
  switch (e) {
    case kCFStringEncodingMacRoman: return kMacRoman[b - 0x80];
    case kCFStringEncodingWindowsLatin1: return b < 0xA0 ? kWindowsLatin1[b - 0x80] : b;
    case kCFStringEncodingISOLatin1: return b;
    default: return -1;
  }
}

// The reverse of a 128-entry table, sorted by character for binary search.
template <size_t N>
struct ReverseTable {
  std::array<std::pair<char16_t, unsigned char>, N> entries{};
  ReverseTable(const std::array<char16_t, N>& table, unsigned char first) {
    for (size_t i = 0; i < N; ++i) entries[i] = {table[i], static_cast<unsigned char>(first + i)};
    std::sort(entries.begin(), entries.end());
  }
  int find(char32_t c) const {
    auto it = std::lower_bound(entries.begin(), entries.end(),
                               std::pair<char16_t, unsigned char>(char16_t(c), 0),
                               [](auto a, auto b) { return a.first < b.first; });
    return c <= 0xFFFF && it != entries.end() && it->first == c ? it->second : -1;
  }
};

int unicodeToSingleByte(CFStringEncoding e, char32_t c) {
  if (c < 0x80) return int(c);
  switch (e) {
    case kCFStringEncodingMacRoman: {
      static const ReverseTable<128> reverse(kMacRoman, 0x80);
      return reverse.find(c);
    }
    case kCFStringEncodingWindowsLatin1: {
      if (c >= 0xA0 && c <= 0xFF) return int(c);
      static const ReverseTable<32> reverse(kWindowsLatin1, 0x80);
      return reverse.find(c);
    }
    case kCFStringEncodingISOLatin1: return c <= 0xFF ? int(c) : -1;
    default: return -1;
  }
}

bool hostIsBigEndian() { return QSysInfo::ByteOrder == QSysInfo::BigEndian; }

// The bytes of one character: at most two UTF-16 units or one UTF-32 unit.
struct CharBytes {
  char data[8];
  int size = 0;
  void append(char c) { data[size++] = c; }
  bool isEmpty() const { return size == 0; }
};

template <class Out>
void appendUnit16(Out* out, char16_t u, bool bigEndian) {
  if (bigEndian) {
    out->append(char(u >> 8));
    out->append(char(u & 0xFF));
  } else {
    out->append(char(u & 0xFF));
    out->append(char(u >> 8));
  }
}

template <class Out>
void appendUnit32(Out* out, char32_t u, bool bigEndian) {
  for (int i = 0; i < 4; ++i) {
    const int shift = bigEndian ? 24 - 8 * i : 8 * i;
    out->append(char((u >> shift) & 0xFF));
  }
}

void appendUtf8(CharBytes* out, char32_t c) {
  if (c < 0x80) {
    out->append(char(c));
  } else if (c < 0x800) {
    out->append(char(0xC0 | (c >> 6)));
    out->append(char(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out->append(char(0xE0 | (c >> 12)));
    out->append(char(0x80 | ((c >> 6) & 0x3F)));
    out->append(char(0x80 | (c & 0x3F)));
  } else {
    out->append(char(0xF0 | (c >> 18)));
    out->append(char(0x80 | ((c >> 12) & 0x3F)));
    out->append(char(0x80 | ((c >> 6) & 0x3F)));
    out->append(char(0x80 | (c & 0x3F)));
  }
}

void appendCodePoint(QString* out, char32_t c) {
  if (c >= 0x10000) {
    out->append(QChar(QChar::highSurrogate(c)));
    out->append(QChar(QChar::lowSurrogate(c)));
  } else {
    out->append(QChar(char16_t(c)));
  }
}

}  // namespace

namespace cf {

bool isSupportedEncoding(CFStringEncoding encoding) {
  return encoding == kCFStringEncodingUTF8 || isSingleByte(encoding) || isUtf16(encoding) ||
         isUtf32(encoding);
}

bool decodeUtf8(const unsigned char* p, qsizetype n, QString* out) {
  QString text;
  text.reserve(n);
  qsizetype i = 0;
  while (i < n) {
    const unsigned char b = p[i];
    if (b < 0x80) {
      text.append(QChar(b));
      ++i;
      continue;
    }
    int extra;
    char32_t c, min;
    if (b >= 0xC2 && b <= 0xDF) {
      extra = 1, c = b & 0x1F, min = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
      extra = 2, c = b & 0x0F, min = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
      extra = 3, c = b & 0x07, min = 0x10000;
    } else {
      return false;
    }
    if (n - i <= extra) return false;
    for (int k = 1; k <= extra; ++k) {
      const unsigned char t = p[i + k];
      if ((t & 0xC0) != 0x80) return false;
      c = (c << 6) | (t & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
    appendCodePoint(&text, c);
    i += extra + 1;
  }
  *out = std::move(text);
  return true;
}

bool decode(const char* bytes, qsizetype length, CFStringEncoding encoding, bool external,
            QString* out) {
  if (length < 0 || (!bytes && length > 0)) return false;
  const auto* p = reinterpret_cast<const unsigned char*>(bytes);
  if (encoding == kCFStringEncodingUTF8) {
    if (external && length >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) {
      p += 3;
      length -= 3;
    }
    return decodeUtf8(p, length, out);
  }
  if (isSingleByte(encoding)) {
    QString text(length, Qt::Uninitialized);
    for (qsizetype i = 0; i < length; ++i) {
      const int c = singleByteToUnicode(encoding, p[i]);
      if (c < 0) return false;
      text[i] = QChar(char16_t(c));
    }
    *out = std::move(text);
    return true;
  }
  if (isUtf16(encoding)) {
    if (length % 2) return false;
    bool big = encoding == kCFStringEncodingUTF16BE ||
               (encoding == kCFStringEncodingUTF16 && hostIsBigEndian());
    if (external && encoding == kCFStringEncodingUTF16) {
      big = true;  // no mark: big-endian
      if (length >= 2 && ((p[0] == 0xFE && p[1] == 0xFF) || (p[0] == 0xFF && p[1] == 0xFE))) {
        big = p[0] == 0xFE;
        p += 2;
        length -= 2;
      }
    }
    QString text(length / 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < length / 2; ++i) {
      const char16_t u =
          big ? char16_t((p[2 * i] << 8) | p[2 * i + 1]) : char16_t((p[2 * i + 1] << 8) | p[2 * i]);
      text[i] = QChar(u);
    }
    *out = std::move(text);
    return true;
  }
  if (isUtf32(encoding)) {
    if (length % 4) return false;
    bool big = encoding == kCFStringEncodingUTF32BE ||
               (encoding == kCFStringEncodingUTF32 && hostIsBigEndian());
    if (external && encoding == kCFStringEncodingUTF32) {
      big = true;
      if (length >= 4 && ((p[0] == 0 && p[1] == 0 && p[2] == 0xFE && p[3] == 0xFF) ||
                          (p[0] == 0xFF && p[1] == 0xFE && p[2] == 0 && p[3] == 0))) {
        big = p[0] == 0;
        p += 4;
        length -= 4;
      }
    }
    QString text;
    text.reserve(length / 4);
    for (qsizetype i = 0; i < length; i += 4) {
      const char32_t c =
          big ? (char32_t(p[i]) << 24) | (p[i + 1] << 16) | (p[i + 2] << 8) | p[i + 3]
              : (char32_t(p[i + 3]) << 24) | (p[i + 2] << 16) | (p[i + 1] << 8) | p[i];
      if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
      appendCodePoint(&text, c);
    }
    *out = std::move(text);
    return true;
  }
  return false;
}

CFIndex encode(const QChar* units, CFIndex length, CFStringEncoding encoding, UInt8 lossByte,
               bool external, CFIndex maxBytes, QByteArray* out) {
  if (!isSupportedEncoding(encoding) || length <= 0) return 0;
  const qsizetype start = out->size();
  auto fits = [&](qsizetype extra) {
    return maxBytes < 0 || out->size() - start + extra <= maxBytes;
  };
  const bool big16 = encoding == kCFStringEncodingUTF16BE ||
                     (encoding == kCFStringEncodingUTF16 && (external || hostIsBigEndian()));
  const bool big32 = encoding == kCFStringEncodingUTF32BE ||
                     (encoding == kCFStringEncodingUTF32 && (external || hostIsBigEndian()));
  if (external && encoding == kCFStringEncodingUTF16) {
    if (!fits(2)) return 0;
    appendUnit16(out, 0xFEFF, big16);
  } else if (external && encoding == kCFStringEncodingUTF32) {
    if (!fits(4)) return 0;
    appendUnit32(out, 0xFEFF, big32);
  }
  CFIndex i = 0;
  while (i < length) {
    char32_t c = units[i].unicode();
    CFIndex width = 1;
    const bool pair = QChar::isHighSurrogate(c) && i + 1 < length && units[i + 1].isLowSurrogate();
    if (pair) {
      c = QChar::surrogateToUcs4(units[i], units[i + 1]);
      width = 2;
    }
    const bool lone = !pair && QChar::isSurrogate(c);
    CharBytes bytes;
    if (isUtf16(encoding)) {
      for (CFIndex k = 0; k < width; ++k) appendUnit16(&bytes, units[i + k].unicode(), big16);
    } else if (lone) {
      // a lone surrogate has no representation outside UTF-16
    } else if (encoding == kCFStringEncodingUTF8) {
      appendUtf8(&bytes, c);
    } else if (isUtf32(encoding)) {
      appendUnit32(&bytes, c, big32);
    } else {
      const int b = unicodeToSingleByte(encoding, c);
      if (b >= 0) bytes.append(char(b));
    }
    if (bytes.isEmpty()) {
      if (!lossByte) break;
      bytes.append(char(lossByte));
    }
    if (!fits(bytes.size)) break;
    out->append(bytes.data, bytes.size);
    i += width;
  }
  return i;
}

bool encodeAll(const QString& text, CFStringEncoding encoding, QByteArray* out) {
  QByteArray bytes;
  if (!isSupportedEncoding(encoding)) return false;
  if (encode(text.constData(), text.size(), encoding, 0, false, -1, &bytes) != text.size())
    return false;
  *out = std::move(bytes);
  return true;
}

}  // namespace cf
