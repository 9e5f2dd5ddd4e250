// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/carbon/PasteboardManager.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <gtest/gtest.h>

#include "platform/cf/CFQt.h"

namespace {

const auto kItem1 = reinterpret_cast<PasteboardItemID>(1);
const auto kItem2 = reinterpret_cast<PasteboardItemID>(2);

// References made by a test, released at its end.
struct Pasteboards {
  ~Pasteboards() {
    for (CFTypeRef ref : owned) CFRelease(ref);
  }
  PasteboardRef create(const char* name) {
    CFStringRef cfName = name ? CFStringCreateWithQString(QString::fromUtf8(name)) : nullptr;
    PasteboardRef pasteboard = nullptr;
    EXPECT_EQ(PasteboardCreate(cfName, &pasteboard), noErr);
    if (cfName) CFRelease(cfName);
    owned.push_back(pasteboard);
    return pasteboard;
  }
  std::vector<CFTypeRef> owned;
};

OSStatus put(PasteboardRef pasteboard, PasteboardItemID item, const char* type, const QByteArray& bytes,
             PasteboardFlavorFlags flags = 0) {
  CFStringRef cfType = CFStringCreateWithQString(QString::fromLatin1(type));
  CFDataRef data = CFDataCreateWithQByteArray(bytes);
  const OSStatus status = PasteboardPutItemFlavor(pasteboard, item, cfType, data, flags);
  CFRelease(cfType);
  CFRelease(data);
  return status;
}

// The flavour's bytes, or its status when it cannot be read.
QByteArray read(PasteboardRef pasteboard, PasteboardItemID item, const char* type) {
  CFStringRef cfType = CFStringCreateWithQString(QString::fromLatin1(type));
  CFDataRef data = nullptr;
  const OSStatus status = PasteboardCopyItemFlavorData(pasteboard, item, cfType, &data);
  CFRelease(cfType);
  const QByteArray bytes = status == noErr ? CFDataToQByteArray(data) : QByteArray::number(status);
  if (data) CFRelease(data);
  return bytes;
}

QByteArray onClipboard(const char* mimeType) {
  return QGuiApplication::clipboard()->mimeData()->data(mimeType);
}

TEST(PasteboardManagerTest, TheClipboardOffersEachFlavourUnderItsMimeTypes) {
  Pasteboards refs;
  PasteboardRef clipboard = refs.create("com.apple.pasteboard.clipboard");
  ASSERT_EQ(PasteboardClear(clipboard), noErr);
  ASSERT_EQ(put(clipboard, kItem1, "public.utf8-plain-text", "na\xC3\xAFve"), noErr);
  EXPECT_EQ(QGuiApplication::clipboard()->mimeData()->formats(),
            (QStringList{"text/plain;charset=utf-8", "text/plain"}));
  EXPECT_EQ(onClipboard("text/plain"), QByteArray("na\xC3\xAFve"));
  ASSERT_EQ(put(clipboard, kItem2, "public.rtf", "{\\rtf1}"), noErr);
  ASSERT_EQ(put(clipboard, kItem2, "public.url", "https://example.org/"), noErr);
  ASSERT_EQ(put(clipboard, kItem2, "org.example.secret", "s", kPasteboardFlavorSenderOnly), noErr);
  EXPECT_EQ(onClipboard("text/rtf"), QByteArray("{\\rtf1}"));
  EXPECT_EQ(onClipboard("text/uri-list"), QByteArray("https://example.org/\r\n"));
  EXPECT_EQ(QGuiApplication::clipboard()->mimeData()->formats().size(), 4);  // the secret stays here
  EXPECT_EQ(read(clipboard, kItem2, "org.example.secret"), QByteArray("s"));

  // Another program taking the clipboard ends our ownership; its contents read as item 1.
  auto* theirs = new QMimeData;
  theirs->setText(QStringLiteral("theirs"));
  theirs->setData("text/uri-list", "# comment\r\nfile:///tmp/a\r\n");
  QGuiApplication::clipboard()->setMimeData(theirs);
  EXPECT_EQ(put(clipboard, kItem2, "public.html", "late"), notPasteboardOwnerErr);
  EXPECT_EQ(read(clipboard, kItem1, "public.utf8-plain-text"), QByteArray::number(badPasteboardSyncErr));
  EXPECT_EQ(PasteboardSynchronize(clipboard), PasteboardSyncFlags(kPasteboardModified));
  EXPECT_EQ(read(clipboard, kItem1, "public.utf8-plain-text"), QByteArray("theirs"));
  EXPECT_EQ(read(clipboard, kItem1, "public.file-url"), QByteArray("file:///tmp/a"));
}

TEST(PasteboardManagerTest, StatusesOfOwnershipSynchronizationAndBadRequests) {
  Pasteboards refs;
  PasteboardRef first = refs.create("org.example.shared"), second = refs.create("org.example.shared");
  EXPECT_EQ(PasteboardCreate(nullptr, nullptr), paramErr);
  EXPECT_EQ(put(first, kItem1, "public.utf8-plain-text", "x"), notPasteboardOwnerErr);  // not cleared yet
  ASSERT_EQ(PasteboardClear(first), noErr);
  EXPECT_EQ(put(first, nullptr, "public.utf8-plain-text", "x"), badPasteboardItemErr);
  EXPECT_EQ(PasteboardPutItemFlavor(first, kItem1, CFSTR("public.rtf"), nullptr, 0), paramErr);
  ASSERT_EQ(put(first, kItem1, "public.utf8-plain-text", "one"), noErr);
  EXPECT_EQ(put(first, kItem1, "public.utf8-plain-text", "two"), duplicatePasteboardFlavorErr);
  EXPECT_EQ(read(first, kItem1, "public.rtf"), QByteArray::number(badPasteboardFlavorErr));
  EXPECT_EQ(read(first, kItem2, "public.rtf"), QByteArray::number(badPasteboardItemErr));
  PasteboardItemID id = nullptr;
  EXPECT_EQ(PasteboardGetItemIdentifier(first, 2, &id), badPasteboardIndexErr);
  EXPECT_EQ(PasteboardGetItemIdentifier(first, 0, &id), badPasteboardIndexErr);

  // The second reference must catch up before reading, and cannot write until it clears.
  EXPECT_EQ(read(second, kItem1, "public.utf8-plain-text"), QByteArray::number(badPasteboardSyncErr));
  EXPECT_EQ(PasteboardSynchronize(second), PasteboardSyncFlags(kPasteboardModified));
  EXPECT_EQ(read(second, kItem1, "public.utf8-plain-text"), QByteArray("one"));
  EXPECT_EQ(put(second, kItem2, "public.rtf", "x"), notPasteboardOwnerErr);
  EXPECT_EQ(PasteboardSynchronize(first), PasteboardSyncFlags(kPasteboardClientIsOwner));
  ASSERT_EQ(PasteboardClear(second), noErr);
  EXPECT_EQ(put(first, kItem2, "public.rtf", "x"), notPasteboardOwnerErr);

  // Other names, and unnamed pasteboards, are pasteboards of their own, not the clipboard.
  QGuiApplication::clipboard()->setText(QStringLiteral("untouched"));
  PasteboardRef unnamed = refs.create(nullptr);
  ASSERT_EQ(PasteboardClear(unnamed), noErr);
  ASSERT_EQ(put(unnamed, kItem1, "public.utf8-plain-text", "u"), noErr);
  ItemCount count = 1;
  ASSERT_EQ(PasteboardGetItemCount(refs.create(nullptr), &count), noErr);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("untouched"));
}

}  // namespace
