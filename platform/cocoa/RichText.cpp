// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/cocoa/RichText.h"

#include <QBuffer>
#include <QColor>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QImage>
#include <QPixmap>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextFragment>
#include <QUrl>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/cocoa/Pasteboard.h"

namespace {

struct Attachment {
  QString fileName;
  QByteArray data;
};

// The character attributes that RTF carries, as table indexes and flags.
struct CharacterStyle {
  int font = -1;
  int halfPoints = -1;
  int colour = -1;      // 0: the reader's default
  int background = -1;  // 0: none
  bool bold = false;
  bool italic = false;
  bool underline = false;
  bool strike = false;
  int vertical = 0;  // 1 superscript, -1 subscript
};

// The family classes of the font table, guessed from the name where the font gives no hint.
const char* familyClass(const QFont& font) {
  const QString name = font.family().toLower();
  if (font.fixedPitch() || font.styleHint() == QFont::Monospace || font.styleHint() == QFont::TypeWriter ||
      name.contains(QLatin1String("courier")) || name.contains(QLatin1String("mono")))
    return "\\fmodern";
  if (font.styleHint() == QFont::Serif || name.contains(QLatin1String("times")) ||
      (name.contains(QLatin1String("serif")) && !name.contains(QLatin1String("sans"))) ||
      name.contains(QLatin1String("georgia")) || name.contains(QLatin1String("palatino")))
    return "\\froman";
  if (font.styleHint() == QFont::SansSerif || name.contains(QLatin1String("helvetica")) ||
      name.contains(QLatin1String("arial")) || name.contains(QLatin1String("sans")) ||
      name.contains(QLatin1String("verdana")) || name.contains(QLatin1String("geneva")))
    return "\\fswiss";
  return "\\fnil";
}

void appendNumber(QByteArray& out, const char* control, int value) {
  out += control;
  out += QByteArray::number(value);
}

// The one-byte stand-in that readers without Unicode show: the character in Windows-1252
// where it has one, else '?'.
unsigned char fallbackByte(char16_t u) {
  if (u >= 0xA0 && u <= 0xFF) return static_cast<unsigned char>(u);
  static constexpr std::pair<char16_t, unsigned char> kWindows1252[] = {
      {0x20AC, 0x80}, {0x201A, 0x82}, {0x0192, 0x83}, {0x201E, 0x84}, {0x2026, 0x85}, {0x2020, 0x86},
      {0x2021, 0x87}, {0x02C6, 0x88}, {0x2030, 0x89}, {0x0160, 0x8A}, {0x2039, 0x8B}, {0x0152, 0x8C},
      {0x017D, 0x8E}, {0x2018, 0x91}, {0x2019, 0x92}, {0x201C, 0x93}, {0x201D, 0x94}, {0x2022, 0x95},
      {0x2013, 0x96}, {0x2014, 0x97}, {0x02DC, 0x98}, {0x2122, 0x99}, {0x0161, 0x9A}, {0x203A, 0x9B},
      {0x0153, 0x9C}, {0x017E, 0x9E}, {0x0178, 0x9F}};
  for (const auto& [unicode, byte] : kWindows1252)
    if (unicode == u) return byte;
  return '?';
}

// Text as RTF: the three special characters escaped, ASCII as itself, everything else as
// UTF-16 code units in \uN escapes (N signed 16-bit, as readers expect), each followed by its
// fallback as a \'hh symbol. A bare fallback character would be shorter, but some readers
// (unrtf among them) then drop the letters that follow it.
void appendText(QByteArray& out, QStringView text) {
  for (const QChar c : text) {
    const char16_t u = c.unicode();
    if (u == u'\\' || u == u'{' || u == u'}') {
      out += '\\';
      out += char(u);
    } else if (u == u'\t') {
      out += "\\tab ";
    } else if (u == QChar::LineSeparator || u == u'\v') {
      out += "\\line ";
    } else if (u == QChar::Nbsp) {
      out += "\\~";
    } else if (u >= 0x20 && u < 0x7F) {
      out += char(u);
    } else if (u < 0x20 || u == 0x7F || u == QChar::ObjectReplacementCharacter) {
      // Control characters have no place in the text; the object mark stands for an image.
    } else {
      appendNumber(out, "\\u", u > 32767 ? int(u) - 65536 : int(u));
      out += "\\'";
      out += QByteArray::number(fallbackByte(u), 16).rightJustified(2, '0');
    }
  }
}

class RTFWriter {
 public:
  explicit RTFWriter(const QTextDocument& document) : document_(document) {
    // f0, the default font of \deff0, is the document's own.
    fontIndex(document.defaultFont());
  }

