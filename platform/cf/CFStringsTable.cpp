// SPDX-License-Identifier: GPL-3.0-or-later
// Strings tables (".strings" files): `"key" = "value";` lines in the old property-list text
// syntax, or an XML property list holding one dictionary of strings.
#include <QStringDecoder>

#include "platform/cf/CFInternal.h"
#include "platform/cf/PropertyList.h"

namespace {

class Reader {
 public:
  explicit Reader(QString text) : s_(std::move(text)) {}

  // Skips white space and comments; false at an unterminated comment.
  bool skip() {
    while (i_ < s_.size()) {
      if (s_[i_].isSpace()) {
        ++i_;
      } else if (s_.mid(i_, 2) == QLatin1String("//")) {
        while (i_ < s_.size() && s_[i_] != u'\n' && s_[i_] != u'\r') ++i_;
      } else if (s_.mid(i_, 2) == QLatin1String("/*")) {
        const qsizetype end = s_.indexOf(QLatin1String("*/"), i_ + 2);
        if (end < 0) return false;
        i_ = end + 2;
      } else {
        break;
      }
    }
    return true;
  }

  bool atEnd() const { return i_ >= s_.size(); }
  bool take(QChar c) {
    if (i_ < s_.size() && s_[i_] == c) {
      ++i_;
      return true;
    }
    return false;
  }

  // A quoted string with escapes, or an unquoted run of word characters.
  bool string(QString* out) {
    out->clear();
    if (take(u'"')) return quoted(out);
    const qsizetype start = i_;
    while (i_ < s_.size() && isWordCharacter(s_[i_])) ++i_;
    *out = s_.mid(start, i_ - start);
    return i_ > start;
  }

 private:
  static bool isWordCharacter(QChar c) {
    return (c.unicode() < 0x80 && c.isLetterOrNumber()) || QStringView(u"_$:./-").contains(c);
  }

  bool hexDigits(int count, char16_t* out) {
    if (s_.size() - i_ < count) return false;
    bool ok = false;
    *out = char16_t(s_.mid(i_, count).toUShort(&ok, 16));
    i_ += count;
    return ok;
  }

  bool quoted(QString* out) {
    while (i_ < s_.size()) {
      const QChar c = s_[i_++];
      if (c == u'"') return true;
      if (c != u'\\') {
        out->append(c);
        continue;
      }
      if (i_ >= s_.size()) return false;
      const QChar e = s_[i_++];
      switch (e.unicode()) {
        case u'n': out->append(u'\n'); break;
        case u't': out->append(u'\t'); break;
        case u'r': out->append(u'\r'); break;
        case u'a': out->append(QChar(0x07)); break;
        case u'b': out->append(QChar(0x08)); break;
        case u'f': out->append(QChar(0x0C)); break;
        case u'v': out->append(QChar(0x0B)); break;
        case u'U':
        case u'u': {
          char16_t unit;
          if (!hexDigits(4, &unit)) return false;
          out->append(QChar(unit));
          break;
        }
        default:
          if (e >= u'0' && e <= u'7') {
            int value = e.unicode() - u'0';
            for (int k = 0; k < 2 && i_ < s_.size() && s_[i_] >= u'0' && s_[i_] <= u'7'; ++k)
              value = value * 8 + (s_[i_++].unicode() - u'0');
            out->append(QChar(char16_t(value)));
          } else {
            out->append(e);  // \" \\ \' and any other character stand for themselves
          }
      }
    }
    return false;
  }

  QString s_;
  qsizetype i_ = 0;
};

QString decodeText(const QByteArray& bytes) {
  if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
    QStringDecoder decoder(QStringDecoder::Utf16);  // the mark gives the byte order
    return decoder(bytes);
  }
  QString text;
  const qsizetype skip = bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0;
  if (cf::decodeUtf8(reinterpret_cast<const unsigned char*>(bytes.constData()) + skip,
                     bytes.size() - skip, &text))
    return text;
  // A table that is not UTF-8 is taken as UTF-16 without a mark when it has NUL bytes, else
  // as Latin-1, so that it still yields its ASCII keys.
  if (bytes.contains('\0') && bytes.size() % 2 == 0)
    return QStringDecoder(bytes.at(0) == 0 ? QStringDecoder::Utf16BE
                                           : QStringDecoder::Utf16LE)(bytes);
  return QString::fromLatin1(bytes);
}

}  // namespace

namespace cf {

QHash<QString, QString> parseStringsTable(const QByteArray& bytes) {
  QHash<QString, QString> table;
  const QByteArray head = bytes.left(64).trimmed();
  if (head.startsWith("<?xml") || head.startsWith("<!DOCTYPE") || head.startsWith("<plist")) {
    const std::optional<QVariant> value = plist::parse(bytes);
    if (value && value->typeId() == QMetaType::QVariantMap) {
      const QVariantMap map = value->toMap();
      for (auto it = map.begin(); it != map.end(); ++it)
        if (it.value().typeId() == QMetaType::QString)
          table.insert(it.key(), it.value().toString());
    }
    return table;
  }
  Reader reader(decodeText(bytes));
  // A table with a syntax error is ignored whole, as the platform does: a half-read table would
  // mix translated and untranslated texts without a trace of why.
  for (;;) {
    if (!reader.skip()) return {};
    if (reader.atEnd()) break;
    QString key, value;
    if (!reader.string(&key) || !reader.skip()) return {};
    if (reader.take(u';')) {
      table.insert(key, key);  // `"key";` stands for `"key" = "key";`
      continue;
    }
    if (!reader.take(u'=') || !reader.skip() || !reader.string(&value) || !reader.skip() ||
        !reader.take(u';'))
      return {};
    table.insert(key, value);
  }
  return table;
}

}  // namespace cf
