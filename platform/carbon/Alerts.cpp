// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/carbon/Alerts.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QSet>

#include "platform/carbon/Navigation.h"
#include "platform/cf/CFQt.h"

namespace {

// Every alert made and not yet run, so that a foreign pointer is refused.
QSet<QMessageBox*>& alerts() {
  static QSet<QMessageBox*> live;
  return live;
}

QString buttonText(CFStringRef text, QMessageBox::StandardButton standard) {
  if (text == kAlertDefaultOKText) return QApplication::translate("QPlatformTheme", standard == QMessageBox::Ok ? "OK" : "Cancel");
  return CFStringToQString(text);
}

}  // namespace

OSStatus GetStandardAlertDefaultParams(AlertStdCFStringAlertParamPtr param, UInt32 version) {
  if (!param || version != kStdCFStringAlertVersionOne) return paramErr;
  *param = AlertStdCFStringAlertParamRec{};
  param->version = version;
  param->defaultText = kAlertDefaultOKText;
  param->defaultButton = kAlertStdAlertOKButton;
  return noErr;
}

OSStatus CreateStandardAlert(AlertType alertType, CFStringRef error, CFStringRef explanation,
                             const AlertStdCFStringAlertParamRec* param, DialogRef* outAlert) {
  if (!outAlert) return paramErr;
  *outAlert = nullptr;
  if (!error || alertType < kAlertStopAlert || alertType > kAlertPlainAlert) return paramErr;
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return kNavInvalidSystemConfigErr;
  AlertStdCFStringAlertParamRec defaults;
  GetStandardAlertDefaultParams(&defaults, kStdCFStringAlertVersionOne);
  if (!param) param = &defaults;

  auto* box = new QMessageBox(QApplication::activeWindow());
  box->setObjectName(QStringLiteral("StandardAlert"));
  static const QMessageBox::Icon icons[] = {QMessageBox::Critical, QMessageBox::Information,
                                            QMessageBox::Warning, QMessageBox::NoIcon};
  box->setIcon(icons[alertType]);
  box->setText(CFStringToQString(error));
  if (explanation) box->setInformativeText(CFStringToQString(explanation));
  // Items 1, 2, 3 ride on the buttons' roles; QMessageBox orders them as the desktop does.
  QPushButton* buttons[4] = {};
  if (param->defaultText)
    buttons[kAlertStdAlertOKButton] = box->addButton(buttonText(param->defaultText, QMessageBox::Ok), QMessageBox::AcceptRole);
  if (param->cancelText)
    buttons[kAlertStdAlertCancelButton] =
        box->addButton(buttonText(param->cancelText, QMessageBox::Cancel), QMessageBox::RejectRole);
  if (param->otherText)
    buttons[kAlertStdAlertOtherButton] = box->addButton(CFStringToQString(param->otherText), QMessageBox::DestructiveRole);
  for (DialogItemIndex item = 1; item <= 3; ++item)
    if (buttons[item]) buttons[item]->setProperty("alertItem", int(item));
  if (param->defaultButton >= 1 && param->defaultButton <= 3 && buttons[param->defaultButton])
    box->setDefaultButton(buttons[param->defaultButton]);
  if (param->cancelButton >= 1 && param->cancelButton <= 3 && buttons[param->cancelButton])
    box->setEscapeButton(buttons[param->cancelButton]);
  alerts().insert(box);
  *outAlert = reinterpret_cast<DialogRef>(box);
  return noErr;
}

QMessageBox* MessageBoxFromDialog(DialogRef alert) {
  auto* box = reinterpret_cast<QMessageBox*>(alert);
  return alerts().contains(box) ? box : nullptr;
}

OSStatus RunStandardAlert(DialogRef inAlert, ModalFilterUPP, DialogItemIndex* outItemHit) {
  QMessageBox* box = MessageBoxFromDialog(inAlert);
  if (!box) return paramErr;
  box->exec();
  DialogItemIndex item = 0;
  if (QAbstractButton* clicked = box->clickedButton()) item = DialogItemIndex(clicked->property("alertItem").toInt());
  alerts().remove(box);
  delete box;
  if (outItemHit) *outItemHit = item;
  return noErr;
}

void SysBeep(short) {
  if (qobject_cast<QApplication*>(QCoreApplication::instance())) QApplication::beep();
}
