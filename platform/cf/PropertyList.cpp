// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/cf/PropertyList.h"

#include <QDateTime>
#include <QFile>
#include <QXmlStreamReader>

#include "platform/SafeFile.h"

namespace plist {
namespace {

constexpr int kMaxDepth = 512;  // a hostile file must not exhaust the stack

class Reader {
 public:
  explicit Reader(const QByteArray& xml) : xml_(xml) {}

  std::optional<QVariant> document(QString* error) {
    while (!xml_.atEnd() && !xml_.hasError()) {
      if (xml_.readNext() != QXmlStreamReader::StartElement) continue;
      if (xml_.name() != QLatin1String("plist")) return fail(error, "root element is not <plist>");
      if (!nextElement()) return fail(error, "empty <plist>");
      std::optional<QVariant> value = readValue(0);
      if (!value) return fail(error, error_);
      return value;
    }
    return fail(error, xml_.hasError() ? xml_.errorString() : QStringLiteral("no <plist> element"));
  }

 private:
  std::optional<QVariant> fail(QString* error, const QString& message) {
    if (error) {
      *error = xml_.hasError() ? xml_.errorString() : message;
      if (xml_.lineNumber() > 0) *error += QStringLiteral(" (line %1)").arg(xml_.lineNumber());
    }
    return std::nullopt;
  }
  std::optional<QVariant> fail(QString* error, const char* message) {
    return fail(error, QString::fromLatin1(message));
  }
  std::nullopt_t bad(const QString& message) {
    if (error_.isEmpty()) error_ = message;
    return std::nullopt;
  }

  static int hexDigit(char16_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  }

  bool hasEscapes() const { return xml_.attributes().value(QLatin1String("escaped")) == QLatin1String("1"); }

  // Undoes the writer's escapes: "\\" and "\uXXXX"; anything else stays as it is.
  static QString unescape(const QString& text) {
    QString plain;
    plain.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
      if (text[i] == QLatin1Char('\\') && i + 1 < text.size()) {
        if (text[i + 1] == QLatin1Char('\\')) {
          plain += QLatin1Char('\\');
          ++i;
          continue;
        }
        if (text[i + 1] == QLatin1Char('u') && i + 5 < text.size()) {
          int unit = 0;
          for (qsizetype k = i + 2; k < i + 6 && unit >= 0; ++k) {
            const int digit = hexDigit(text[k].unicode());
            unit = digit < 0 ? -1 : unit * 16 + digit;
          }
          if (unit >= 0) {
            plain += QChar(char16_t(unit));
            i += 5;
            continue;
          }
        }
      }
      plain += text[i];
    }
    return plain;
  }

  // Moves to the next start element; false at the enclosing end element or end of input.
  bool nextElement() {
    while (!xml_.atEnd()) {
      const auto token = xml_.readNext();
      if (token == QXmlStreamReader::StartElement) return true;
      if (token == QXmlStreamReader::EndElement || xml_.hasError()) return false;
    }
    return false;
  }

