// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Navigation Services over Qt's file dialogs: the choose-folder and choose-file dialogs, run
// modally. Where the desktop offers a native (portal) dialog Qt uses it; the widget dialog is
// used otherwise and whenever an object filter is given. The selection of a reply is an Apple
// event list of 'fss ' descriptors.
#include "platform/carbon/AppleEvents.h"
#include "platform/carbon/Files.h"
#include "platform/cf/CFString.h"

typedef UInt32 NavDialogOptionFlags;
enum : NavDialogOptionFlags {
  kNavNoTypePopup = 0x00000001,
  kNavDontAutoTranslate = 0x00000002,
  kNavDontAddTranslateItems = 0x00000004,
  kNavAllFilesInPopup = 0x00000010,
  kNavAllowStationery = 0x00000020,
  kNavAllowPreviews = 0x00000040,
  kNavAllowMultipleFiles = 0x00000080,
  kNavAllowInvisibleFiles = 0x00000100,
  kNavDefaultNavDlogOptions = kNavDontAddTranslateItems | kNavAllowPreviews,
};
enum : UInt16 { kNavDialogOptionsVersion = 0, kNavReplyRecordVersion = 2 };
enum : OSStatus {
  kNavWrongDialogStateErr = -5694,
  kNavInvalidSystemConfigErr = -5696,  // no application object to show a dialog with
};

#pragma pack(push, 2)
struct NavDialogOptions {
  UInt16 version;
  NavDialogOptionFlags dialogOptionFlags;
  SInt16 locationV, locationH;  // a Point; -1, -1: the default place
  Str255 clientName;
  Str255 windowTitle;
  Str255 actionButtonLabel;
  Str255 cancelButtonLabel;
  Str255 message;
  UInt32 preferenceKey;
  Handle popupExtension;
  char reserved[494];
};

struct NavReplyRecord {
  UInt16 version;
  Boolean validRecord;
  Boolean replacing;
  Boolean isStationery;
  Boolean translationNeeded;
  AEDescList selection;  // 'fss ' items
  SInt16 keyScript;
  Handle fileTranslation;
  UInt32 reserved1;
  CFStringRef saveFileName;
  Boolean saveFileExtensionHidden;
  UInt8 reserved2;
  char reserved[225];
};
#pragma pack(pop)

typedef SInt16 NavFilterModes;
enum : NavFilterModes { kNavFilteringBrowserList = 0 };
typedef SInt32 NavEventCallbackMessage;
// Called for each item the dialog would list, as an 'fss ' descriptor; false hides it.
typedef Boolean (*NavObjectFilterProcPtr)(AEDesc* theItem, void* info, void* callBackUD,
                                          NavFilterModes filterMode);
typedef NavObjectFilterProcPtr NavObjectFilterUPP;
typedef void (*NavEventProcPtr)(NavEventCallbackMessage callBackSelector, void* callBackParms, void* callBackUD);
typedef NavEventProcPtr NavEventUPP;
typedef Boolean (*NavPreviewProcPtr)(void* callBackParms, void* callBackUD);
typedef NavPreviewProcPtr NavPreviewUPP;
typedef Handle NavTypeListHandle;

// Title, message and labels empty (the dialog's own), default flags.
OSErr NavGetDefaultDialogOptions(NavDialogOptions* dialogOptions);
// noErr with a valid reply holding the chosen items; userCanceledErr when the user cancels.
// The default location, an 'fss ' descriptor of a folder (shown) or a file (selected), is
// ignored when it names nothing.
OSErr NavChooseFolder(const AEDesc* defaultLocation, NavReplyRecord* reply, NavDialogOptions* dialogOptions,
                      NavEventUPP eventProc, NavObjectFilterUPP filterProc, void* callBackUD);
OSErr NavChooseFile(const AEDesc* defaultLocation, NavReplyRecord* reply, NavDialogOptions* dialogOptions,
                    NavEventUPP eventProc, NavPreviewUPP previewProc, NavObjectFilterUPP filterProc,
                    NavTypeListHandle typeList, void* callBackUD);
OSErr NavDisposeReply(NavReplyRecord* reply);
