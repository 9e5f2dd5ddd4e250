// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Apple Event Manager: descriptors, lists, records, Apple events, coercions, object
// specifiers, the AEBuild template language, and sending events between our processes.
//
// A descriptor's data handle holds its bytes; a list, record or Apple event holds its items in
// the flattened form below, so nested descriptors need no pointers and an event travels as its
// bytes. Flattened descriptor: type (4), length (4), data, all big-endian. List data: count (4),
// then per item type, length, data. Record data: count (4), then per item keyword, type,
// length, data. Apple event data: class, ID, return ID, transaction ID (4 each), the address
// (type, length, data), then the attributes and the parameters as two records' data.
//
// Events travel over the registered local sockets (see Processes.h) and are dispatched to the
// installed handlers in the receiving process's event loop: on the Qt application's thread when
// a QCoreApplication exists, else when the process calls AEProcessPendingEvents.
#include <cstdarg>

#include "platform/carbon/Files.h"
#include "platform/carbon/Processes.h"

typedef FourCharCode DescType;
typedef FourCharCode AEKeyword;
typedef FourCharCode AEEventClass;
typedef FourCharCode AEEventID;
typedef Handle AEDataStorage;
typedef SInt16 AEReturnID;
typedef SInt32 AETransactionID;
typedef SInt32 AESendMode;
typedef SInt16 AESendPriority;
typedef long SRefCon;

struct AEDesc {
  DescType descriptorType;
  AEDataStorage dataHandle;
};
typedef AEDesc AEDescList;
typedef AEDesc AERecord;
typedef AEDesc AEAddressDesc;
typedef AEDesc AppleEvent;
typedef AppleEvent* AppleEventPtr;

enum : DescType {
  typeNull = FOUR_CHAR_CODE("null"),
  typeWildCard = FOUR_CHAR_CODE("****"),
  typeAEList = FOUR_CHAR_CODE("list"),
  typeAERecord = FOUR_CHAR_CODE("reco"),
  typeAppleEvent = FOUR_CHAR_CODE("aevt"),
  typeSInt16 = FOUR_CHAR_CODE("shor"),
  typeSInt32 = FOUR_CHAR_CODE("long"),
  typeBoolean = FOUR_CHAR_CODE("bool"),
  typeTrue = FOUR_CHAR_CODE("true"),
  typeFalse = FOUR_CHAR_CODE("fals"),
  typeChar = FOUR_CHAR_CODE("TEXT"),
  typeUnicodeText = FOUR_CHAR_CODE("utxt"),
  typeUTF8Text = FOUR_CHAR_CODE("utf8"),
  typeType = FOUR_CHAR_CODE("type"),
  typeEnumerated = FOUR_CHAR_CODE("enum"),
  typeKeyword = FOUR_CHAR_CODE("keyw"),
  typeFSS = FOUR_CHAR_CODE("fss "),
  typeFSRef = FOUR_CHAR_CODE("fsrf"),
  typeAlias = FOUR_CHAR_CODE("alis"),
  typeObjectSpecifier = FOUR_CHAR_CODE("obj "),
  typeProcessSerialNumber = FOUR_CHAR_CODE("psn "),
  typeApplSignature = FOUR_CHAR_CODE("sign"),
  typeKernelProcessID = FOUR_CHAR_CODE("kpid"),
};

enum : AEKeyword {
  keyDirectObject = FOUR_CHAR_CODE("----"),
  keyErrorNumber = FOUR_CHAR_CODE("errn"),
  keyErrorString = FOUR_CHAR_CODE("errs"),
  keyEventClassAttr = FOUR_CHAR_CODE("evcl"),
  keyEventIDAttr = FOUR_CHAR_CODE("evid"),
  keyAddressAttr = FOUR_CHAR_CODE("addr"),
  keyReturnIDAttr = FOUR_CHAR_CODE("rtid"),
  keyTransactionIDAttr = FOUR_CHAR_CODE("tran"),
  keySenderPIDAttr = FOUR_CHAR_CODE("spid"),
  keyAEDesiredClass = FOUR_CHAR_CODE("want"),
  keyAEContainer = FOUR_CHAR_CODE("from"),
  keyAEKeyForm = FOUR_CHAR_CODE("form"),
  keyAEKeyData = FOUR_CHAR_CODE("seld"),
  keyAEData = FOUR_CHAR_CODE("data"),
};