  std::optional<QVariant> readValue(int depth) {
    if (depth > kMaxDepth) return bad(QStringLiteral("nesting too deep"));
    const QStringView name = xml_.name();
    if (name == QLatin1String("dict")) return readDict(depth);
    if (name == QLatin1String("array")) return readArray(depth);
    if (name == QLatin1String("true") || name == QLatin1String("false")) {
      const bool value = name == QLatin1String("true");
      xml_.skipCurrentElement();
      return QVariant(value);
    }
    const QString tag = name.toString();
    const bool escaped = hasEscapes();
    const QString text = xml_.readElementText(QXmlStreamReader::ErrorOnUnexpectedElement);
    if (xml_.hasError()) return bad(xml_.errorString());
    if (tag == QLatin1String("string")) return QVariant(escaped ? unescape(text) : text);
    if (tag == QLatin1String("integer")) {
      bool ok = false;
      const qlonglong value = text.trimmed().toLongLong(&ok);
      if (ok) return QVariant(value);
      // The unsigned values above the signed range that the writer writes.
      const qulonglong large = text.trimmed().toULongLong(&ok);
      if (!ok) return bad(QStringLiteral("bad integer \"%1\"").arg(text));
      return QVariant(large);
    }
    if (tag == QLatin1String("real")) {
      bool ok = false;
      const double value = text.trimmed().toDouble(&ok);
      if (!ok) return bad(QStringLiteral("bad real \"%1\"").arg(text));
      return QVariant(value);
    }
    if (tag == QLatin1String("date")) {
      QDateTime value = QDateTime::fromString(text.trimmed(), Qt::ISODate);
      if (!value.isValid()) return bad(QStringLiteral("bad date \"%1\"").arg(text));
      return QVariant(value.toUTC());
    }
    if (tag == QLatin1String("data")) {
      QByteArray compact = text.toLatin1();
      compact.replace(' ', "").replace('\n', "").replace('\t', "").replace('\r', "");
      auto decoded = QByteArray::fromBase64Encoding(compact, QByteArray::AbortOnBase64DecodingErrors);
      if (!decoded) return bad(QStringLiteral("bad base64 data"));
      return QVariant(*decoded);
    }
    return bad(QStringLiteral("unknown element <%1>").arg(tag));
  }

  std::optional<QVariant> readDict(int depth) {
    QVariantMap map;
    while (nextElement()) {
      if (xml_.name() != QLatin1String("key")) return bad(QStringLiteral("<dict> entry without <key>"));
      const bool escaped = hasEscapes();
      QString key = xml_.readElementText();
      if (xml_.hasError()) return bad(xml_.errorString());
      if (escaped) key = unescape(key);
      if (!nextElement()) return bad(QStringLiteral("<key>%1</key> without a value").arg(key));
      std::optional<QVariant> value = readValue(depth + 1);
      if (!value) return std::nullopt;
      map.insert(key, *value);
    }
    if (xml_.hasError()) return bad(xml_.errorString());
    return QVariant(map);
  }

  std::optional<QVariant> readArray(int depth) {
    QVariantList list;
    while (nextElement()) {
      std::optional<QVariant> value = readValue(depth + 1);
      if (!value) return std::nullopt;
      list.append(*value);
    }
    if (xml_.hasError()) return bad(xml_.errorString());
    return QVariant(list);
  }

  QXmlStreamReader xml_;
  QString error_;
};

// ---- Writing ----------------------------------------------------------------------------

// Characters that no XML 1.0 document can hold, not even as a character reference.
bool outsideXml(char16_t unit, bool paired) {
  if (unit < 0x20) return unit != '\t' && unit != '\n' && unit != '\r';
  if (QChar::isSurrogate(unit)) return !paired;
  return unit == 0xFFFE || unit == 0xFFFF;
}

bool needsEscapes(const QString& text) {
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i].unicode();
    if (QChar::isHighSurrogate(unit) && i + 1 < text.size() && QChar::isLowSurrogate(text[i + 1].unicode())) {
      ++i;
      continue;
    }
    if (outsideXml(unit, false)) return true;
  }
  return false;
}

// Element text: markup characters as entities, CR as a character reference (a literal CR
// would be read back as LF). When `escapes` is set, '\' and every code unit outside XML are
// written as the escapes that the escaped="1" attribute announces.
void appendText(QByteArray& out, const QString& text, bool escapes) {
  QString piece;
  piece.reserve(text.size() + 16);
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i].unicode();
    const bool paired = (QChar::isHighSurrogate(unit) && i + 1 < text.size() && QChar::isLowSurrogate(text[i + 1].unicode())) ||
                        (QChar::isLowSurrogate(unit) && i > 0 && QChar::isHighSurrogate(text[i - 1].unicode()));
    switch (unit) {
      case '&': piece += QLatin1String("&amp;"); continue;
      case '<': piece += QLatin1String("&lt;"); continue;
      case '>': piece += QLatin1String("&gt;"); continue;
      case '\r': piece += QLatin1String("&#13;"); continue;
      case '\\':
        if (escapes) {
          piece += QLatin1String("\\\\");
          continue;
        }
        break;
      default:
        if (escapes && outsideXml(unit, paired)) {
          static constexpr char kHex[] = "0123456789ABCDEF";
          piece += QLatin1String("\\u");
          for (int shift = 12; shift >= 0; shift -= 4) piece += QLatin1Char(kHex[(unit >> shift) & 0xF]);
          continue;
        }
    }
    piece += QChar(unit);
  }
  out += piece.toUtf8();
}

