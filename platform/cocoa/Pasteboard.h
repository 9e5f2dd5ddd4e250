// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A pasteboard: data under type names, in the order in which the types were first given. The
// Services receiver hands one to its provider with the text that was sent; the general
// pasteboard is the system clipboard.
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <optional>
#include <utility>

// Plain text.
inline constexpr char NSStringPboardType[] = "NSStringPboardType";
// Rich text (RTF).
inline constexpr char NSRTFPboardType[] = "NSRTFPboardType";
// HTML, as UTF-8.
inline constexpr char NSHTMLPboardType[] = "NSHTMLPboardType";

class Pasteboard {
 public:
  Pasteboard() = default;

  // A pasteboard holding `text` as plain text; an empty or null text gives one without text.
  static Pasteboard withText(const QString& text);

  // The system clipboard (QClipboard's Clipboard mode; needs a QGuiApplication). Reading shows
  // whatever the clipboard holds, under the types of its MIME types. Each write replaces the
  // clipboard's contents with the types written since the last declareTypes or clearContents,
  // each under its MIME type (plain text also as "text/plain;charset=utf-8"): nothing else.
  static Pasteboard& generalPasteboard();
  bool isGeneral() const { return general_; }

  // Empties the pasteboard; until it is emptied again, only these types can be written.
  void declareTypes(const QStringList& types);

  // How a type travels on the system clipboard: plain text as "text/plain", rich text as
  // "text/rtf", HTML as "text/html", a MIME type as itself, any other name under a private
  // MIME type. And back.
  static QString mimeTypeForType(const QString& type);
  static QString typeForMimeType(const QString& mimeType);

  QStringList types() const;
  bool hasType(const QString& type) const;

  // False, and nothing stored, for a null string, an empty type, a type left out of the last
  // declareTypes, or a general pasteboard without a clipboard.
  bool setStringForType(const QString& string, const QString& type);
  // A null QString when the type is absent or holds no text.
  QString stringForType(const QString& type) const;

  bool setDataForType(const QByteArray& data, const QString& type);
  // Text types answer their text in UTF-8; a null QByteArray when absent.
  QByteArray dataForType(const QString& type) const;

  void clearContents();
  bool isEmpty() const;

 private:
  bool put(const QString& type, QVariant value);
  bool publish() const;
  QList<std::pair<QString, QVariant>> items_;
  std::optional<QStringList> declared_;
  bool general_ = false;
};