  QByteArray write(int from, int to, QList<Attachment>* attachments) {
    const int end = document_.characterCount() - 1;  // the final paragraph mark is not text
    from = std::clamp(from, 0, std::max(end, 0));
    to = std::clamp(to, from, std::max(end, 0));
    attachments_ = attachments;

    QTextBlock block = document_.findBlock(from);
    bool firstParagraph = true;
    for (; block.isValid() && block.position() <= to; block = block.next()) {
      if (block.position() == to && !firstParagraph) break;
      writeParagraphStart(block, firstParagraph);
      firstParagraph = false;
      for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        const int start = std::max(from, fragment.position());
        const int stop = std::min(to, fragment.position() + fragment.length());
        if (start >= stop) continue;
        const QString text = fragment.text().mid(start - fragment.position(), stop - start);
        writeRun(fragment.charFormat(), text);
      }
      const int separator = block.position() + block.length() - 1;
      if (separator < to && block.next().isValid()) body_ += "\\par\n";
    }

    QByteArray out = "{\\rtf1\\ansi\\ansicpg1252\\uc1\\deff0{\\fonttbl";
    for (qsizetype i = 0; i < fonts_.size(); ++i) {
      appendNumber(out, "\\f", int(i));
      out += fonts_[i].second;
      out += "\\fcharset0 ";
      QString name = fonts_[i].first;
      name.replace(u';', u' ');  // the entry's terminator
      appendText(out, name);
      out += ';';
    }
    out += "}\n{\\colortbl;";
    for (const QColor& colour : colours_) {
      appendNumber(out, "\\red", colour.red());
      appendNumber(out, "\\green", colour.green());
      appendNumber(out, "\\blue", colour.blue());
      out += ';';
    }
    out += "}\n";
    out += body_;
    out += "}\n";
    return out;
  }

 private:
  int fontIndex(const QFont& font) {
    const QString family = font.family();
    for (qsizetype i = 0; i < fonts_.size(); ++i)
      if (fonts_[i].first == family) return int(i);
    fonts_.append({family, QByteArray(familyClass(font))});
    return int(fonts_.size() - 1);
  }

  int colourIndex(const QColor& colour) {
    const QColor opaque = colour.toRgb();
    for (qsizetype i = 0; i < colours_.size(); ++i)
      if (colours_[i].rgb() == opaque.rgb()) return int(i + 1);
    colours_.append(opaque);
    return int(colours_.size());
  }

  void writeParagraphStart(const QTextBlock& block, bool first) {
    const Qt::Alignment alignment = block.blockFormat().alignment() & Qt::AlignHorizontal_Mask;
    const char* code = alignment & Qt::AlignHCenter   ? "\\qc"
                       : alignment & Qt::AlignRight   ? "\\qr"
                       : alignment & Qt::AlignJustify ? "\\qj"
                                                      : "";
    if (!first && code == alignmentCode_) return;
    body_ += "\\pard";
    body_ += code;
    body_ += ' ';
    alignmentCode_ = code;
  }

  CharacterStyle styleOf(const QTextCharFormat& format) {
    const QFont font = format.font().resolve(document_.defaultFont());
    CharacterStyle style;
    style.font = fontIndex(font);
    if (font.pointSizeF() > 0)
      style.halfPoints = qRound(font.pointSizeF() * 2);
    else if (font.pixelSize() > 0)
      style.halfPoints = qRound(font.pixelSize() * 1.5);  // 96 dpi
    else
      style.halfPoints = 24;
    const QBrush foreground = format.foreground();
    style.colour = foreground.style() != Qt::NoBrush ? colourIndex(foreground.color()) : 0;
    const QBrush background = format.background();
    style.background = background.style() != Qt::NoBrush ? colourIndex(background.color()) : 0;
    style.bold = font.bold();
    style.italic = font.italic();
    style.underline = font.underline() || format.underlineStyle() != QTextCharFormat::NoUnderline;
    style.strike = font.strikeOut();
    style.vertical = format.verticalAlignment() == QTextCharFormat::AlignSuperScript ? 1
                     : format.verticalAlignment() == QTextCharFormat::AlignSubScript ? -1
                                                                                     : 0;
    return style;
  }

