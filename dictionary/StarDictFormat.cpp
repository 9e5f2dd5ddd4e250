// SPDX-License-Identifier: GPL-3.0-or-later
#include "dictionary/StarDictFormat.h"

#include <QChar>
#include <QList>
#include <cstring>

#include "dictionary/Markup.h"
#include "dictionary/TextDecoding.h"
#include "dictionary/Utf8.h"

namespace dictionary::stardict {
namespace {

std::optional<std::uint64_t> parseCount(const QByteArray& value) {
  bool ok = false;
  const qulonglong number = value.trimmed().toULongLong(&ok, 10);
  if (!ok) return std::nullopt;
  return number;
}

bool isTypeChar(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isTextType(char c) { return c >= 'a' && c <= 'z'; }

std::uint32_t be32(const char* p) {
  const auto* b = reinterpret_cast<const unsigned char*>(p);
  return (std::uint32_t(b[0]) << 24) | (std::uint32_t(b[1]) << 16) | (std::uint32_t(b[2]) << 8) | b[3];
}

// Appends the text of one field, if its type carries text.
void appendField(char type, std::string_view payload, QStringList* parts) {
  // A text field may still carry its terminating NUL when it is the implicit last field.
  if (const void* nul = std::memchr(payload.data(), 0, payload.size())) {
    payload = payload.substr(0, std::size_t(static_cast<const char*>(nul) - payload.data()));
  }
  const QByteArrayView bytes(payload.data(), qsizetype(payload.size()));
  QString text;
  switch (type) {
    case 'm':  // plain text
    case 'l':  // text in the locale's charset (decoded as Latin-1 when not UTF-8)
    case 'y':  // readings (kana, pinyin)
    case 'w':  // MediaWiki source, readable as is
      text = decodeText(bytes);
      break;
    case 'h':
      text = markupToText(decodeText(bytes), MarkupKind::Html);
      break;
    case 'g':
      text = markupToText(decodeText(bytes), MarkupKind::Pango);
      break;
    case 'x':
    case 'k':  // KingSoft PowerWord XML
      text = markupToText(decodeText(bytes), MarkupKind::Xdxf);
      break;
    case 't':  // phonetic transcription
      if (!payload.empty()) text = QLatin1Char('[') + decodeText(bytes) + QLatin1Char(']');
      break;
    default:  // 'r' resource lists, 'n' WordNet links and every binary type carry no text
      return;
  }
  chopTrailingSpace(text);
  while (text.startsWith(QLatin1Char('\n'))) text.remove(0, 1);
  if (!text.isEmpty()) parts->append(text);
}

}  // namespace

std::optional<Info> parseIfo(const QByteArray& contents, QString* error) {
  auto fail = [&](const QString& why) {
    if (error) *error = why;
    return std::nullopt;
  };
  QByteArray text = contents;
  if (text.startsWith("\xef\xbb\xbf")) text.remove(0, 3);
  const QList<QByteArray> lines = text.split('\n');
  auto clean = [](QByteArray line) {
    if (line.endsWith('\r')) line.chop(1);
    return line;
  };
  if (lines.isEmpty() || clean(lines.first()).trimmed() != kIfoMagic) {
    return fail(QStringLiteral("not a StarDict .ifo file (its first line is not \"%1\")").arg(QLatin1String(kIfoMagic)));
  }
  Info info;
  bool haveWordCount = false;
  QByteArray offsetBits;
  for (qsizetype i = 1; i < lines.size(); ++i) {
    const QByteArray line = clean(lines[i]);
    const qsizetype equals = line.indexOf('=');
    if (equals <= 0) continue;
    const QByteArray key = line.left(equals).trimmed();
    const QByteArray value = line.mid(equals + 1);
    const QString string = decodeText(value).trimmed();
    if (key == "version") {
      info.version = string;
    } else if (key == "wordcount") {
      const auto count = parseCount(value);
      if (!count) return fail(QStringLiteral("bad wordcount \"%1\"").arg(string));
      info.wordCount = *count;
      haveWordCount = true;
    } else if (key == "synwordcount") {
      info.synWordCount = parseCount(value);
      if (!info.synWordCount) return fail(QStringLiteral("bad synwordcount \"%1\"").arg(string));
    } else if (key == "idxfilesize") {
      info.idxFileSize = parseCount(value);
      if (!info.idxFileSize) return fail(QStringLiteral("bad idxfilesize \"%1\"").arg(string));
    } else if (key == "idxoffsetbits") {
      offsetBits = value.trimmed();
    } else if (key == "bookname") {
      info.bookName = string;
    } else if (key == "sametypesequence") {
      info.sameTypeSequence = value.trimmed();
      for (const char c : info.sameTypeSequence) {
        if (!isTypeChar(c)) return fail(QStringLiteral("bad sametypesequence \"%1\"").arg(string));
      }
    } else if (key == "author") {
      info.author = string;
    } else if (key == "email") {
      info.email = string;
    } else if (key == "website") {
      info.website = string;
    } else if (key == "description") {
      info.description = string;
    } else if (key == "date") {
      info.date = string;
    }
  }
  if (info.version != QLatin1String("2.4.2") && info.version != QLatin1String("3.0.0")) {
    return fail(info.version.isEmpty() ? QStringLiteral("no version")
                                       : QStringLiteral("unsupported version \"%1\"").arg(info.version));
  }
  if (!haveWordCount) return fail(QStringLiteral("no wordcount"));
  if (!offsetBits.isEmpty() && offsetBits != "32") {
    if (offsetBits != "64") return fail(QStringLiteral("bad idxoffsetbits \"%1\"").arg(QLatin1String(offsetBits)));
    if (info.version != QLatin1String("3.0.0")) return fail(QStringLiteral("idxoffsetbits=64 needs version 3.0.0"));
    info.idxOffsetBits = 64;
  }
  return info;
}

QByteArray serializeIfo(const Info& info, bool crlf, bool byteOrderMark) {
  const QByteArray end = crlf ? "\r\n" : "\n";
  QByteArray out;
  if (byteOrderMark) out += "\xef\xbb\xbf";
  out += kIfoMagic + end;
  out += "version=" + info.version.toUtf8() + end;
  auto put = [&](const char* key, const QString& value) {
    if (!value.isEmpty()) out += QByteArray(key) + '=' + value.toUtf8() + end;
  };
  put("bookname", info.bookName);
  out += "wordcount=" + QByteArray::number(info.wordCount) + end;
  if (info.synWordCount) out += "synwordcount=" + QByteArray::number(*info.synWordCount) + end;
  if (info.idxFileSize) out += "idxfilesize=" + QByteArray::number(*info.idxFileSize) + end;
  if (info.idxOffsetBits == 64) out += "idxoffsetbits=64" + end;
  if (!info.sameTypeSequence.isEmpty()) out += "sametypesequence=" + info.sameTypeSequence + end;
  put("author", info.author);
  put("email", info.email);
  put("website", info.website);
  put("description", info.description);
  put("date", info.date);
  return out;
}

int compareFolded(std::string_view a, std::string_view b) {
  const char* p = a.data();
  const char* pEnd = p + a.size();
  const char* q = b.data();
  const char* qEnd = q + b.size();
  while (p < pEnd && q < qEnd) {
    char32_t x, y;
    if (static_cast<unsigned char>(*p) < 0x80) {
      x = static_cast<unsigned char>(*p++);
      if (x >= 'A' && x <= 'Z') x += 'a' - 'A';
    } else {
      x = utf8::next(p, pEnd);
      if (x < utf8::kBadByte) x = QChar::toCaseFolded(x);
    }
    if (static_cast<unsigned char>(*q) < 0x80) {
      y = static_cast<unsigned char>(*q++);
      if (y >= 'A' && y <= 'Z') y += 'a' - 'A';
    } else {
      y = utf8::next(q, qEnd);
      if (y < utf8::kBadByte) y = QChar::toCaseFolded(y);
    }
    if (x != y) return x < y ? -1 : 1;
  }
  if (p < pEnd) return 1;
  if (q < qEnd) return -1;
  return 0;
}

int compareHeadwords(std::string_view a, std::string_view b) {
  if (const int folded = compareFolded(a, b)) return folded;
  const int bytes = a.compare(b);
  return bytes < 0 ? -1 : bytes > 0 ? 1 : 0;
}

bool entryText(std::string_view data, const QByteArray& sameTypeSequence, QString* text, QString* error) {
  auto fail = [&](const QString& why) {
    if (error) *error = why;
    return false;
  };
  QStringList parts;
  std::size_t pos = 0;
  auto nextField = [&](char type, bool last) -> std::optional<std::string_view> {
    const std::string_view rest = data.substr(pos);
    if (last) {  // the last field of a fixed sequence runs to the end of the entry
      pos = data.size();
      return rest;
    }
    if (isTextType(type)) {
      const void* nul = std::memchr(rest.data(), 0, rest.size());
      if (!nul) {  // tolerate a final text field without its NUL
        pos = data.size();
        return rest;
      }
      const std::size_t length = std::size_t(static_cast<const char*>(nul) - rest.data());
      pos += length + 1;
      return rest.substr(0, length);
    }
    if (rest.size() < 4) return std::nullopt;
    const std::uint32_t length = be32(rest.data());
    if (length > rest.size() - 4) return std::nullopt;
    pos += 4 + length;
    return rest.substr(4, length);
  };
  if (!sameTypeSequence.isEmpty()) {
    for (qsizetype i = 0; i < sameTypeSequence.size(); ++i) {
      const char type = sameTypeSequence[i];
      const auto payload = nextField(type, i + 1 == sameTypeSequence.size());
      if (!payload) return fail(QStringLiteral("entry data ends inside its '%1' field").arg(QLatin1Char(type)));
      appendField(type, *payload, &parts);
    }
  } else {
    while (pos < data.size()) {
      const char type = data[pos++];
      if (!isTypeChar(type)) return fail(QStringLiteral("entry data holds an unknown field type (byte %1)").arg(int(static_cast<unsigned char>(type))));
      const auto payload = nextField(type, false);
      if (!payload) return fail(QStringLiteral("entry data ends inside its '%1' field").arg(QLatin1Char(type)));
      appendField(type, *payload, &parts);
    }
  }
  *text = parts.join(QLatin1Char('\n'));
  return true;
}

}  // namespace dictionary::stardict
