#pragma once
// A pasteboard: data under type names, in the order in which the types were first given. The
// Services receiver hands one to its provider with the text that was sent.
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <utility>

// Plain text.
inline constexpr char NSStringPboardType[] = "NSStringPboardType";

class Pasteboard {
 public:
  Pasteboard() = default;

  // A pasteboard holding `text` as plain text; an empty or null text gives one without text.
  static Pasteboard withText(const QString& text);

  QStringList types() const;
  bool hasType(const QString& type) const;

  // False, and nothing stored, for a null string or an empty type.
  bool setStringForType(const QString& string, const QString& type);
  // A null QString when the type is absent or holds no text.
  QString stringForType(const QString& type) const;

  bool setDataForType(const QByteArray& data, const QString& type);
  // Text types answer their text in UTF-8; a null QByteArray when absent.
  QByteArray dataForType(const QString& type) const;

  void clearContents() { items_.clear(); }
  bool isEmpty() const { return items_.isEmpty(); }

 private:
  void put(const QString& type, QVariant value);
  QList<std::pair<QString, QVariant>> items_;
};
