// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/DialogsAndControls.h"

#include <cstring>

#include "foundation/LocalizedStrings.h"
#include "platform/carbon/Memory.h"

namespace {

OSErr redrawn(ControlRef control, OSErr err, Boolean redraw) {
  if (err == noErr && redraw) Draw1Control(control);
  return err;
}

// The localized label as a Pascal string; the English text when the conversion fails. False
// when the lookup answers nothing.
bool labelFor(const char* english, Str255 out) {
  CFStringRef localized = GetLocalizedStringForCString(english);
  if (!localized) return false;
  if (!CFStringGetPascalString(localized, out, 255, CFStringGetSystemEncoding())) {
    const std::size_t length = std::strlen(english);
    out[0] = UInt8(length);
    std::memcpy(out + 1, english, length);
  }
  return true;
}

// An 'fss ' descriptor of the FSSpec; the null descriptor when there is none.
AEDesc locationOf(const FSSpec* spec) {
  AEDesc desc;
  AEInitializeDesc(&desc);
  if (spec && AECreateDesc(typeFSS, spec, sizeof *spec, &desc) != noErr) AEInitializeDesc(&desc);
  return desc;
}

}  // namespace

CFStringRef CopyControlCFString(ControlRef control) {
  if (!control) return nullptr;
  CFStringRef text = nullptr;
  if (GetControlData(control, kControlEntireControl, kControlEditTextCFStringTag, sizeof text, &text, nullptr))
    return nullptr;
  return text;
}

OSErr SetControlCFString(ControlRef control, CFStringRef text, Boolean redraw) {
  if (!control || !text) return paramErr;
  return redrawn(control, SetControlData(control, kControlEntireControl, kControlEditTextCFStringTag, sizeof text, &text),
                 redraw);
}

OSErr SetControlPascalText(ControlRef control, ConstStr255Param text, Boolean redraw) {
  if (!control || !text) return paramErr;
  return redrawn(control, SetControlData(control, kControlEntireControl, kControlEditTextTextTag, text[0], text + 1),
                 redraw);
}

OSErr SetControlTextFromCFString(ControlRef control, CFStringRef text, Boolean redraw) {
  if (!control || !text) return paramErr;
  char buffer[256];
  if (!CFStringGetCString(text, buffer, sizeof buffer, CFStringGetSystemEncoding())) return noErr;
  Str255 pascal;
  const std::size_t length = std::strlen(buffer);
  pascal[0] = UInt8(length);
  std::memcpy(pascal + 1, buffer, length);
  return SetControlPascalText(control, pascal, redraw);
}

OSErr GetControlPascalText(ControlRef control, StringPtr text) {
  if (!control || !text) return paramErr;
  Size size = 0;
  const OSErr err = GetControlData(control, kControlEntireControl, kControlEditTextTextTag, 255, text + 1, &size);
  if (err == noErr) text[0] = UInt8(std::min<Size>(size, 255));
  return err;
}

OSErr SetControlKeyFilter(ControlRef control, ControlKeyFilterUPP filter) {
  if (!control || !filter) return paramErr;
  return SetControlData(control, kControlEntireControl, kControlEditTextKeyFilterTag, sizeof filter, &filter);
}

ControlRef FindControlByID(WindowRef window, OSType signature, SInt32 number) {
  const ControlID id{signature, number};
  ControlRef control = nullptr;
  return GetControlByID(window, &id, &control) == noErr ? control : nullptr;
}

OSStatus ChooseFolder(const FSSpec* defaultLocation, Boolean showMessage, FSSpec* folder,
                      NavObjectFilterUPP filter) {
  NavDialogOptions options;
  NavGetDefaultDialogOptions(&options);
  std::memcpy(options.windowTitle, "\6Choose", 7);
  if (showMessage) labelFor("Choose folder", options.message);
  labelFor("Choose", options.actionButtonLabel);
  AEDesc location = locationOf(defaultLocation);
  NavReplyRecord reply;
  OSStatus result = NavChooseFolder(location.descriptorType != typeNull ? &location : nullptr, &reply, &options, nullptr,
                                    filter, nullptr);
  AEDisposeDesc(&location);
  if (result == noErr && reply.validRecord) {
    FSSpec chosen;
    AEKeyword keyword;
    DescType type;
    Size size;
    if (AEGetNthPtr(&reply.selection, 1, typeFSS, &keyword, &type, &chosen, sizeof chosen, &size) == noErr && folder)
      *folder = chosen;
    result = NavDisposeReply(&reply);
  }
  return result;
}

Ptr ChooseFiles(const FSSpec* defaultLocation, const char* message) {
  NavDialogOptions options;
  NavGetDefaultDialogOptions(&options);
  options.dialogOptionFlags |= kNavAllowMultipleFiles;
  if (message) {
    // A longer message would overrun the 255 bytes after the length byte: it is cut, never
    // inside a character.
    std::size_t length = strnlen(message, 256);
    if (length > 255) {
      length = 255;
      while (length > 0 && (UInt8(message[length]) & 0xC0) == 0x80) --length;
    }
    options.message[0] = UInt8(length);
    std::memcpy(options.message + 1, message, length);
  }
  AEDesc location = locationOf(defaultLocation);
  NavReplyRecord reply;
  const OSStatus result = NavChooseFile(location.descriptorType != typeNull ? &location : nullptr, &reply, &options, nullptr,
                                        nullptr, nullptr, nullptr, nullptr);
  AEDisposeDesc(&location);
  if (result != noErr || !reply.validRecord) return nullptr;
  Ptr block = nullptr;
  long count = 0;
  if (AECountItems(&reply.selection, &count) == noErr && (block = NewPtr(count * Size(sizeof(FSSpec))))) {
    for (long index = 1; index <= count; ++index) {
      AEKeyword keyword;
      DescType type;
      Size size;
      if (AEGetNthPtr(&reply.selection, index, typeFSS, &keyword, &type, block + (index - 1) * sizeof(FSSpec),
                      sizeof(FSSpec), &size))
        break;
    }
  }
  NavDisposeReply(&reply);
  return block;
}

OSStatus ShowStopAlert(CFStringRef error, CFStringRef explanation) {
  SysBeep(30);
  AlertStdCFStringAlertParamRec param;
  GetStandardAlertDefaultParams(&param, kStdCFStringAlertVersionOne);
  param.defaultText = kAlertDefaultOKText;
  param.defaultButton = kAlertStdAlertOKButton;
  DialogRef alert;
  if (OSStatus err = CreateStandardAlert(kAlertStopAlert, error, explanation, &param, &alert)) return err;
  return RunStandardAlert(alert, nullptr, nullptr);
}