enum : DescType {
  formName = FOUR_CHAR_CODE("name"),
  formPropertyID = FOUR_CHAR_CODE("prop"),
  formAbsolutePosition = FOUR_CHAR_CODE("indx"),
  formUniqueID = FOUR_CHAR_CODE("ID  "),
  cObject = FOUR_CHAR_CODE("cobj"),
  cFile = FOUR_CHAR_CODE("file"),
  cProperty = FOUR_CHAR_CODE("prop"),
  pComment = FOUR_CHAR_CODE("comt"),
};

enum : AEEventClass {
  kCoreEventClass = FOUR_CHAR_CODE("aevt"),
  kAECoreSuite = FOUR_CHAR_CODE("core"),
  kAEFinderEvents = FOUR_CHAR_CODE("fndr"),
};
enum : AEEventID {
  kAEOpenDocuments = FOUR_CHAR_CODE("odoc"),
  kAEOpenApplication = FOUR_CHAR_CODE("oapp"),
  kAEAnswer = FOUR_CHAR_CODE("ansr"),
  kAEGetData = FOUR_CHAR_CODE("getd"),
  kAESetData = FOUR_CHAR_CODE("setd"),
  kAEUpdate = FOUR_CHAR_CODE("fupd"),
};

enum : SInt32 {
  kAutoGenerateReturnID = -1,
  kAnyTransactionID = 0,
  kAEDefaultTimeout = -1,  // two minutes
  kNoTimeOut = -2,
};

enum : AESendMode {
  kAENoReply = 0x00000001,
  kAEQueueReply = 0x00000002,
  kAEWaitReply = 0x00000003,
  kAENeverInteract = 0x00000010,
  kAECanInteract = 0x00000020,
  kAEAlwaysInteract = 0x00000030,
  kAEDontRecord = 0x00001000,
};
enum : AESendPriority { kAENormalPriority = 0, kAEHighPriority = 1 };

enum : OSErr {
  errAECoercionFail = -1700,
  errAEDescNotFound = -1701,
  errAECorruptData = -1702,
  errAEWrongDataType = -1703,
  errAENotAEDesc = -1704,
  errAEBadListItem = -1705,
  errAENewerVersion = -1706,
  errAENotAppleEvent = -1707,
  errAEEventNotHandled = -1708,
  errAEReplyNotValid = -1709,
  errAEUnknownSendMode = -1710,
  errAEWaitCanceled = -1711,
  errAETimeout = -1712,
  errAENoUserInteraction = -1713,
  errAENotASpecialFunction = -1714,
  errAEParamMissed = -1715,
  errAEUnknownAddressType = -1716,
  errAEHandlerNotFound = -1717,
  errAEReplyNotArrived = -1718,
  errAEIllegalIndex = -1719,
  errAEBuildSyntaxError = -1740,
  connectionInvalid = -609,
  noPortErr = -903,
};

// Where a template went wrong.
enum : UInt32 {
  aeBuildSyntaxNoErr = 0,
  aeBuildSyntaxBadToken = 1,
  aeBuildSyntaxBadEOF = 2,
  aeBuildSyntaxNoEOF = 3,
  aeBuildSyntaxBadNegative = 4,
  aeBuildSyntaxMissingQuote = 5,
  aeBuildSyntaxBadHex = 6,
  aeBuildSyntaxOddHex = 7,
  aeBuildSyntaxNoCloseHex = 8,
  aeBuildSyntaxUncoercedHex = 9,
  aeBuildSyntaxNoCloseString = 10,
  aeBuildSyntaxBadDesc = 11,
  aeBuildSyntaxBadData = 12,
  aeBuildSyntaxNoCloseParen = 13,
  aeBuildSyntaxNoCloseBracket = 14,
  aeBuildSyntaxNoCloseBrace = 15,
  aeBuildSyntaxNoKey = 16,
  aeBuildSyntaxNoColon = 17,
  aeBuildSyntaxCoercedList = 18,
  aeBuildSyntaxUncoercedDoubleAt = 19,
};
struct AEBuildError {
  UInt32 fError;
  UInt32 fErrorPos;
};

