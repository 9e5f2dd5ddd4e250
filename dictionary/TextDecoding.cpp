#include "dictionary/TextDecoding.h"

#include "dictionary/Utf8.h"

namespace dictionary {

QString decodeText(QByteArrayView bytes) {
  const char* p = bytes.data();
  const char* end = p + bytes.size();
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
