// SPDX-License-Identifier: GPL-3.0-or-later
#include "dictionary/Markup.h"

#include <QList>
#include <optional>

namespace dictionary {
namespace {

struct NamedEntity {
  const char* name;
  char16_t value;
};
// The entities dictionaries actually use; others stay as written.
constexpr NamedEntity kEntities[] = {
    {"amp", u'&'},     {"lt", u'<'},      {"gt", u'>'},      {"quot", u'"'},    {"apos", u'\''},
    {"nbsp", 0x00a0},  {"copy", 0x00a9},  {"reg", 0x00ae},   {"trade", 0x2122}, {"deg", 0x00b0},
    {"middot", 0x00b7}, {"sect", 0x00a7}, {"para", 0x00b6},  {"laquo", 0x00ab}, {"raquo", 0x00bb},
    {"lsquo", 0x2018}, {"rsquo", 0x2019}, {"ldquo", 0x201c}, {"rdquo", 0x201d}, {"ndash", 0x2013},
    {"mdash", 0x2014}, {"hellip", 0x2026}, {"bull", 0x2022}, {"times", 0x00d7}, {"divide", 0x00f7},
    {"plusmn", 0x00b1}, {"frac12", 0x00bd}, {"frac14", 0x00bc}, {"frac34", 0x00be}, {"shy", 0x00ad},
    {"eacute", 0x00e9}, {"egrave", 0x00e8}, {"ecirc", 0x00ea}, {"euml", 0x00eb}, {"aacute", 0x00e1},
    {"agrave", 0x00e0}, {"acirc", 0x00e2}, {"auml", 0x00e4},  {"ouml", 0x00f6},  {"uuml", 0x00fc},
    {"szlig", 0x00df}, {"ccedil", 0x00e7}, {"ntilde", 0x00f1}, {"iacute", 0x00ed}, {"oacute", 0x00f3},
    {"uacute", 0x00fa}, {"Auml", 0x00c4}, {"Ouml", 0x00d6},  {"Uuml", 0x00dc},  {"aelig", 0x00e6},
};

bool isBlockElement(QStringView name) {
  static const char* const kBlocks[] = {"p",  "div", "li", "ul", "ol", "dl", "dt", "dd", "tr", "table",
                                        "h1", "h2",  "h3", "h4", "h5", "h6", "blockquote", "pre",
                                        "hr", "section", "article", "header", "footer", "center"};
  for (const char* block : kBlocks) {
    if (name == QLatin1String(block)) return true;
  }
  return false;
}

class TextBuilder {
 public:
  explicit TextBuilder(bool collapseSpace) : collapse_(collapseSpace) {}

  void text(QStringView run) {
    for (const QChar c : run) {
      if (collapse_ && preformatted_ == 0 && (c == u' ' || c == u'\t' || c == u'\n' || c == u'\r')) {
        pendingSpace_ = true;
        continue;
      }
      flushSpace();
      out_ += c;
    }
  }
  void literal(const QString& s) {
    flushSpace();
    out_ += s;
  }
  void newline() {
    pendingSpace_ = false;
    out_ += u'\n';
  }
  // A line break unless the text already ends a line.
  void blockBoundary() {
    pendingSpace_ = false;
    if (!out_.isEmpty() && !out_.endsWith(u'\n')) out_ += u'\n';
  }
  void enterPre(bool enter) { preformatted_ += enter ? 1 : (preformatted_ > 0 ? -1 : 0); }
  QString finish() {
    // Spaces at line ends are layout noise; so is more than one empty line in a row.
    QString result;
    result.reserve(out_.size());
    int emptyLines = 0;
    for (QStringView line : QStringView(out_).split(u'\n')) {
      while (!line.isEmpty() && line.back().isSpace()) line.chop(1);
      if (line.isEmpty()) {
        if (result.isEmpty() || ++emptyLines > 1) continue;
      } else {
        emptyLines = 0;
      }
      if (!result.isEmpty()) result += u'\n';
      result += line;
    }
    while (result.endsWith(u'\n')) result.chop(1);
    return result;
  }

