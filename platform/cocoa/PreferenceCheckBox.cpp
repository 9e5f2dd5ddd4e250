// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/cocoa/PreferenceCheckBox.h"

#include "platform/cocoa/Application.h"
#include "platform/cocoa/UserDefaults.h"

PreferenceCheckBox::PreferenceCheckBox(QWidget* parent) : PreferenceCheckBox(QString(), parent) {}

PreferenceCheckBox::PreferenceCheckBox(const QString& text, QWidget* parent)
    : QCheckBox(text, parent) {
  setTristate(false);
  connect(this, &QAbstractButton::clicked, this, &PreferenceCheckBox::onClicked);
}

void PreferenceCheckBox::setDefaultsKey(const QString& key) {
  key_ = key;
  refreshFromDefaults();
}

void PreferenceCheckBox::setDefaultValue(bool value) {
  defaultValue_ = value;
  refreshFromDefaults();
}

bool PreferenceCheckBox::storedValue() const {
  if (key_.isEmpty()) return defaultValue_;
  // Read as the controller's accessors read it, so the box and the behaviour agree.
  const QVariant value = UserDefaults::standardUserDefaults().objectForKey(key_);
  return value.isValid() ? UserDefaults::boolValue(value) : defaultValue_;
}

void PreferenceCheckBox::refreshFromDefaults() {
  if (key_.isEmpty()) return;
  // Showing the stored state is not a click: no action, no write.
  const QSignalBlocker blocker(this);
  setChecked(storedValue());
}

void PreferenceCheckBox::showEvent(QShowEvent* event) {
  refreshFromDefaults();
  QCheckBox::showEvent(event);
}

void PreferenceCheckBox::onClicked(bool checked) {
  if (!key_.isEmpty()) UserDefaults::standardUserDefaults().setBool(checked, key_);
  if (!action_.isEmpty()) Application::shared().sendAction(action_.toUtf8().constData(), this);
}
