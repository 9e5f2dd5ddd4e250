// SPDX-License-Identifier: GPL-3.0-or-later
#include "dictionary/DictdFormat.h"

#include <QChar>
#include <algorithm>
#include <array>

#include "dictionary/Utf8.h"

namespace dictionary::dictd {
namespace {

constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<signed char, 256> makeDigitValues() {
  std::array<signed char, 256> values{};
  for (auto& value : values) value = -1;
  for (int i = 0; i < 64; ++i) values[static_cast<unsigned char>(kDigits[i])] = static_cast<signed char>(i);
  return values;
}
constexpr auto kDigitValues = makeDigitValues();

// What one byte becomes in a key: 0 when it does not count, else the (folded) byte.
using ByteTable = std::array<unsigned char, 256>;

constexpr bool isAsciiSpace(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
constexpr bool isAsciiAlnum(int c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

constexpr ByteTable makeByteTable(bool allChars, bool eightBit, bool caseSensitive) {
  ByteTable table{};
  for (int c = 1; c < 256; ++c) {
    int value = c;
    if (isAsciiSpace(c)) {
      value = ' ';
    } else if (!allChars && !isAsciiAlnum(c) && !(eightBit && c >= 0x80)) {
      value = 0;
    } else if (!caseSensitive && c >= 'A' && c <= 'Z') {
      value = c + ('a' - 'A');
    }
    table[c] = static_cast<unsigned char>(value);
  }
  return table;
}

constexpr std::array<ByteTable, 8> kByteTables = {
    makeByteTable(false, false, false), makeByteTable(false, false, true),
    makeByteTable(false, true, false),  makeByteTable(false, true, true),
    makeByteTable(true, false, false),  makeByteTable(true, false, true),
    makeByteTable(true, true, false),   makeByteTable(true, true, true),
};

const ByteTable& byteTable(const KeyRules& rules) {
  return kByteTables[(rules.allChars ? 4 : 0) | (rules.eightBit && !rules.utf8 ? 2 : 0) |
                     (rules.caseSensitive ? 1 : 0)];
}

constexpr char32_t kEnd = 0xffffffff;

// Yields the counting characters of a headword one at a time.
class KeyCursor {
 public:
  KeyCursor(std::string_view text, const KeyRules& rules)
      : p_(text.data()), end_(text.data() + text.size()), rules_(rules), table_(byteTable(rules)) {}

  char32_t next() {
    while (p_ < end_) {
      const auto byte = static_cast<unsigned char>(*p_);
      if (byte < 0x80 || !rules_.utf8) {
        ++p_;
        if (const unsigned char value = table_[byte]) return value;
        continue;
      }
      const char32_t cp = utf8::next(p_, end_);
      if (cp >= utf8::kBadByte) {
        if (rules_.allChars) return cp;
        continue;
      }
      if (QChar::isSpace(cp)) return U' ';
      if (!rules_.allChars && !QChar::isLetterOrNumber(cp)) continue;
      return rules_.caseSensitive ? cp : QChar::toCaseFolded(cp);
    }
    return kEnd;
  }

 private:
  const char* p_;
  const char* end_;
  const KeyRules& rules_;
  const ByteTable& table_;
};

void appendUtf8(QByteArray& out, char32_t cp) {
  if (cp >= utf8::kBadByte) {
    out += char(cp - utf8::kBadByte);
  } else if (cp < 0x80) {
    out += char(cp);
  } else if (cp < 0x800) {
    out += char(0xc0 | (cp >> 6));
    out += char(0x80 | (cp & 0x3f));
  } else if (cp < 0x10000) {
    out += char(0xe0 | (cp >> 12));
    out += char(0x80 | ((cp >> 6) & 0x3f));
    out += char(0x80 | (cp & 0x3f));
  } else {
    out += char(0xf0 | (cp >> 18));
    out += char(0x80 | ((cp >> 12) & 0x3f));
    out += char(0x80 | ((cp >> 6) & 0x3f));
    out += char(0x80 | (cp & 0x3f));
  }
}

struct SpecialName {
  const char* hyphenated;
  const char* plain;
  SpecialEntry entry;
};
constexpr SpecialName kSpecialNames[] = {
    {"00-database-short", "00databaseshort", SpecialEntry::Short},
    {"00-database-long", "00databaselong", SpecialEntry::Long},
    {"00-database-info", "00databaseinfo", SpecialEntry::Info},
    {"00-database-url", "00databaseurl", SpecialEntry::Url},
    {"00-database-allchars", "00databaseallchars", SpecialEntry::AllChars},
    {"00-database-utf8", "00databaseutf8", SpecialEntry::Utf8},
    {"00-database-8bit-new", "00database8bitnew", SpecialEntry::EightBit},
    {"00-database-8bit", "00database8bit", SpecialEntry::EightBit},
    {"00-database-case-sensitive", "00databasecasesensitive", SpecialEntry::CaseSensitive},
};

}  // namespace

std::optional<std::uint64_t> decodeNumber(std::string_view digits) {
  if (digits.empty() || digits.size() > 10) return std::nullopt;  // 10 digits hold 60 bits
  std::uint64_t value = 0;
  for (const char c : digits) {
    const int digit = kDigitValues[static_cast<unsigned char>(c)];
    if (digit < 0) return std::nullopt;
    value = (value << 6) | std::uint64_t(digit);
  }
  return value;
}

QByteArray encodeNumber(std::uint64_t value) {
  char buffer[12];
  int pos = sizeof buffer;
  do {
    buffer[--pos] = kDigits[value & 63];
    value >>= 6;
  } while (value);
  return QByteArray(buffer + pos, int(sizeof buffer) - pos);
}

int compareKeys(std::string_view a, std::string_view b, const KeyRules& rules) {
  // Neighbours in an index share long prefixes. Bytes both headwords share make the same key
  // characters in both, so the comparison starts where they part, moved back to the start
  // of a UTF-8 sequence: the decoder never reads past a byte that continues neither.
  const std::size_t common = std::min(a.size(), b.size());
  std::size_t start = 0;
  while (start < common && a[start] == b[start]) ++start;
  if (rules.utf8) {
    auto continues = [](std::string_view s, std::size_t i) {
      return i < s.size() && (static_cast<unsigned char>(s[i]) & 0xc0) == 0x80;
    };
    while (start > 0 && (continues(a, start) || continues(b, start))) --start;
  }
  // Then single-byte characters straight through the table, the cursors only past the
  // first multi-byte one.
  const ByteTable& table = byteTable(rules);
  std::size_t i = start, j = start;
  while (i < a.size() && j < b.size()) {
    const auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[j]);
    if (rules.utf8 && (x >= 0x80 || y >= 0x80)) break;
    const unsigned char keyX = table[x], keyY = table[y];
    if (!keyX) {
      ++i;
    } else if (!keyY) {
      ++j;
    } else if (keyX != keyY) {
      return keyX < keyY ? -1 : 1;
    } else {
      ++i, ++j;
    }
  }
  KeyCursor left(a.substr(i), rules), right(b.substr(j), rules);
  for (;;) {
    const char32_t x = left.next();
    const char32_t y = right.next();
    if (x != y) {
      if (x == kEnd) return -1;
      if (y == kEnd) return 1;
      return x < y ? -1 : 1;
    }
    if (x == kEnd) return 0;
  }
}

bool hasKey(std::string_view headword, const KeyRules& rules) {
  return KeyCursor(headword, rules).next() != kEnd;
}

QByteArray indexKey(std::string_view headword, const KeyRules& rules) {
  QByteArray key;
  key.reserve(qsizetype(headword.size()));
  KeyCursor cursor(headword, rules);
  bool pendingSpace = false;
  for (char32_t c = cursor.next(); c != kEnd; c = cursor.next()) {
    if (c == U' ') {
      pendingSpace = !key.isEmpty();
      continue;
    }
    if (pendingSpace) key += ' ';
    pendingSpace = false;
    if (rules.utf8) appendUtf8(key, c);
    else key += char(c);
  }
  return key;
}

SpecialEntry specialEntry(std::string_view headword) {
  if (headword.size() < 10 || headword[0] != '0' || headword[1] != '0') return SpecialEntry::None;
  for (const SpecialName& name : kSpecialNames) {
    if (headword == name.hyphenated || headword == name.plain) return name.entry;
  }
  return SpecialEntry::None;
}

const char* specialEntryName(SpecialEntry entry) {
  for (const SpecialName& name : kSpecialNames) {
    if (name.entry == entry) return name.hyphenated;
  }
  return "";
}

}  // namespace dictionary::dictd