  void writeRun(const QTextCharFormat& format, const QString& text) {
    const CharacterStyle style = styleOf(format);
    QByteArray controls;
    if (style.font != current_.font) appendNumber(controls, "\\f", style.font);
    if (style.halfPoints != current_.halfPoints) appendNumber(controls, "\\fs", style.halfPoints);
    if (style.colour != current_.colour) appendNumber(controls, "\\cf", style.colour);
    if (style.background != current_.background && !(current_.background < 0 && style.background == 0))
      appendNumber(controls, "\\cb", style.background);
    if (style.bold != current_.bold) controls += style.bold ? "\\b" : "\\b0";
    if (style.italic != current_.italic) controls += style.italic ? "\\i" : "\\i0";
    if (style.underline != current_.underline) controls += style.underline ? "\\ul" : "\\ulnone";
    if (style.strike != current_.strike) controls += style.strike ? "\\strike" : "\\strike0";
    if (style.vertical != current_.vertical)
      controls += style.vertical > 0 ? "\\super" : style.vertical < 0 ? "\\sub" : "\\nosupersub";
    if (!controls.isEmpty()) body_ += controls + ' ';
    current_ = style;

    if (attachments_ && format.isImageFormat()) {
      for (const QChar c : text) {
        if (c == QChar::ObjectReplacementCharacter) writeAttachment(format.toImageFormat());
      }
    }
    appendText(body_, text);
  }

  // An image becomes a file of the package, named in the text where it stands.
  void writeAttachment(const QTextImageFormat& format) {
    const QVariant resource = document_.resource(QTextDocument::ImageResource, QUrl(format.name()));
    QImage image;
    if (resource.typeId() == QMetaType::QImage)
      image = resource.value<QImage>();
    else if (resource.typeId() == QMetaType::QPixmap)
      image = resource.value<QPixmap>().toImage();
    else if (resource.typeId() == QMetaType::QByteArray)
      image.loadFromData(resource.toByteArray());
    if (image.isNull()) return;
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG")) return;

    // Names stay plain ASCII without RTF's special characters, and never TXT.rtf.
    QString base = QFileInfo(QUrl(format.name()).path()).completeBaseName();
    for (QChar& c : base)
      if (!(c.isLetterOrNumber() && c.unicode() < 0x80) && c != u'-' && c != u'_' && c != u' ') c = u'_';
    if (base.isEmpty()) base = QStringLiteral("image");
    QString name = base + QStringLiteral(".png");
    for (int n = 2; std::any_of(attachments_->cbegin(), attachments_->cend(),
                                [&](const Attachment& a) { return a.fileName == name; });
         ++n)
      name = QStringLiteral("%1 %2.png").arg(base).arg(n);
    attachments_->append({name, png});

    const int width = qRound((format.width() > 0 ? format.width() : image.width()) * 15);  // px to twips
    const int height = qRound((format.height() > 0 ? format.height() : image.height()) * 15);
    body_ += "{{\\NeXTGraphic ";
    appendText(body_, name);
    appendNumber(body_, " \\width", width);
    appendNumber(body_, " \\height", height);
    body_ += " \\noorient}\\'ac}";
  }

  const QTextDocument& document_;
  QList<QPair<QString, QByteArray>> fonts_;
  QList<QColor> colours_;
  QByteArray body_;
  CharacterStyle current_;
  const char* alignmentCode_ = "";
  QList<Attachment>* attachments_ = nullptr;
};

// ---- Package writing --------------------------------------------------------------------

RTFDStepCheck& stepCheck() {
  static RTFDStepCheck check;
  return check;
}

// False, with errno set, when a test has made this step fail.
bool stepAllowed(const char* step) {
  if (stepCheck() && !stepCheck()(step)) {
    errno = EIO;
    return false;
  }
  return true;
}