// --- Descriptors ------------------------------------------------------------------------------
OSErr AECreateDesc(DescType typeCode, const void* dataPtr, Size dataSize, AEDesc* result);
OSErr AEDisposeDesc(AEDesc* desc);  // the descriptor becomes the null descriptor
OSErr AEDuplicateDesc(const AEDesc* desc, AEDesc* result);
void AEInitializeDesc(AEDesc* desc);
Size AEGetDescDataSize(const AEDesc* desc);
OSErr AEGetDescData(const AEDesc* desc, void* dataPtr, Size maximumSize);
OSErr AECoercePtr(DescType typeCode, const void* dataPtr, Size dataSize, DescType toType, AEDesc* result);
OSErr AECoerceDesc(const AEDesc* desc, DescType toType, AEDesc* result);

// --- Lists and records (index 0 appends; items count from 1) -----------------------------------
OSErr AECreateList(const void* factoringPtr, Size factoredSize, Boolean isRecord, AEDescList* list);
OSErr AECountItems(const AEDescList* list, long* count);
OSErr AEPutPtr(AEDescList* list, long index, DescType typeCode, const void* dataPtr, Size dataSize);
OSErr AEPutDesc(AEDescList* list, long index, const AEDesc* desc);
OSErr AEGetNthPtr(const AEDescList* list, long index, DescType desiredType, AEKeyword* keyword,
                  DescType* typeCode, void* dataPtr, Size maximumSize, Size* actualSize);
OSErr AEGetNthDesc(const AEDescList* list, long index, DescType desiredType, AEKeyword* keyword,
                   AEDesc* result);
OSErr AEDeleteItem(AEDescList* list, long index);
OSErr AEPutKeyPtr(AERecord* record, AEKeyword keyword, DescType typeCode, const void* dataPtr, Size dataSize);
OSErr AEPutKeyDesc(AERecord* record, AEKeyword keyword, const AEDesc* desc);
OSErr AEGetKeyPtr(const AERecord* record, AEKeyword keyword, DescType desiredType, DescType* typeCode,
                  void* dataPtr, Size maximumSize, Size* actualSize);
OSErr AEGetKeyDesc(const AERecord* record, AEKeyword keyword, DescType desiredType, AEDesc* result);

// --- Apple events ----------------------------------------------------------------------------------
OSErr AECreateAppleEvent(AEEventClass theAEEventClass, AEEventID theAEEventID, const AEAddressDesc* target,
                         AEReturnID returnID, AETransactionID transactionID, AppleEvent* result);
OSErr AEPutParamPtr(AppleEvent* event, AEKeyword keyword, DescType typeCode, const void* dataPtr, Size dataSize);
OSErr AEPutParamDesc(AppleEvent* event, AEKeyword keyword, const AEDesc* desc);
OSErr AEGetParamPtr(const AppleEvent* event, AEKeyword keyword, DescType desiredType, DescType* typeCode,
                    void* dataPtr, Size maximumSize, Size* actualSize);
OSErr AEGetParamDesc(const AppleEvent* event, AEKeyword keyword, DescType desiredType, AEDesc* result);
OSErr AECountParams(const AppleEvent* event, long* count);
// keyEventClassAttr, keyEventIDAttr, keyAddressAttr, keyReturnIDAttr, keyTransactionIDAttr and
// keySenderPIDAttr (the sending process's pid, set on arrival), besides attributes put.
OSErr AEGetAttributePtr(const AppleEvent* event, AEKeyword keyword, DescType desiredType,
                        DescType* typeCode, void* dataPtr, Size maximumSize, Size* actualSize);
OSErr AEGetAttributeDesc(const AppleEvent* event, AEKeyword keyword, DescType desiredType, AEDesc* result);
OSErr AEPutAttributePtr(AppleEvent* event, AEKeyword keyword, DescType typeCode, const void* dataPtr, Size dataSize);

