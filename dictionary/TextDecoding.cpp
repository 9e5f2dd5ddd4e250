// SPDX-License-Identifier: GPL-3.0-or-later
#include "dictionary/TextDecoding.h"

#include <cstdint>
#include <cstring>

#include "dictionary/Utf8.h"

namespace dictionary {

QString decodeText(QByteArrayView bytes) {
  const char* p = bytes.data();
  const char* end = p + bytes.size();
  // Most dictionary text is ASCII: skip it eight bytes at a time.
  while (end - p >= 8) {
    std::uint64_t word;
    std::memcpy(&word, p, 8);
    if (word & 0x8080808080808080ull) break;
    p += 8;
  }
  while (p < end) {
    if (static_cast<unsigned char>(*p) < 0x80) {
      ++p;
      continue;
    }
    if (utf8::next(p, end) >= utf8::kBadByte) return QString::fromLatin1(bytes);
  }
  return QString::fromUtf8(bytes);
}

void chopTrailingSpace(QString& text) {
  qsizetype end = text.size();
  while (end > 0 && text.at(end - 1).isSpace()) --end;
  text.truncate(end);
}

}  // namespace dictionary
