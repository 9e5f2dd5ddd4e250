#include "platform/cocoa/Pasteboard.h"

Pasteboard Pasteboard::withText(const QString& text) {
  Pasteboard pasteboard;
  if (!text.isEmpty()) pasteboard.setStringForType(text, NSStringPboardType);
  return pasteboard;
}

QStringList Pasteboard::types() const {
  QStringList types;
  for (const auto& item : items_) types << item.first;
  return types;
}

bool Pasteboard::hasType(const QString& type) const {
  for (const auto& item : items_)
    if (item.first == type) return true;
  return false;
}

void Pasteboard::put(const QString& type, QVariant value) {
  for (auto& item : items_) {
    if (item.first == type) {
      item.second = std::move(value);
      return;
    }
  }
  items_.append({type, std::move(value)});
}

bool Pasteboard::setStringForType(const QString& string, const QString& type) {
  if (string.isNull() || type.isEmpty()) return false;
  put(type, string);
  return true;
}

QString Pasteboard::stringForType(const QString& type) const {
  for (const auto& item : items_) {
    if (item.first != type) continue;
    if (item.second.typeId() == QMetaType::QString) return item.second.toString();
    return QString();
  }
  return QString();
}

bool Pasteboard::setDataForType(const QByteArray& data, const QString& type) {
  if (data.isNull() || type.isEmpty()) return false;
  put(type, data);
  return true;
}

QByteArray Pasteboard::dataForType(const QString& type) const {
  for (const auto& item : items_) {
    if (item.first != type) continue;
    if (item.second.typeId() == QMetaType::QString) return item.second.toString().toUtf8();
    return item.second.toByteArray();
  }
  return QByteArray();
}
