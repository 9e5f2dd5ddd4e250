#include "platform/carbon/PasteboardManager.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <gtest/gtest.h>

#include "platform/cf/CFQt.h"

namespace {

const auto kItem1 = reinterpret_cast<PasteboardItemID>(1);
const auto kItem2 = reinterpret_cast<PasteboardItemID>(2);

// Owns the references a test makes.
class PasteboardManagerTest : public testing::Test {
 protected:
  ~PasteboardManagerTest() override {
    for (CFTypeRef ref : owned_) CFRelease(ref);
  }

  PasteboardRef create(CFStringRef name) {
    PasteboardRef pasteboard = nullptr;
    EXPECT_EQ(PasteboardCreate(name, &pasteboard), noErr);
    owned_.push_back(pasteboard);
    return pasteboard;
  }

  CFDataRef data(const QByteArray& bytes) {
    CFDataRef d = CFDataCreateWithQByteArray(bytes);
    owned_.push_back(d);
    return d;
  }

  CFStringRef string(const char* text) {
    CFStringRef s = CFStringCreateWithQString(QString::fromUtf8(text));
    owned_.push_back(s);
    return s;
  }

  OSStatus put(PasteboardRef pasteboard, PasteboardItemID item, CFStringRef type, const QByteArray& bytes,
               PasteboardFlavorFlags flags = kPasteboardFlavorNoFlags) {
    return PasteboardPutItemFlavor(pasteboard, item, type, data(bytes), flags);
  }

  // The flavour's bytes, or the status as text when it cannot be read.
  QByteArray read(PasteboardRef pasteboard, PasteboardItemID item, CFStringRef type) {
    CFDataRef out = nullptr;
    const OSStatus status = PasteboardCopyItemFlavorData(pasteboard, item, type, &out);
    if (status != noErr) return "status " + QByteArray::number(status);
    const QByteArray bytes = CFDataToQByteArray(out);
    CFRelease(out);
    return bytes;
  }

  QStringList flavors(PasteboardRef pasteboard, PasteboardItemID item) {
    CFArrayRef types = nullptr;
    if (PasteboardCopyItemFlavors(pasteboard, item, &types) != noErr) return {QStringLiteral("error")};
    QStringList list;
    for (CFIndex i = 0; i < CFArrayGetCount(types); ++i)
      list << CFStringToQString(static_cast<CFStringRef>(CFArrayGetValueAtIndex(types, i)));
    CFRelease(types);
    return list;
  }

  static QStringList clipboardFormats() {
    const QMimeData* contents = QGuiApplication::clipboard()->mimeData();
    return contents ? contents->formats() : QStringList();
  }

 private:
  std::vector<CFTypeRef> owned_;
};

TEST_F(PasteboardManagerTest, TheClipboardGetsTheFlavoursUnderTheirMimeTypes) {
  PasteboardRef clipboard = create(kPasteboardClipboard);
  EXPECT_EQ(CFGetTypeID(clipboard), PasteboardGetTypeID());
  CFStringRef name = nullptr;
  ASSERT_EQ(PasteboardCopyName(clipboard, &name), noErr);
  EXPECT_EQ(CFStringToQString(name), QStringLiteral("com.apple.pasteboard.clipboard"));
  CFRelease(name);

  ASSERT_EQ(PasteboardClear(clipboard), noErr);
  EXPECT_TRUE(clipboardFormats().isEmpty());
  const QByteArray utf8("na\xC3\xAFve \xE4\xB8\xAD");
  ASSERT_EQ(put(clipboard, kItem1, kUTTypeUTF8PlainText, utf8), noErr);
  EXPECT_EQ(clipboardFormats(), (QStringList{"text/plain;charset=utf-8", "text/plain"}));
  const QMimeData* contents = QGuiApplication::clipboard()->mimeData();
  EXPECT_EQ(contents->data("text/plain;charset=utf-8"), utf8);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), QString::fromUtf8(utf8));

  ASSERT_EQ(put(clipboard, kItem1, kUTTypeRTF, "{\\rtf1 x}"), noErr);
  ASSERT_EQ(put(clipboard, kItem2, kUTTypeHTML, "<b>x</b>"), noErr);
  ASSERT_EQ(put(clipboard, kItem2, kUTTypeURL, "https://example.org/"), noErr);
  ASSERT_EQ(put(clipboard, kItem2, string("org.example.private"), "p"), noErr);
  ASSERT_EQ(put(clipboard, kItem2, string("org.example.secret"), "s", kPasteboardFlavorSenderOnly), noErr);
  contents = QGuiApplication::clipboard()->mimeData();
  EXPECT_EQ(contents->data("text/rtf"), QByteArray("{\\rtf1 x}"));
  EXPECT_EQ(contents->data("text/html"), QByteArray("<b>x</b>"));
  EXPECT_EQ(contents->data("text/uri-list"), QByteArray("https://example.org/\r\n"));
  EXPECT_EQ(contents->formats().filter("org.example.private").size(), 1);
  EXPECT_TRUE(contents->formats().filter("secret").isEmpty());  // stays in the process

  // Read back through the manager, items and flavours in the order they were put.
  ItemCount count = 0;
  ASSERT_EQ(PasteboardGetItemCount(clipboard, &count), noErr);
  EXPECT_EQ(count, 2u);
  PasteboardItemID id = nullptr;
  ASSERT_EQ(PasteboardGetItemIdentifier(clipboard, 2, &id), noErr);
  EXPECT_EQ(id, kItem2);
  EXPECT_EQ(flavors(clipboard, kItem1), (QStringList{"public.utf8-plain-text", "public.rtf"}));
  EXPECT_EQ(read(clipboard, kItem2, string("org.example.secret")), QByteArray("s"));
  PasteboardFlavorFlags flags = 0;
  ASSERT_EQ(PasteboardGetItemFlavorFlags(clipboard, kItem2, string("org.example.secret"), &flags), noErr);
  EXPECT_EQ(flags, PasteboardFlavorFlags(kPasteboardFlavorSenderOnly));
}

