#include "platform/cf/PropertyList.h"

#include <QDateTime>
#include <QFile>
#include <QSaveFile>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

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
    const QString text = xml_.readElementText(QXmlStreamReader::ErrorOnUnexpectedElement);
    if (xml_.hasError()) return bad(xml_.errorString());
    if (tag == QLatin1String("string")) return QVariant(text);
    if (tag == QLatin1String("integer")) {
      bool ok = false;
      const qlonglong value = text.trimmed().toLongLong(&ok);
      if (!ok) return bad(QStringLiteral("bad integer \"%1\"").arg(text));
      return QVariant(value);
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
      const QString key = xml_.readElementText();
      if (xml_.hasError()) return bad(xml_.errorString());
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

void writeValue(QXmlStreamWriter& out, const QVariant& value) {
  switch (value.typeId()) {
    case QMetaType::QVariantMap: {
      out.writeStartElement(QStringLiteral("dict"));
      const QVariantMap map = value.toMap();
      for (auto it = map.cbegin(); it != map.cend(); ++it) {
        out.writeTextElement(QStringLiteral("key"), it.key());
        writeValue(out, it.value());
      }
      out.writeEndElement();
      return;
    }
    case QMetaType::QVariantList:
    case QMetaType::QStringList: {
      out.writeStartElement(QStringLiteral("array"));
      for (const QVariant& item : value.toList()) writeValue(out, item);
      out.writeEndElement();
      return;
    }
    case QMetaType::Bool:
      out.writeEmptyElement(value.toBool() ? QStringLiteral("true") : QStringLiteral("false"));
      return;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
      out.writeTextElement(QStringLiteral("integer"), value.toString());
      return;
    case QMetaType::Double:
    case QMetaType::Float:
      out.writeTextElement(QStringLiteral("real"), QString::number(value.toDouble(), 'g', 17));
      return;
    case QMetaType::QDateTime:
      out.writeTextElement(QStringLiteral("date"),
                           value.toDateTime().toUTC().toString(Qt::ISODate));
      return;
    case QMetaType::QByteArray:
      out.writeTextElement(QStringLiteral("data"), QString::fromLatin1(value.toByteArray().toBase64()));
      return;
    default:
      out.writeTextElement(QStringLiteral("string"), value.toString());
  }
}

}  // namespace

std::optional<QVariant> parse(const QByteArray& xml, QString* error) {
  return Reader(xml).document(error);
}

std::optional<QVariant> readFile(const QString& path, QString* error) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    if (error) *error = file.errorString();
    return std::nullopt;
  }
  return parse(file.readAll(), error);
}

QByteArray serialize(const QVariant& value) {
  QByteArray bytes;
  QXmlStreamWriter out(&bytes);
  out.setAutoFormatting(true);
  out.setAutoFormattingIndent(-1);  // one tab, as property list files usually are
  out.writeStartDocument();
  out.writeDTD(QStringLiteral(
      "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
      "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">"));
  out.writeStartElement(QStringLiteral("plist"));
  out.writeAttribute(QStringLiteral("version"), QStringLiteral("1.0"));
  writeValue(out, value);
  out.writeEndElement();
  out.writeEndDocument();
  return bytes;
}

bool writeFile(const QString& path, const QVariant& value, QString* error) {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(serialize(value)) < 0 || !file.commit()) {
    if (error) *error = file.errorString();
    return false;
  }
  return true;
}

}  // namespace plist
