// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Control Manager over Qt widgets. A ControlRef stands for a live widget (line edit,
// label, button, combo box, plain or rich text edit, spin box); a WindowRef for a top-level
// window. A control whose widget has been destroyed answers errUnknownControl, never touches
// freed memory.
#include "platform/carbon/MacTypes.h"
#include "platform/cf/CFString.h"

class QWidget;

struct OpaqueControlRef;
typedef OpaqueControlRef* ControlRef;
typedef ControlRef ControlHandle;
struct OpaqueWindowPtr;
typedef OpaqueWindowPtr* WindowRef;

typedef SInt16 ControlPartCode;
typedef UInt16 EventModifiers;
enum : ControlPartCode { kControlEntireControl = 0 };

enum : OSType {
  kControlEditTextCFStringTag = FOUR_CHAR_CODE("cfst"),  // a CFStringRef (Get: a new one)
  kControlEditTextTextTag = FOUR_CHAR_CODE("text"),      // bytes in the system encoding
  kControlEditTextKeyFilterTag = FOUR_CHAR_CODE("fltr"), // a ControlKeyFilterUPP
  kControlKeyFilterTag = FOUR_CHAR_CODE("fltr"),
};

enum : OSErr {
  errDataNotSupported = -30581,
  errUnknownControl = -30584,
  errDataSizeMismatch = -30591,
  errItemNotControl = -30596,
  errInvalidWindowRef = -5600,
};

typedef SInt16 ControlKeyFilterResult;
enum : ControlKeyFilterResult { kControlKeyFilterBlockKey = 0, kControlKeyFilterPassKey = 1 };
// Called for every key pressed in the control, with the Qt key as key code, the character
// (Unicode, 0 for keys without one) and the classic modifier bits (cmdKey 0x100 for Control,
// shiftKey 0x200, optionKey 0x800 for Alt, controlKey 0x1000 for Meta).
typedef ControlKeyFilterResult (*ControlKeyFilterProcPtr)(ControlRef theControl, SInt16* keyCode,
                                                          SInt16* charCode, EventModifiers* modifiers);
typedef ControlKeyFilterProcPtr ControlKeyFilterUPP;

struct ControlID {
  OSType signature;
  SInt32 id;
};

// The bridge to Qt. A widget's control ID is two dynamic properties, settable in Designer:
// "controlSignature" (four characters) and "controlID" (a number).
ControlRef ControlFromWidget(QWidget* widget);  // null for null
QWidget* WidgetFromControl(ControlRef control);  // null when the widget is gone
WindowRef WindowFromWidget(QWidget* widget);     // the widget's top-level window
QWidget* WidgetFromWindow(WindowRef window);

// paramErr for a null control or a null buffer where one is needed; errDataNotSupported for
// another tag or a widget without text; errDataSizeMismatch for the wrong size of a 'cfst' or
// 'fltr' value. 'text' reads copy at most inBufferSize bytes; *outActualSize is the whole size.
OSErr GetControlData(ControlRef inControl, ControlPartCode inPart, ResType inTagName,
                     Size inBufferSize, void* inBuffer, Size* outActualSize);
OSErr SetControlData(ControlRef inControl, ControlPartCode inPart, ResType inTagName, Size inSize,
                     const void* inData);
// Searches the window's widgets; errItemNotControl when none carries the ID.
OSStatus GetControlByID(WindowRef inWindow, const ControlID* inID, ControlRef* outControl);
OSStatus SetControlID(ControlRef inControl, const ControlID* inID);
OSStatus GetControlID(ControlRef inControl, ControlID* outID);
// Repaints the widget now.
void Draw1Control(ControlRef theControl);