bool failed(QString* error, const QString& what, int code) {
  if (error) *error = QStringLiteral("%1: %2").arg(what, QString::fromLocal8Bit(std::strerror(code)));
  return false;
}

void removeItem(const QString& path) {
  const QFileInfo info(path);
  if (info.isDir() && !info.isSymLink())
    QDir(path).removeRecursively();
  else
    QFile::remove(path);
}

bool syncPath(const QString& path) {
  const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = ::fsync(fd) == 0;
  ::close(fd);
  return ok;
}

bool writeFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) return false;
  if (file.write(bytes) != bytes.size() || !file.flush()) return false;
  return ::fsync(file.handle()) == 0;
}

bool renameItem(const QByteArray& from, const QByteArray& to, unsigned flags) {
  return ::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), flags) == 0;
}

bool swapUnsupported(int code) { return code == EINVAL || code == ENOSYS || code == EOPNOTSUPP; }

// Temporary packages carry the writer's process id: ".rtfd-<pid>-XXXXXX" (older versions
// wrote ".rtfd-XXXXXX"). One left by a save that was killed is stale once its process is
// gone, or in any case after a while (a process id can be reused).
constexpr qint64 kStaleTemporarySeconds = 10 * 60;

bool processIsGone(qint64 pid) {
  return pid <= 0 || pid > std::numeric_limits<pid_t>::max() || (::kill(pid_t(pid), 0) != 0 && errno == ESRCH);
}

void removeStaleTemporaries(const QString& folder) {
  static const QRegularExpression ours(QStringLiteral("^\\.rtfd-(?:([0-9]{1,10})-)?[A-Za-z0-9]{6}$"));
  const QStringList names = QDir(folder).entryList(QStringList{QStringLiteral(".rtfd-*")},
                                                   QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot | QDir::NoSymLinks);
  const qint64 now = QDateTime::currentSecsSinceEpoch();
  for (const QString& name : names) {
    const QRegularExpressionMatch match = ours.match(name);
    if (!match.hasMatch()) continue;  // "-old" items hold a user's package during a replace
    const QString path = folder + u'/' + name;
    struct stat info;
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISDIR(info.st_mode) ||
        info.st_uid != ::geteuid())
      continue;
    const bool old = now - qint64(info.st_mtim.tv_sec) > kStaleTemporarySeconds;
    const bool orphaned = match.capturedLength(1) > 0 && match.captured(1).toLongLong() != ::getpid() &&
                          processIsGone(match.captured(1).toLongLong());
    if (old || orphaned) QDir(path).removeRecursively();
  }
}

}  // namespace

QByteArray RTFFromRange(const QTextDocument& document, int from, int to) {
  return RTFWriter(document).write(from, to, nullptr);
}

QByteArray RTFFromDocument(const QTextDocument& document) {
  return RTFFromRange(document, 0, document.characterCount() - 1);
}

QByteArray HTMLFromRange(const QTextDocument& document, int from, int to) {
  const int end = std::clamp(to, 0, std::max(0, document.characterCount() - 1));
  QTextCursor range(const_cast<QTextDocument*>(&document));
  range.setPosition(std::clamp(from, 0, end));
  range.setPosition(end, QTextCursor::KeepAnchor);
  const QByteArray html = QTextDocumentFragment(range).toHtml().toUtf8();
  return html.isNull() ? QByteArray("") : html;
}

bool writeSelectionToPasteboard(const QTextCursor& selection, Pasteboard& pasteboard,
                                const QStringList& types) {
  const QTextDocument* document = selection.document();
  if (!document) return false;
  QStringList offered;
  for (const QString& type : types)
    if ((type == QLatin1String(NSRTFPboardType) || type == QLatin1String(NSStringPboardType) ||
         type == QLatin1String(NSHTMLPboardType)) &&
        !offered.contains(type))
      offered << type;
  if (offered.isEmpty()) return false;

  pasteboard.declareTypes(offered);
  bool written =
      std::all_of(types.cbegin(), types.cend(), [&](const QString& type) { return offered.contains(type); });
  for (const QString& type : offered) {
    if (type == QLatin1String(NSRTFPboardType))
      written &= pasteboard.setDataForType(
          RTFFromRange(*document, selection.selectionStart(), selection.selectionEnd()), type);
    else if (type == QLatin1String(NSHTMLPboardType))
      written &= pasteboard.setDataForType(
          HTMLFromRange(*document, selection.selectionStart(), selection.selectionEnd()), type);
    else {
      QString text = selection.selection().toPlainText();
      if (text.isNull()) text = QLatin1String("");  // an empty selection is offered as empty text
      written &= pasteboard.setStringForType(text, type);
    }
  }
  return written;
}

