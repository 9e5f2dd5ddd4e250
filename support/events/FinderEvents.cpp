// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/events/FinderEvents.h"

#include <cstring>

#include "platform/carbon/Aliases.h"
#include "platform/carbon/Memory.h"
#include "support/files/FileManagerUtilities.h"

namespace aeutil {

namespace {

const OSType kFinderType = FOUR_CHAR_CODE("FNDR");
const OSType kFinderCreator = FOUR_CHAR_CODE("MACS");
const OSErr kNoURLErr = -4960;

}  // namespace

OSErr DisposeDescriptor(AEDesc* desc) {
  if (!desc) return paramErr;
  const OSErr err = AEDisposeDesc(desc);
  AEInitializeDesc(desc);
  return err;
}

OSErr FindProcessBySignature(OSType creator, OSType type, ProcessSerialNumber* psn) {
  if (!psn) return paramErr;
  ProcessSerialNumber current{0, kNoProcess};
  OSErr err;
  while ((err = GetNextProcess(&current)) == noErr) {
    ProcessInfoRec info{};
    info.processInfoLength = 60;
    if (GetProcessInformation(&current, &info) == noErr && info.processSignature == creator &&
        info.processType == type) {
      *psn = current;
      return noErr;
    }
  }
  return err;
}

OSErr CreateEventForSignature(OSType type, OSType creator, AEEventClass eventClass, AEEventID eventID,
                              AppleEvent* event) {
  if (!event) return paramErr;
  AEInitializeDesc(event);
  ProcessSerialNumber psn;
  if (OSErr err = FindProcessBySignature(creator, type, &psn)) return err;
  AEAddressDesc address;
  if (OSErr err = AECreateDesc(typeProcessSerialNumber, &psn, sizeof psn, &address)) return err;
  const OSErr err = AECreateAppleEvent(eventClass, eventID, &address, kAutoGenerateReturnID, kAnyTransactionID, event);
  AEDisposeDesc(&address);
  return err;
}

OSErr GetReplyErrorNumber(const AppleEvent* reply) {
  if (!reply || reply->descriptorType == typeNull) return noErr;
  SInt16 number = 0;
  const OSErr err = AEGetParamPtr(reply, keyErrorNumber, typeSInt16, nullptr, &number, sizeof number, nullptr);
  if (err == errAEDescNotFound) return noErr;
  return err ? err : number;
}

OSErr SendEventNoReturn(AEIdleUPP idleProc, const AppleEvent* event) {
  AppleEvent reply;
  AEInitializeDesc(&reply);
  const AESendMode mode = idleProc ? kAEWaitReply : kAENoReply;
  OSErr err = AESend(event, &reply, mode, kAENormalPriority, kNoTimeOut, idleProc, nullptr);
  if (err == noErr && idleProc) err = GetReplyErrorNumber(&reply);
  AEDisposeDesc(&reply);
  return err;
}

OSErr SendEventReturnData(AEIdleUPP idleProc, const AppleEvent* event, DescType desiredType, AEDesc* result) {
  if (!idleProc || !result) return paramErr;
  AEInitializeDesc(result);
  AppleEvent reply;
  AEInitializeDesc(&reply);
  OSErr err = AESend(event, &reply, kAEWaitReply, kAENormalPriority, kNoTimeOut, idleProc, nullptr);
  if (err) return err;
  err = GetReplyErrorNumber(&reply);
  if (!err && reply.descriptorType != typeNull) err = AEGetParamDesc(&reply, keyDirectObject, desiredType, result);
  AEDisposeDesc(&reply);
  return err;
}

OSErr MakeItemObjectSpecifier(const FSRef* item, AEDesc* specifier) {
  if (!item || !specifier) return paramErr;
  AEInitializeDesc(specifier);
  // The HFS path from the catalog: "Volume:Folder:Item", a folder's ending in ":".
  FSSpec spec;
  FSCatalogInfo info;
  if (FSGetCatalogInfo(item, kFSCatInfoNodeFlags, &info, nullptr, &spec, nullptr) != noErr) return kNoURLErr;
  SInt16 length = 0;
  Handle path = nullptr;
  if (fsutil::GetFullPathOfSpec(&spec, &length, &path) != noErr || !path) return kNoURLErr;
  const bool folder = info.nodeFlags & kFSNodeIsDirectoryMask;
  CFStringRef text = CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8*>(*path), length,
                                             kCFStringEncodingUTF8, false);
  DisposeHandle(path);
  if (!text) return kNoURLErr;
  AEDesc name;
  OSErr err = CreateUnicodeTextDesc(text, &name);
  CFRelease(text);
  if (err) return err;
  AEDesc container;
  AEInitializeDesc(&container);
  err = CreateObjSpecifier(folder ? cObject : cFile, &container, formName, &name, false, specifier);
  AEDisposeDesc(&name);
  return err;
}

