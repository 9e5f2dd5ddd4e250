// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Decoding UTF-8 one code point at a time, tolerant of bad bytes.
#include <cstdint>

namespace dictionary::utf8 {

// A byte that does not start a valid sequence decodes to kBadByte + the byte, a value above
// any code point, so that damaged text still compares consistently.
inline constexpr char32_t kBadByte = 0x110000;

// Decodes the code point at p (p < end) and moves p past it.
inline char32_t next(const char*& p, const char* end) {
  const auto* s = reinterpret_cast<const unsigned char*>(p);
  const unsigned char lead = s[0];
  if (lead < 0x80) {
    ++p;
    return lead;
  }
  int length;
  char32_t cp;
  char32_t minimum;
  if ((lead & 0xe0) == 0xc0) {
    length = 2, cp = lead & 0x1f, minimum = 0x80;
  } else if ((lead & 0xf0) == 0xe0) {
    length = 3, cp = lead & 0x0f, minimum = 0x800;
  } else if ((lead & 0xf8) == 0xf0) {
    length = 4, cp = lead & 0x07, minimum = 0x10000;
  } else {
    ++p;
    return kBadByte + lead;
  }
  if (end - p < length) {
    ++p;
    return kBadByte + lead;
  }
  for (int i = 1; i < length; ++i) {
    if ((s[i] & 0xc0) != 0x80) {
      ++p;
      return kBadByte + lead;
    }
    cp = (cp << 6) | (s[i] & 0x3f);
  }
  if (cp < minimum || cp > 0x10ffff || (cp >= 0xd800 && cp <= 0xdfff)) {
    ++p;
    return kBadByte + lead;
  }
  p += length;
  return cp;
}

}  // namespace dictionary::utf8