TEST_F(PasteboardManagerTest, StatusesForBadRequests) {
  PasteboardRef pasteboard = create(string("org.example.statuses"));
  EXPECT_EQ(PasteboardCreate(kPasteboardClipboard, nullptr), paramErr);
  EXPECT_EQ(PasteboardClear(nullptr), paramErr);
  EXPECT_EQ(PasteboardClear(
                reinterpret_cast<PasteboardRef>(const_cast<void*>(static_cast<const void*>(string("x"))))),
            paramErr);  // a CF object of another type

  EXPECT_EQ(put(pasteboard, kItem1, kUTTypeUTF8PlainText, "x"), notPasteboardOwnerErr);  // not cleared
  ASSERT_EQ(PasteboardClear(pasteboard), noErr);
  EXPECT_EQ(put(pasteboard, nullptr, kUTTypeUTF8PlainText, "x"), badPasteboardItemErr);
  EXPECT_EQ(PasteboardPutItemFlavor(pasteboard, kItem1, kUTTypeUTF8PlainText, nullptr, 0), paramErr);
  EXPECT_EQ(put(pasteboard, kItem1, nullptr, "x"), paramErr);
  ASSERT_EQ(put(pasteboard, kItem1, kUTTypeUTF8PlainText, "x"), noErr);
  EXPECT_EQ(put(pasteboard, kItem1, kUTTypeUTF8PlainText, "y"), duplicatePasteboardFlavorErr);
  EXPECT_EQ(read(pasteboard, kItem1, kUTTypeUTF8PlainText), QByteArray("x"));  // the first stays

  PasteboardItemID id = nullptr;
  EXPECT_EQ(PasteboardGetItemIdentifier(pasteboard, 0, &id), badPasteboardIndexErr);
  EXPECT_EQ(PasteboardGetItemIdentifier(pasteboard, 2, &id), badPasteboardIndexErr);
  EXPECT_EQ(read(pasteboard, kItem2, kUTTypeUTF8PlainText),
            "status " + QByteArray::number(badPasteboardItemErr));
  EXPECT_EQ(read(pasteboard, kItem1, kUTTypeRTF), "status " + QByteArray::number(badPasteboardFlavorErr));
  EXPECT_EQ(flavors(pasteboard, kItem2), QStringList{"error"});
  EXPECT_EQ(PasteboardSynchronize(nullptr), 0u);
}

