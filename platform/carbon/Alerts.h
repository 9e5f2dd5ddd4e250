// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Standard alerts over QMessageBox, and the desktop's beep.
#include "platform/carbon/MacTypes.h"
#include "platform/cf/CFString.h"

class QMessageBox;

typedef SInt16 AlertType;
enum : AlertType { kAlertStopAlert = 0, kAlertNoteAlert = 1, kAlertCautionAlert = 2, kAlertPlainAlert = 3 };
typedef SInt16 DialogItemIndex;
enum : DialogItemIndex {
  kAlertStdAlertOKButton = 1,
  kAlertStdAlertCancelButton = 2,
  kAlertStdAlertOtherButton = 3,
  kAlertStdAlertHelpButton = 4,
};
enum : UInt32 { kStdCFStringAlertVersionOne = 1 };
// Button texts: the system's own OK and Cancel texts.
#define kAlertDefaultOKText ((CFStringRef)(intptr_t)-1)
#define kAlertDefaultCancelText ((CFStringRef)(intptr_t)-1)

struct AlertStdCFStringAlertParamRec {
  UInt32 version;
  Boolean movable;
  Boolean helpButton;
  CFStringRef defaultText;  // null: no such button
  CFStringRef cancelText;
  CFStringRef otherText;
  SInt16 defaultButton;
  SInt16 cancelButton;
  UInt16 position;
  OptionBits flags;
};
typedef AlertStdCFStringAlertParamRec* AlertStdCFStringAlertParamPtr;

struct OpaqueDialogPtr;
typedef OpaqueDialogPtr* DialogRef;
typedef Boolean (*ModalFilterProcPtr)(DialogRef theDialog, void* theEvent, DialogItemIndex* itemHit);
typedef ModalFilterProcPtr ModalFilterUPP;

// paramErr for a null record or another version than kStdCFStringAlertVersionOne.
OSStatus GetStandardAlertDefaultParams(AlertStdCFStringAlertParamPtr param, UInt32 version);
// A modal message box with the kind's icon (stop: the critical icon), the error as its text and
// the explanation (optional) below it. paramErr without an error text or an out pointer;
// kNavInvalidSystemConfigErr without an application object. A null param gives one OK button.
OSStatus CreateStandardAlert(AlertType alertType, CFStringRef error, CFStringRef explanation,
                             const AlertStdCFStringAlertParamRec* param, DialogRef* outAlert);
// Runs the alert until a button is pressed, answers the button's item (1 OK, 2 Cancel, 3 other)
// and disposes of the alert. paramErr for an alert not made by CreateStandardAlert.
OSStatus RunStandardAlert(DialogRef inAlert, ModalFilterUPP filterProc, DialogItemIndex* outItemHit);
// The alert's message box, for tests and callers that need the widget.
QMessageBox* MessageBoxFromDialog(DialogRef alert);

// The desktop's beep; the duration (ticks) is the desktop's own.
void SysBeep(short duration);
