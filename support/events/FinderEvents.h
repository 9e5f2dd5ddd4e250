// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Apple Event utility library: the Finder's update and comment events, with the descriptor
// and sending routines beneath them. Names live in the namespace aeutil.
#include "platform/carbon/AppleEvents.h"
#include "platform/cf/CFString.h"

namespace aeutil {

OSErr DisposeDescriptor(AEDesc* desc);
OSErr FindProcessBySignature(OSType creator, OSType type, ProcessSerialNumber* psn);
OSErr CreateEventForSignature(OSType type, OSType creator, AEEventClass eventClass, AEEventID eventID,
                              AppleEvent* event);
// Waits for the reply (and answers its error number) only when an idle procedure is given.
OSErr SendEventNoReturn(AEIdleUPP idleProc, const AppleEvent* event);
OSErr SendEventReturnData(AEIdleUPP idleProc, const AppleEvent* event, DescType desiredType, AEDesc* result);
OSErr GetReplyErrorNumber(const AppleEvent* reply);
// "cobj" (folder, its HFS path ending in ":") or "file" named by the item's HFS path.
OSErr MakeItemObjectSpecifier(const FSRef* item, AEDesc* specifier);
OSErr CreateUnicodeTextDesc(CFStringRef string, AEDesc* desc);
OSErr CopyStringFromDesc(const AEDesc* desc, CFStringRef* string);
// procNotFound, sending nothing, when no Finder runs.
OSErr NotifyFinderOfChange(const FSRef* item);
OSErr GetFinderCommentEvent(const FSRef* item, CFStringRef* comment, AEIdleUPP idleProc);
OSErr SetFinderCommentEvent(const FSRef* item, CFStringRef comment, AEIdleUPP idleProc);

}  // namespace aeutil
