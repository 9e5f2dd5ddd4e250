// SPDX-License-Identifier: GPL-3.0-or-later
// The controller's result export: the whole result onto the clipboard as rich text (with plain
// text and HTML of the same selection for programs that read only those), or into an RTFD
// package named in a save panel.
#include "app/ResultExport.h"

#include <QFileInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScopeGuard>
#include <QTextCursor>
#include <QTimer>
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
  // A terminal, a browser form or the query view itself read plain text or HTML, not RTF; all
  // three come from the same selection. A refusal goes unreported.
  writeSelectionToPasteboard(result_textView->textCursor(), Pasteboard::generalPasteboard(),
                             {QString::fromLatin1(NSRTFPboardType), QString::fromLatin1(NSStringPboardType),
                              QString::fromLatin1(NSHTMLPboardType)});
}

void LexoraAppDelegate::saveButtonClicked(QObject*) {
  SavePanel panel = SavePanel::savePanel();
  panel.setCanSelectHiddenExtension(true);
  panel.setRequiredFileType(QStringLiteral("rtfd"));
  if (window_) panel.setParentWindow(window_);
  // The query's text is the proposed name, cut to what the file system takes.
  const QString query = query_textView ? query_textView->toPlainText() : QString();
  const QString proposedName =
      fittingFileName(query, panel.requiredFileType(), maximumFileNameBytes(panel.directory()));

  // Until the panel has closed and the save is written, what would change the results waits.
  savePanelOpen_ = true;
  const auto resume = qScopeGuard([this] {
    savePanelOpen_ = false;
    if (!deferredWork_.isEmpty()) QTimer::singleShot(0, this, [this] { runDeferredWork(); });
  });
  if (panel.runModalForDirectory(QString(), proposedName) != NSOKButton) return;
  // Written atomically: a failure leaves what was there untouched, and the status line says why.
  QString error;
  if (result_textView && !writeRTFDPackage(*result_textView->document(), panel.filename(), &error))
    setStatus(QStringLiteral("Could not save \u201C%1\u201D: %2")
                  .arg(QFileInfo(panel.filename()).fileName(), error));
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
