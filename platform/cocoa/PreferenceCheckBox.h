// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A preferences check box that keeps its state in the user defaults: clicking it stores the new
// state under its key as a boolean, and only then sends its action (by default
// "preferencesItemChanged") through the application, so the receiver reads the new value.
// Shown, it reflects the stored value, or its default while the key is absent.
//
// In an interface file, set the dynamic properties "defaultsKey" (string) and "defaultValue"
// (bool), and optionally "action" (a selector name).
#include <QCheckBox>
#include <QString>

class PreferenceCheckBox : public QCheckBox {
  Q_OBJECT
  Q_PROPERTY(QString defaultsKey READ defaultsKey WRITE setDefaultsKey)
  Q_PROPERTY(bool defaultValue READ defaultValue WRITE setDefaultValue)
  Q_PROPERTY(QString action READ action WRITE setAction)
 public:
  explicit PreferenceCheckBox(QWidget* parent = nullptr);
  explicit PreferenceCheckBox(const QString& text, QWidget* parent = nullptr);

  QString defaultsKey() const { return key_; }
  void setDefaultsKey(const QString& key);
  bool defaultValue() const { return defaultValue_; }
  void setDefaultValue(bool value);
  QString action() const { return action_; }
  void setAction(const QString& selector) { action_ = selector; }

  // The value stored under the key, or the default when it is absent.
  bool storedValue() const;
  // Shows the stored value (done on every show).
  void refreshFromDefaults();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void onClicked(bool checked);

  QString key_;
  bool defaultValue_ = false;
  QString action_ = QStringLiteral("preferencesItemChanged");
};