bool writeRTFDPackage(const QTextDocument& document, const QString& packagePath, QString* error) {
  const QFileInfo target(packagePath);
  if (packagePath.isEmpty() || target.fileName().isEmpty())
    return failed(error, QStringLiteral("no package name"), EINVAL);
  const QString targetPath = target.absoluteFilePath();
  const QByteArray targetName = QFile::encodeName(targetPath);

  removeStaleTemporaries(target.absolutePath());
  // Built beside the target, on the same file system, so that putting it in place is a rename.
  QByteArray temporaryName = QFile::encodeName(target.absolutePath() + QStringLiteral("/.rtfd-%1-XXXXXX").arg(::getpid()));
  if (!::mkdtemp(temporaryName.data()))
    return failed(error, QStringLiteral("cannot create a folder beside ") + targetPath, errno);
  const QString temporary = QFile::decodeName(temporaryName);
  // Whatever is left under the temporary name at the end (the new package after a failure,
  // the old item after a swap) goes.
  const auto cleanUp = qScopeGuard([&] { removeItem(temporary); });
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::chmod(temporaryName.constData(), 0777 & ~mask);

  QList<Attachment> attachments;
  const QByteArray rtf = RTFWriter(document).write(0, document.characterCount() - 1, &attachments);
  if (!stepAllowed("text") || !writeFile(temporary + QStringLiteral("/TXT.rtf"), rtf))
    return failed(error, QStringLiteral("cannot write the text"), errno ? errno : EIO);
  for (const Attachment& attachment : attachments) {
    if (!writeFile(temporary + u'/' + attachment.fileName, attachment.data))
      return failed(error, QStringLiteral("cannot write ") + attachment.fileName, errno ? errno : EIO);
  }
  if (!syncPath(temporary)) return failed(error, QStringLiteral("cannot write the package"), errno);

  struct stat existing;
  bool replacing = ::lstat(targetName.constData(), &existing) == 0;
  if (!replacing) {
    if (!stepAllowed("install"))
      return failed(error, QStringLiteral("cannot rename the package into place"), errno);
    if (renameItem(temporaryName, targetName, RENAME_NOREPLACE)) {
      syncPath(target.absolutePath());
      return true;
    }
    if (errno == EEXIST)
      replacing = true;  // something came in the meantime
    else if (!swapUnsupported(errno) || ::rename(temporaryName.constData(), targetName.constData()) != 0)
      return failed(error, QStringLiteral("cannot rename the package into place"), errno);
    else {
      syncPath(target.absolutePath());
      return true;
    }
  }

  // Replacing: one atomic swap where the file system has it, after which the old item sits
  // under the temporary name and goes with it.
  int swapError = EINVAL;  // as from a file system without the swap
  if (stepAllowed("exchange")) {
    if (renameItem(temporaryName, targetName, RENAME_EXCHANGE)) {
      syncPath(target.absolutePath());
      return true;
    }
    swapError = errno;
  }
  if (!swapUnsupported(swapError))
    return failed(error, QStringLiteral("cannot replace ") + targetPath, swapError);

  // Otherwise the old item steps aside until the new one is in place, and comes back if it
  // cannot be.
  const QByteArray asideName = temporaryName + "-old";
  if (::rename(targetName.constData(), asideName.constData()) != 0)
    return failed(error, QStringLiteral("cannot replace ") + targetPath, errno);
  if (!stepAllowed("install") || ::rename(temporaryName.constData(), targetName.constData()) != 0) {
    const int code = errno;
    ::rename(asideName.constData(), targetName.constData());
    return failed(error, QStringLiteral("cannot rename the package into place"), code);
  }
  removeItem(QFile::decodeName(asideName));
  syncPath(target.absolutePath());
  return true;
}

void setRTFDStepCheckForTesting(RTFDStepCheck check) { stepCheck() = std::move(check); }