void appendTextElement(QByteArray& out, int depth, const char* tag, const QString& text) {
  out.append(depth, '\t');
  out += '<';
  out += tag;
  const bool escapes = needsEscapes(text);
  if (escapes) out += " escaped=\"1\"";
  out += '>';
  appendText(out, text, escapes);
  out += "</";
  out += tag;
  out += ">\n";
}

void appendPlainElement(QByteArray& out, int depth, const char* tag, const QByteArray& text) {
  out.append(depth, '\t');
  out += '<';
  out += tag;
  out += '>';
  out += text;
  out += "</";
  out += tag;
  out += ">\n";
}

void writeValue(QByteArray& out, const QVariant& value, int depth) {
  switch (value.typeId()) {
    case QMetaType::QVariantMap:
    case QMetaType::QVariantHash: {
      const QVariantMap map = value.toMap();
      out.append(depth, '\t');
      if (map.isEmpty()) {
        out += "<dict/>\n";
        return;
      }
      out += "<dict>\n";
      for (auto it = map.cbegin(); it != map.cend(); ++it) {
        appendTextElement(out, depth + 1, "key", it.key());
        writeValue(out, it.value(), depth + 1);
      }
      out.append(depth, '\t');
      out += "</dict>\n";
      return;
    }
    case QMetaType::QVariantList:
    case QMetaType::QStringList: {
      const QVariantList list = value.toList();
      out.append(depth, '\t');
      if (list.isEmpty()) {
        out += "<array/>\n";
        return;
      }
      out += "<array>\n";
      for (const QVariant& item : list) writeValue(out, item, depth + 1);
      out.append(depth, '\t');
      out += "</array>\n";
      return;
    }
    case QMetaType::Bool:
      out.append(depth, '\t');
      out += value.toBool() ? "<true/>\n" : "<false/>\n";
      return;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
      appendPlainElement(out, depth, "integer", value.toString().toLatin1());
      return;
    case QMetaType::Double:
    case QMetaType::Float:
      appendPlainElement(out, depth, "real", QByteArray::number(value.toDouble(), 'g', 17));
      return;
    case QMetaType::QDateTime:
      appendPlainElement(out, depth, "date", value.toDateTime().toUTC().toString(Qt::ISODate).toLatin1());
      return;
    case QMetaType::QByteArray:
      appendPlainElement(out, depth, "data", value.toByteArray().toBase64());
      return;
    default:
      appendTextElement(out, depth, "string", value.toString());
  }
}

}  // namespace

std::optional<QVariant> parse(const QByteArray& xml, QString* error) {
  return Reader(xml).document(error);
}

std::optional<QVariant> readFile(const QString& path, QString* error, qint64 maxBytes) {
  const std::optional<QByteArray> bytes = safefile::readRegular(path, maxBytes, error);
  if (!bytes) return std::nullopt;
  return parse(*bytes, error);
}

QByteArray serialize(const QVariant& value) {
  QByteArray bytes =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
      "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
      "<plist version=\"1.0\">\n";
  writeValue(bytes, value, 0);
  bytes += "</plist>\n";
  return bytes;
}

bool writeFile(const QString& path, const QVariant& value, QString* error) {
  return safefile::writeAtomically(path, serialize(value), error);
}

}  // namespace plist
