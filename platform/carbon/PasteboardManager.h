// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Pasteboard Manager: pasteboards of items, each item a set of flavours (data under a
// uniform type identifier). The pasteboard named kPasteboardClipboard is the system clipboard
// (QClipboard; needs a QGuiApplication), kPasteboardFind the desktop's find buffer where it
// has one; any other name is a pasteboard of this process, shared by every reference created
// with that name; a null name makes a new, unnamed one. Main thread only, like QClipboard.
//
// Ownership works as on the platform: PasteboardClear makes the caller's reference the owner,
// and only the owner can add flavours until the contents change hands again (another
// reference clears it, or another program takes the clipboard). A reference that has not
// synchronized since such a change gets badPasteboardSyncErr when it reads.
//
// On the clipboard the flavours are offered under MIME types: public.utf8-plain-text as
// "text/plain;charset=utf-8" and "text/plain" (the same UTF-8 bytes), public.utf16-plain-text
// as "text/plain;charset=utf-16" (and as UTF-8 "text/plain" when no UTF-8 flavour is there),
// public.rtf as "text/rtf", public.html as "text/html", public.png, public.jpeg and public.tiff
// as their image types, public.url and public.file-url as a "text/uri-list" line, any other
// type under a private MIME type that reads back as that type. Flavours flagged
// kPasteboardFlavorSenderOnly stay inside this process. When another program owns the
// clipboard, its contents read as one item (identifier 1) with the flavours its MIME types map
// to.
//
// PasteboardRef is a CoreFoundation object: the caller releases it with CFRelease.
#include "platform/cf/CFArray.h"
#include "platform/cf/CFBase.h"
#include "platform/cf/CFData.h"
#include "platform/cf/CFString.h"

typedef struct OpaquePasteboardRef* PasteboardRef;
typedef void* PasteboardItemID;

typedef UInt32 OptionBits;
typedef OptionBits PasteboardFlavorFlags;
enum : PasteboardFlavorFlags {
  kPasteboardFlavorNoFlags = 0,
  kPasteboardFlavorSenderOnly = 1 << 0,
  kPasteboardFlavorSenderTranslated = 1 << 1,
  kPasteboardFlavorNotSaved = 1 << 2,
  kPasteboardFlavorRequestOnly = 1 << 3,
  kPasteboardFlavorSystemTranslated = 1 << 8,
  kPasteboardFlavorPromised = 1 << 9,
};

typedef OptionBits PasteboardSyncFlags;
enum : PasteboardSyncFlags {
  kPasteboardModified = 1 << 0,       // the contents changed since the last synchronize
  kPasteboardClientIsOwner = 1 << 1,  // this reference owns the contents
};

enum : OSStatus {
  badPasteboardSyncErr = -25130,          // changed since the last synchronize
  badPasteboardIndexErr = -25131,         // no item at that index
  badPasteboardItemErr = -25132,          // no item with that identifier
  badPasteboardFlavorErr = -25133,        // the item has no such flavour
  duplicatePasteboardFlavorErr = -25134,  // the item already has that flavour
  notPasteboardOwnerErr = -25135,         // the contents must be cleared before writing
  coreFoundationUnknownErr = -4960,       // the clipboard cannot be reached
};

#define kPasteboardClipboard CFSTR("com.apple.pasteboard.clipboard")
#define kPasteboardFind CFSTR("com.apple.pasteboard.find")
#define kPasteboardUniqueName ((CFStringRef) nullptr)

#define kUTTypeUTF8PlainText CFSTR("public.utf8-plain-text")
#define kUTTypeUTF16PlainText CFSTR("public.utf16-plain-text")
#define kUTTypeRTF CFSTR("public.rtf")
#define kUTTypeHTML CFSTR("public.html")
#define kUTTypePNG CFSTR("public.png")
#define kUTTypeJPEG CFSTR("public.jpeg")
#define kUTTypeTIFF CFSTR("public.tiff")
#define kUTTypeURL CFSTR("public.url")
#define kUTTypeFileURL CFSTR("public.file-url")

CFTypeID PasteboardGetTypeID(void);

// paramErr without outPasteboard; coreFoundationUnknownErr for the clipboard when no
// QGuiApplication runs. The new reference starts synchronized.
OSStatus PasteboardCreate(CFStringRef inName, PasteboardRef* outPasteboard);
// The name given at creation, or a generated one for an unnamed pasteboard.
OSStatus PasteboardCopyName(PasteboardRef inPasteboard, CFStringRef* outName);

// Empties the pasteboard and makes this reference its owner.
OSStatus PasteboardClear(PasteboardRef inPasteboard);
// Catches the reference up with the contents; 0 for a null reference.
PasteboardSyncFlags PasteboardSynchronize(PasteboardRef inPasteboard);

OSStatus PasteboardGetItemCount(PasteboardRef inPasteboard, ItemCount* outItemCount);
// inIndex counts from 1.
OSStatus PasteboardGetItemIdentifier(PasteboardRef inPasteboard, CFIndex inIndex, PasteboardItemID* outItem);
// The item's flavour types, in the order they were put.
OSStatus PasteboardCopyItemFlavors(PasteboardRef inPasteboard, PasteboardItemID inItem,
                                   CFArrayRef* outFlavorTypes);
OSStatus PasteboardGetItemFlavorFlags(PasteboardRef inPasteboard, PasteboardItemID inItem,
                                      CFStringRef inFlavorType, PasteboardFlavorFlags* outFlags);
OSStatus PasteboardCopyItemFlavorData(PasteboardRef inPasteboard, PasteboardItemID inItem,
                                      CFStringRef inFlavorType, CFDataRef* outData);

// Adds a flavour to the item inItem (made when new; a null identifier is badPasteboardItemErr).
// Promises are not kept: inData is required. The data is copied.
OSStatus PasteboardPutItemFlavor(PasteboardRef inPasteboard, PasteboardItemID inItem,
                                 CFStringRef inFlavorType, CFDataRef inData, PasteboardFlavorFlags inFlags);
