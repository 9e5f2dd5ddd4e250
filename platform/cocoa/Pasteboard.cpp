// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/cocoa/Pasteboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace {

// Names that are not MIME types travel under this prefix, so that they come back unchanged.
constexpr QLatin1String kPrivateMimePrefix("application/x-vocabulon-pasteboard.");

const QMimeData* clipboardContents() {
  return qGuiApp ? QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard) : nullptr;
}

}  // namespace

Pasteboard Pasteboard::withText(const QString& text) {
  Pasteboard pasteboard;
  if (!text.isEmpty()) pasteboard.setStringForType(text, NSStringPboardType);
  return pasteboard;
}

Pasteboard& Pasteboard::generalPasteboard() {
  static Pasteboard general = [] {
    Pasteboard pasteboard;
    pasteboard.general_ = true;
    return pasteboard;
  }();
  return general;
}

QString Pasteboard::mimeTypeForType(const QString& type) {
  if (type == QLatin1String(NSStringPboardType)) return QStringLiteral("text/plain");
  if (type == QLatin1String(NSRTFPboardType)) return QStringLiteral("text/rtf");
  if (type == QLatin1String(NSHTMLPboardType)) return QStringLiteral("text/html");
  if (type.contains(u'/')) return type;
  return kPrivateMimePrefix + type;
}

QString Pasteboard::typeForMimeType(const QString& mimeType) {
  if (mimeType == QLatin1String("text/plain") || mimeType.startsWith(QLatin1String("text/plain;")))
    return QString::fromLatin1(NSStringPboardType);
  if (mimeType == QLatin1String("text/rtf") || mimeType == QLatin1String("application/rtf"))
    return QString::fromLatin1(NSRTFPboardType);
  if (mimeType == QLatin1String("text/html")) return QString::fromLatin1(NSHTMLPboardType);
  if (mimeType.startsWith(kPrivateMimePrefix)) return mimeType.mid(kPrivateMimePrefix.size());
  return mimeType;
}

QStringList Pasteboard::types() const {
  QStringList types;
  if (general_) {
    if (const QMimeData* contents = clipboardContents()) {
      for (const QString& format : contents->formats()) {
        const QString type = typeForMimeType(format);
        if (!types.contains(type)) types << type;
      }
    }
    return types;
  }
  for (const auto& item : items_) types << item.first;
  return types;
}

bool Pasteboard::hasType(const QString& type) const { return types().contains(type); }

bool Pasteboard::isEmpty() const { return general_ ? types().isEmpty() : items_.isEmpty(); }

void Pasteboard::declareTypes(const QStringList& types) {
  items_.clear();
  declared_ = types;
  if (general_) publish();
}

void Pasteboard::clearContents() {
  items_.clear();
  declared_.reset();
  if (general_) publish();
}

bool Pasteboard::put(const QString& type, QVariant value) {
  if (declared_ && !declared_->contains(type)) return false;
  if (general_ && !qGuiApp) return false;
  bool replaced = false;
  for (auto& item : items_) {
    if (item.first == type) {
      item.second = std::move(value);
      replaced = true;
      break;
    }
  }
  if (!replaced) items_.append({type, std::move(value)});
  return !general_ || publish();
}

// The clipboard gets a new QMimeData holding exactly what was written.
bool Pasteboard::publish() const {
  if (!qGuiApp) return false;
  auto* contents = new QMimeData;
  for (const auto& [type, value] : items_) {
    if (value.typeId() == QMetaType::QString && type == QLatin1String(NSStringPboardType)) {
      contents->setText(value.toString());
      // Also under the name that browsers and other toolkits ask for by charset.
      contents->setData(QStringLiteral("text/plain;charset=utf-8"), value.toString().toUtf8());
    }
    else if (value.typeId() == QMetaType::QString)
      contents->setData(mimeTypeForType(type), value.toString().toUtf8());
    else
      contents->setData(mimeTypeForType(type), value.toByteArray());
  }
  QGuiApplication::clipboard()->setMimeData(contents, QClipboard::Clipboard);
  return true;
}

bool Pasteboard::setStringForType(const QString& string, const QString& type) {
  if (string.isNull() || type.isEmpty()) return false;
  return put(type, string);
}

QString Pasteboard::stringForType(const QString& type) const {
  if (general_) {
    const QMimeData* contents = clipboardContents();
    if (!contents || type != QLatin1String(NSStringPboardType) || !contents->hasText()) return QString();
    return contents->text();
  }
  for (const auto& item : items_) {
    if (item.first != type) continue;
    if (item.second.typeId() == QMetaType::QString) return item.second.toString();
    return QString();
  }
  return QString();
}

bool Pasteboard::setDataForType(const QByteArray& data, const QString& type) {
  if (data.isNull() || type.isEmpty()) return false;
  return put(type, data);
}

QByteArray Pasteboard::dataForType(const QString& type) const {
  if (general_) {
    const QMimeData* contents = clipboardContents();
    if (!contents) return QByteArray();
    if (type == QLatin1String(NSStringPboardType))
      return contents->hasText() ? contents->text().toUtf8() : QByteArray();
    const QString mimeType = mimeTypeForType(type);
    if (contents->hasFormat(mimeType)) return contents->data(mimeType);
    // Rich text that another program offered under the other RTF name.
    if (type == QLatin1String(NSRTFPboardType) && contents->hasFormat(QStringLiteral("application/rtf")))
      return contents->data(QStringLiteral("application/rtf"));
    return QByteArray();
  }
  for (const auto& item : items_) {
    if (item.first != type) continue;
    if (item.second.typeId() == QMetaType::QString) return item.second.toString().toUtf8();
    return item.second.toByteArray();
  }
  return QByteArray();
}