// --- Object specifiers and templates ---------------------------------------------------------------
OSErr CreateObjSpecifier(DescType desiredClass, AEDesc* container, DescType keyForm, AEDesc* keyData,
                         Boolean disposeInputs, AEDesc* objSpecifier);
// The template's "@" takes the next argument, an AEDesc*. A malformed template answers
// errAEBuildSyntaxError with *error (optional) telling what and where.
OSErr AEBuildAppleEvent(AEEventClass theClass, AEEventID theID, DescType addressType,
                        const void* addressData, Size addressLength, SInt16 returnID,
                        SInt32 transactionID, AppleEvent* result, AEBuildError* error,
                        const char* paramsFmt, ...);
OSErr vAEBuildAppleEvent(AEEventClass theClass, AEEventID theID, DescType addressType,
                         const void* addressData, Size addressLength, SInt16 returnID,
                         SInt32 transactionID, AppleEvent* result, AEBuildError* error,
                         const char* paramsFmt, va_list args);
OSErr AEBuildDesc(AEDesc* dst, AEBuildError* error, const char* src, ...);
OSErr AEBuildParameters(AppleEvent* event, AEBuildError* error, const char* format, ...);

// --- Flattening -------------------------------------------------------------------------------------
Size AESizeOfFlattenedDesc(const AEDesc* desc);
OSErr AEFlattenDesc(const AEDesc* desc, Ptr buffer, Size bufferSize, Size* actualSize);
// errAECorruptData for bytes that are not a sound flattened descriptor (nothing is allocated then).
OSErr AEUnflattenDesc(const void* buffer, AEDesc* result);
OSErr AEUnflattenDescFromBytes(const void* buffer, Size size, AEDesc* result);

// --- Sending and handling -----------------------------------------------------------------------------
struct EventRecord;
typedef void* RgnHandle;
typedef Boolean (*AEIdleProcPtr)(EventRecord* theEvent, SInt32* sleepTime, RgnHandle* mouseRgn);
typedef AEIdleProcPtr AEIdleUPP;
typedef Boolean (*AEFilterProcPtr)(EventRecord* theEvent, SInt32 returnID, SInt32 transactionID,
                                   const AEAddressDesc* sender);
typedef AEFilterProcPtr AEFilterUPP;
typedef OSErr (*AEEventHandlerProcPtr)(const AppleEvent* theAppleEvent, AppleEvent* reply, SRefCon handlerRefcon);
typedef AEEventHandlerProcPtr AEEventHandlerUPP;

// The target is the event's address: 'psn ' (kCurrentProcess is this process), 'sign' (a
// creator: the first registered process with it; 'MACS' starts the Finder agent when none
// runs) or 'kpid'. Waiting sends call the idle procedure about every 10 ticks; the timeout is in
// ticks (1/60 s). The reply carries 'errn' when the handler failed, and what it put.
// kAEQueueReply returns once the receiver has the event; the reply arrives later as an event
// 'aevt'/'ansr' (kCoreEventClass/kAEAnswer) with the original's return ID, dispatched to the
// sender's handler for it like any arrival (without one it is dropped).
OSErr AESend(const AppleEvent* event, AppleEvent* reply, AESendMode sendMode, AESendPriority sendPriority,
             SInt32 timeOutInTicks, AEIdleUPP idleProc, AEFilterUPP filterProc);
// Installing a handler registers the process (Processes.h) so that others can reach it.
OSErr AEInstallEventHandler(AEEventClass theAEEventClass, AEEventID theAEEventID, AEEventHandlerUPP handler,
                            SRefCon handlerRefcon, Boolean isSysHandler);
OSErr AERemoveEventHandler(AEEventClass theAEEventClass, AEEventID theAEEventID, AEEventHandlerUPP handler,
                           Boolean isSysHandler);
// Dispatches the events that arrived, waiting up to timeoutMs (0: only those already here) for
// the first. Answers how many were handled.
int AEProcessPendingEvents(int timeoutMs);

// The Finder agent's executable: $VOCABULON_FINDER_AGENT, else vocabulon-finder beside this
// program's executable, else in the installed bin folder.
std::string FinderAgentPath();