TEST_F(PasteboardManagerTest, OwnershipPassesWithClearAndReadersMustSynchronize) {
  PasteboardRef first = create(string("org.example.shared"));
  PasteboardRef second = create(string("org.example.shared"));
  ASSERT_EQ(PasteboardClear(first), noErr);
  ASSERT_EQ(put(first, kItem1, kUTTypeUTF8PlainText, "one"), noErr);

  ItemCount count = 0;
  EXPECT_EQ(PasteboardGetItemCount(second, &count), badPasteboardSyncErr);
  EXPECT_EQ(PasteboardSynchronize(second), PasteboardSyncFlags(kPasteboardModified));
  EXPECT_EQ(PasteboardSynchronize(second), 0u);  // nothing new since
  EXPECT_EQ(read(second, kItem1, kUTTypeUTF8PlainText), QByteArray("one"));
  EXPECT_EQ(put(second, kItem2, kUTTypeUTF8PlainText, "two"), notPasteboardOwnerErr);
  EXPECT_EQ(PasteboardSynchronize(first), PasteboardSyncFlags(kPasteboardClientIsOwner));

  ASSERT_EQ(PasteboardClear(second), noErr);  // the second takes over
  EXPECT_EQ(put(first, kItem2, kUTTypeUTF8PlainText, "late"), notPasteboardOwnerErr);
  EXPECT_EQ(PasteboardSynchronize(first), PasteboardSyncFlags(kPasteboardModified));
  ASSERT_EQ(PasteboardGetItemCount(first, &count), noErr);
  EXPECT_EQ(count, 0u);

  // Names are separate pasteboards, and none of them is the clipboard.
  QGuiApplication::clipboard()->setText(QStringLiteral("untouched"));
  PasteboardRef other = create(string("org.example.other"));
  ASSERT_EQ(PasteboardClear(other), noErr);
  ASSERT_EQ(put(other, kItem1, kUTTypeUTF8PlainText, "other"), noErr);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("untouched"));
  PasteboardRef unique1 = create(kPasteboardUniqueName);
  PasteboardRef unique2 = create(kPasteboardUniqueName);
  ASSERT_EQ(PasteboardClear(unique1), noErr);
  ASSERT_EQ(put(unique1, kItem1, kUTTypeUTF8PlainText, "u"), noErr);
  ASSERT_EQ(PasteboardGetItemCount(unique2, &count), noErr);
  EXPECT_EQ(count, 0u);
}

TEST_F(PasteboardManagerTest, AnotherProgramTakingTheClipboardEndsOwnership) {
  PasteboardRef clipboard = create(kPasteboardClipboard);
  ASSERT_EQ(PasteboardClear(clipboard), noErr);
  ASSERT_EQ(put(clipboard, kItem1, kUTTypeUTF8PlainText, "ours"), noErr);

  auto* theirs = new QMimeData;
  theirs->setText(QString::fromUtf8("th\xC3\xA9irs"));
  theirs->setData("application/rtf", "{\\rtf1 t}");
  theirs->setData("text/uri-list", "# comment\r\nfile:///tmp/a\r\n");
  QGuiApplication::clipboard()->setMimeData(theirs);

  EXPECT_EQ(put(clipboard, kItem2, kUTTypeRTF, "late"), notPasteboardOwnerErr);
  ItemCount count = 0;
  EXPECT_EQ(PasteboardGetItemCount(clipboard, &count), badPasteboardSyncErr);
  EXPECT_EQ(PasteboardSynchronize(clipboard), PasteboardSyncFlags(kPasteboardModified));
  ASSERT_EQ(PasteboardGetItemCount(clipboard, &count), noErr);
  ASSERT_EQ(count, 1u);
  PasteboardItemID id = nullptr;
  ASSERT_EQ(PasteboardGetItemIdentifier(clipboard, 1, &id), noErr);
  EXPECT_EQ(flavors(clipboard, id), (QStringList{"public.utf8-plain-text", "public.rtf", "public.file-url"}));
  EXPECT_EQ(read(clipboard, id, kUTTypeUTF8PlainText), QByteArray("th\xC3\xA9irs"));
  EXPECT_EQ(read(clipboard, id, kUTTypeFileURL), QByteArray("file:///tmp/a"));
  // A new reference sees the same, at once.
  EXPECT_EQ(read(create(kPasteboardClipboard), id, kUTTypeRTF), QByteArray("{\\rtf1 t}"));

  ASSERT_EQ(PasteboardClear(clipboard), noErr);  // and taking it back works
  EXPECT_EQ(PasteboardSynchronize(clipboard), PasteboardSyncFlags(kPasteboardClientIsOwner));
  EXPECT_TRUE(clipboardFormats().isEmpty());
}

}  // namespace
