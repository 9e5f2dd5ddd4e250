// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The save panel: a file dialog that asks for a name to save under, run application-modal.
// It is Qt's own QFileDialog (never the desktop's native one), so it behaves the same on every
// desktop and can be driven offscreen: while it runs it is QApplication::activeModalWidget(),
// its name field the QLineEdit "fileNameEdit".
#include <QString>

class QWidget;

// The most bytes a name may have in `directory` (the file system's limit, else NAME_MAX).
qsizetype maximumFileNameBytes(const QString& directory);

// `text` as a proposed file name that, with "." and `extension` (none when empty), fits in
// `maximumBytes` bytes on disk: unchanged when it fits, else cut after the last word that fits,
// or between characters when not even the first word does.
QString fittingFileName(const QString& text, const QString& extension, qsizetype maximumBytes);

// What runModalForDirectory answers.
inline constexpr int NSCancelButton = 0;
inline constexpr int NSOKButton = 1;

class SavePanel {
 public:
  static SavePanel savePanel() { return SavePanel(); }

  // Linux keeps no per-file "extension hidden" flag that file managers honour, so the panel
  // keeps the choice but shows no control for it.
  void setCanSelectHiddenExtension(bool flag) { canSelectHiddenExtension_ = flag; }
  bool canSelectHiddenExtension() const { return canSelectHiddenExtension_; }

  // The extension (without the dot) that every chosen name carries: a name typed without it
  // gets it added ("notes" and "notes.txt" become "notes.rtfd" and "notes.txt.rtfd"). Empty
  // for none.
  void setRequiredFileType(const QString& type) { requiredFileType_ = type; }
  QString requiredFileType() const { return requiredFileType_; }

  // The window the panel centres on; by default the application's main window.
  void setParentWindow(QWidget* window) { parent_ = window; }

  // Shows the panel in `directory` (when empty: the folder last saved in by a panel of this
  // process, else the user's documents folder, else home) with `file` in the name field,
  // exactly as given. Waits for the user; answers NSOKButton when a name was chosen, else
  // NSCancelButton. Choosing an item that exists asks whether to replace it first.
  //
  // The name field holds one name in the folder shown, never a path: a "/" in it is stored as
  // ":" (as the platform keeps it on disk), and "~", ".." or a leading "/" mean nothing
  // special. A name the system cannot hold (".", "..", one with a NUL) keeps the panel open.
  int runModalForDirectory(const QString& directory, const QString& file);

  // The absolute path chosen, with the required extension; empty until OK was answered.
  QString filename() const { return filename_; }
  QString directory() const;

  // `name` with the required extension added unless it already ends with it (in any case).
  QString withRequiredFileType(const QString& name) const;

 private:
  bool canSelectHiddenExtension_ = false;
  QString requiredFileType_;
  QString filename_;
  QWidget* parent_ = nullptr;
};
