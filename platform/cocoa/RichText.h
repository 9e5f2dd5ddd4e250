// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Rich text out of a text view's document: RTF of a range, the selection written to a
// pasteboard, and RTFD packages (a folder NAME.rtfd holding TXT.rtf and its attachments).
//
// The RTF is version 1 with a font table, a colour table, Unicode as \uN escapes of UTF-16
// code units (characters past U+FFFF are two), each with a one-byte fallback (\uc1), and one \par
// per paragraph break. Character formats kept: font family, size, bold, italic, underline,
// strike-out, super- and subscript, foreground and background colour. Text that carries no
// font of its own is written in the document's default font; text without a colour uses the
// reader's default (\cf0).
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>

class Pasteboard;
class QTextCursor;
class QTextDocument;

// RTF of the document's text from position `from` up to, not including, `to` (clamped to the
// text). Images are left out: plain RTF carries no attachments.
QByteArray RTFFromRange(const QTextDocument& document, int from, int to);
// The whole text.
QByteArray RTFFromDocument(const QTextDocument& document);

// HTML of the same range, as UTF-8: a fragment document whose spans keep the fonts, weights
// and colours, for programs that paste HTML but not RTF.
QByteArray HTMLFromRange(const QTextDocument& document, int from, int to);

// Declares the given types on the pasteboard and writes the cursor's selection in each that a
// text view offers: NSRTFPboardType (RTF), NSStringPboardType (plain text, paragraphs
// ending in "\n") and NSHTMLPboardType (HTML). Types not offered are left out. False when any
// type was not written.
bool writeSelectionToPasteboard(const QTextCursor& selection, Pasteboard& pasteboard,
                                const QStringList& types);

// Writes the whole document as the RTFD package `packagePath` (normally ending in ".rtfd"),
// atomically: the package is built beside the target under a hidden temporary name and only
// then put in its place, so a failure leaves nothing new behind and an item already there
// (package or file) stays untouched until the new package is complete. Images in the document
// become attachment files named in TXT.rtf. On failure, *error (when given) says why.
bool writeRTFDPackage(const QTextDocument& document, const QString& packagePath, QString* error = nullptr);

// Fault injection for tests of the package writer. When set, the check is asked before each
// step, by name: "text" (writing TXT.rtf), "exchange" (swapping the new package with an
// existing item in one step; a refusal makes the writer take the path for file systems that
// cannot swap), "install" (renaming the new package into place). A false answer makes that
// step fail as the system call would. Pass nullptr to remove it.
using RTFDStepCheck = std::function<bool(const char* step)>;
void setRTFDStepCheckForTesting(RTFDStepCheck check);
