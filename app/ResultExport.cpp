// The controller's result export: the whole result onto the clipboard as rich text, or into
// an RTFD package named in a save panel.
#include "app/ResultExport.h"

#include <QPlainTextEdit>
#include <QTextCursor>
#include <vector>

#include "app/LexoraAppDelegate.h"
#include "platform/cocoa/Pasteboard.h"
#include "platform/cocoa/RichText.h"
#include "platform/cocoa/SavePanel.h"

void LexoraAppDelegate::clipboardButtonClicked(QObject*) {
  if (!result_textView) return;
  // The whole text is selected and stays so.
  QTextCursor selection(result_textView->document());
  selection.setPosition(0);
  selection.setPosition(int(result_textView->toPlainText().size()), QTextCursor::KeepAnchor);
  result_textView->setTextCursor(selection);
  // Rich text alone: no plain-text flavour goes with it. A refusal goes unreported.
  writeSelectionToPasteboard(result_textView->textCursor(), Pasteboard::generalPasteboard(),
                             {QString::fromLatin1(NSRTFPboardType)});
}

void LexoraAppDelegate::saveButtonClicked(QObject*) {
  SavePanel panel = SavePanel::savePanel();
  panel.setCanSelectHiddenExtension(true);
  panel.setRequiredFileType(QStringLiteral("rtfd"));
  if (window_) panel.setParentWindow(window_);
  // The query's whole text, as it is, is the proposed name.
  const QString proposedName = query_textView ? query_textView->toPlainText() : QString();
  if (panel.runModalForDirectory(QString(), proposedName) != NSOKButton) return;
  // Written atomically; a failure leaves nothing behind and is not reported.
  if (result_textView) writeRTFDPackage(*result_textView->document(), panel.filename());
}

OSStatus PutStringOnClipboard(CFStringRef text) {
  PasteboardRef clipboard = nullptr;
  OSStatus status = PasteboardCreate(kPasteboardClipboard, &clipboard);
  if (status != noErr) return status;

  status = PasteboardClear(clipboard);
  if (text) {
    // Measured first, then converted; loss byte 0, so nothing is replaced.
    const CFRange whole = CFRangeMake(0, CFStringGetLength(text));
    CFIndex byteCount = 0;
    CFStringGetBytes(text, whole, kCFStringEncodingUTF8, 0, false, nullptr, 0, &byteCount);
    std::vector<UInt8> bytes(static_cast<std::size_t>(byteCount));
    CFStringGetBytes(text, whole, kCFStringEncodingUTF8, 0, false, bytes.data(), byteCount, &byteCount);

    CFMutableDataRef data = CFDataCreateMutable(kCFAllocatorDefault, 0);
    CFDataAppendBytes(data, bytes.data(), byteCount);
    status = PasteboardPutItemFlavor(clipboard, reinterpret_cast<PasteboardItemID>(1), kUTTypeUTF8PlainText,
                                     data, kPasteboardFlavorNoFlags);
    CFRelease(data);
  }
  CFRelease(clipboard);
  return status;
}