OSErr CreateUnicodeTextDesc(CFStringRef string, AEDesc* desc) {
  if (!string || !desc) return paramErr;
  AEInitializeDesc(desc);
  const CFIndex length = CFStringGetLength(string);
  Ptr units = NewPtr(Size((length ? length : 1) * 2));
  if (!units) return MemError() ? MemError() : OSErr(memFullErr);
  CFStringGetCharacters(string, CFRangeMake(0, length), reinterpret_cast<UniChar*>(units));
  const OSErr err = AECreateDesc(typeUnicodeText, units, Size(length * 2), desc);
  DisposePtr(units);
  return err;
}

OSErr CopyStringFromDesc(const AEDesc* desc, CFStringRef* string) {
  if (!string) return paramErr;
  AEDesc text;
  if (OSErr err = AECoerceDesc(desc, typeUnicodeText, &text)) return err;
  if (text.descriptorType == typeUnicodeText) {
    const Size size = AEGetDescDataSize(&text);
    Ptr block = NewPtr(size ? size : 1);
    if (!block) {
      AEDisposeDesc(&text);
      return memFullErr;
    }
    AEGetDescData(&text, block, size);
    *string = CFStringCreateWithCharacters(nullptr, reinterpret_cast<UniChar*>(block), size / 2);
    DisposePtr(block);
  }
  AEDisposeDesc(&text);
  return noErr;
}

OSErr NotifyFinderOfChange(const FSRef* item) {
  AliasHandle alias = nullptr;
  if (OSErr err = FSNewAlias(nullptr, item, &alias)) return err;
  AppleEvent event;
  OSErr err = CreateEventForSignature(kFinderType, kFinderCreator, kAEFinderEvents, kAEUpdate, &event);
  if (!err) {
    AEDesc direct;
    err = AECreateDesc(typeAlias, *alias, GetHandleSize(reinterpret_cast<Handle>(alias)), &direct);
    if (!err) err = AEPutParamDesc(&event, keyDirectObject, &direct);
    AEDisposeDesc(&direct);
    if (!err) err = SendEventNoReturn(nullptr, &event);
  }
  AEDisposeDesc(&event);
  DisposeHandle(reinterpret_cast<Handle>(alias));
  return err;
}

OSErr GetFinderCommentEvent(const FSRef* item, CFStringRef* comment, AEIdleUPP idleProc) {
  if (!idleProc) return paramErr;
  AEDesc specifier;
  if (OSErr err = MakeItemObjectSpecifier(item, &specifier)) return err;
  AppleEvent event;
  OSErr err = AEBuildAppleEvent(kAECoreSuite, kAEGetData, typeApplSignature, &kFinderCreator, sizeof kFinderCreator,
                                kAutoGenerateReturnID, kAnyTransactionID, &event, nullptr,
                                "'----':obj {form:prop,want:type(prop),seld:type(comt),from:(@)}", &specifier);
  AEDisposeDesc(&specifier);
  if (err) return err;
  AEDesc text;
  err = SendEventReturnData(idleProc, &event, typeUnicodeText, &text);
  AEDisposeDesc(&event);
  if (!err) err = CopyStringFromDesc(&text, comment);
  AEDisposeDesc(&text);
  return err;
}

OSErr SetFinderCommentEvent(const FSRef* item, CFStringRef comment, AEIdleUPP idleProc) {
  AEDesc specifier, text;
  AEInitializeDesc(&text);
  OSErr err = MakeItemObjectSpecifier(item, &specifier);
  if (!err) err = CreateUnicodeTextDesc(comment, &text);
  AppleEvent event;
  AEInitializeDesc(&event);
  if (!err)
    err = AEBuildAppleEvent(kAECoreSuite, kAESetData, typeApplSignature, &kFinderCreator, sizeof kFinderCreator,
                            kAutoGenerateReturnID, kAnyTransactionID, &event, nullptr,
                            "'----':obj {form:prop,want:type(prop),seld:type(comt),from:(@)},data:(@)", &specifier,
                            &text);
  AEDisposeDesc(&specifier);
  if (!err) err = SendEventNoReturn(idleProc, &event);
  AEDisposeDesc(&event);
  AEDisposeDesc(&text);
  return err;
}

}  // namespace aeutil