 private:
  void flushSpace() {
    if (pendingSpace_ && !out_.isEmpty() && !out_.endsWith(u'\n') && !out_.endsWith(u' ')) out_ += u' ';
    pendingSpace_ = false;
  }
  QString out_;
  bool collapse_;
  bool pendingSpace_ = false;
  int preformatted_ = 0;
};

// Appends text with its entities decoded.
void appendDecoded(TextBuilder& builder, QStringView run) {
  qsizetype start = 0;
  for (qsizetype i = 0; i < run.size(); ++i) {
    if (run[i] != u'&') continue;
    const qsizetype semicolon = run.indexOf(u';', i + 1);
    if (semicolon < 0 || semicolon - i > 12) continue;
    if (std::optional<QString> value = decodeEntity(run.sliced(i + 1, semicolon - i - 1))) {
      builder.text(run.sliced(start, i - start));
      builder.literal(*value);
      i = semicolon;
      start = semicolon + 1;
    }
  }
  builder.text(run.sliced(start));
}

}  // namespace

std::optional<QString> decodeEntity(QStringView name) {
  if (name.size() > 1 && name[0] == u'#') {
    bool ok = false;
    const uint value = (name[1] == u'x' || name[1] == u'X') ? name.sliced(2).toUInt(&ok, 16) : name.sliced(1).toUInt(&ok, 10);
    if (!ok || value == 0 || value > 0x10ffff || (value >= 0xd800 && value <= 0xdfff)) return std::nullopt;
    const char32_t cp = value;
    return QString::fromUcs4(&cp, 1);
  }
  for (const NamedEntity& entity : kEntities) {
    if (name == QLatin1String(entity.name)) return QString(QChar(entity.value));
  }
  return std::nullopt;
}

QString markupToText(QStringView markup, MarkupKind kind) {
  TextBuilder builder(kind == MarkupKind::Html);
  qsizetype pos = 0;
  const qsizetype size = markup.size();
  while (pos < size) {
    const qsizetype open = markup.indexOf(u'<', pos);
    if (open < 0) {
      appendDecoded(builder, markup.sliced(pos));
      break;
    }
    appendDecoded(builder, markup.sliced(pos, open - pos));
    // Only '<' before a name, '/', '!' or '?' opens a tag; "3 < 4" is text.
    const QChar after = open + 1 < size ? markup[open + 1] : QChar();
    if (!after.isLetter() && after != u'/' && after != u'!' && after != u'?') {
      builder.text(u"<");
      pos = open + 1;
      continue;
    }
    if (markup.sliced(open).startsWith(QLatin1String("<!--"))) {
      const qsizetype close = markup.indexOf(QLatin1String("-->"), open + 4);
      pos = close < 0 ? size : close + 3;
      continue;
    }
    const qsizetype close = markup.indexOf(u'>', open + 1);
    if (close < 0) {  // a lone '<' is text
      appendDecoded(builder, markup.sliced(open));
      break;
    }
    QStringView tag = markup.sliced(open + 1, close - open - 1).trimmed();
    pos = close + 1;
    const bool closing = tag.startsWith(u'/');
    if (closing) tag = tag.sliced(1).trimmed();
    qsizetype nameEnd = 0;
    while (nameEnd < tag.size() && !tag[nameEnd].isSpace() && tag[nameEnd] != u'/') ++nameEnd;
    const QString name = tag.first(nameEnd).toString().toLower();

    if (name == QLatin1String("br")) {
      builder.newline();
      continue;
    }
    if (kind == MarkupKind::Html && !closing && (name == QLatin1String("script") || name == QLatin1String("style"))) {
      const qsizetype end = markup.indexOf(QLatin1String("</") + name, pos, Qt::CaseInsensitive);
      const qsizetype endClose = end < 0 ? -1 : markup.indexOf(u'>', end);
      pos = endClose < 0 ? size : endClose + 1;
      continue;
    }
    if (kind == MarkupKind::Xdxf) {
      if (name == QLatin1String("k") && !closing) {  // the headword, shown by the caller already
        const qsizetype end = markup.indexOf(QLatin1String("</k>"), pos);
        pos = end < 0 ? size : end + 4;
        continue;
      }
      if (name == QLatin1String("tr")) {
        builder.literal(closing ? QStringLiteral("]") : QStringLiteral("["));
        continue;
      }
    }
    if (kind == MarkupKind::Html) {
      if (name == QLatin1String("pre")) builder.enterPre(!closing);
      if (isBlockElement(name)) {
        builder.blockBoundary();
      } else if ((name == QLatin1String("td") || name == QLatin1String("th")) && closing) {
        builder.text(u" ");
      }
    }
  }
  return builder.finish();
}

}  // namespace dictionary
