// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Control text and key filters, the choose-folder and choose-files dialogs, and the stop alert.
#include "platform/carbon/Alerts.h"
#include "platform/carbon/Controls.h"
#include "platform/carbon/Navigation.h"

// Each answers paramErr (-50) for a null control, buffer or procedure; a set redraw flag
// repaints the control after a successful change.
CFStringRef CopyControlCFString(ControlRef control);  // null for a null control
OSErr SetControlCFString(ControlRef control, CFStringRef text, Boolean redraw);
OSErr SetControlPascalText(ControlRef control, ConstStr255Param text, Boolean redraw);
// 0 and nothing changed when the text does not convert to the system encoding.
OSErr SetControlTextFromCFString(ControlRef control, CFStringRef text, Boolean redraw);
// At most 255 bytes; the length byte says how many.
OSErr GetControlPascalText(ControlRef control, StringPtr text);
OSErr SetControlKeyFilter(ControlRef control, ControlKeyFilterUPP filter);
ControlRef FindControlByID(WindowRef window, OSType signature, SInt32 number);

// The Navigation Services result; *folder gets the first chosen item.
OSStatus ChooseFolder(const FSSpec* defaultLocation, Boolean showMessage, FSSpec* folder,
                      NavObjectFilterUPP filter);
// A pointer block (NewPtr) of one 70-byte FSSpec per chosen file, or null when cancelled or
// failed; the caller disposes of it. A message is shown cut to 255 bytes.
Ptr ChooseFiles(const FSSpec* defaultLocation, const char* message);
// Beeps and shows a stop alert with one OK button; answers RunStandardAlert's result.
OSStatus ShowStopAlert(CFStringRef error, CFStringRef explanation);
