// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/cocoa/SavePanel.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QStandardPaths>
#include <QTextBoundaryFinder>
#include <climits>
#include <unistd.h>

#include "platform/cocoa/Application.h"

namespace {

// Where the next panel opens when its caller names no folder.
QString& lastDirectory() {
  static QString directory;
  return directory;
}

QString defaultDirectory() {
  if (!lastDirectory().isEmpty() && QFileInfo(lastDirectory()).isDir()) return lastDirectory();
  const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  if (!documents.isEmpty() && QFileInfo(documents).isDir()) return documents;
  return QDir::homePath();
}

// The dialog decides the final name itself: the name field's text taken whole (quotes and all,
// where Qt's dialog would read several names), the required extension added, and a package
// folder of that name counted as an item to replace rather than a folder to open.
class SaveDialog : public QFileDialog {
 public:
  SaveDialog(QWidget* parent, const SavePanel& panel) : QFileDialog(parent), panel_(panel) {}

  QLineEdit* nameField() const { return findChild<QLineEdit*>(QStringLiteral("fileNameEdit")); }
  QString chosen() const { return chosen_; }

 protected:
  void accept() override {
    QLineEdit* field = nameField();
    if (!field) return QFileDialog::accept();
    QString name = field->text();
    if (name.isEmpty() || name.contains(QChar(0))) return;
    name = panel_.withRequiredFileType(name.replace(u'/', u':'));
    if (name == QLatin1String(".") || name == QLatin1String("..")) return;
    const QString path = directory().absolutePath() + u'/' + name;
    const QFileInfo item(path);
    if (item.exists() || item.isSymLink()) {
      const auto answer = QMessageBox::warning(
          this, windowTitle(), tr("\"%1\" already exists. Do you want to replace it?").arg(item.fileName()),
          QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
      if (answer != QMessageBox::Yes) return;
    }
    chosen_ = QFileInfo(path).absoluteFilePath();
    QDialog::accept();
  }

 private:
  const SavePanel& panel_;
  QString chosen_;
};

}  // namespace

qsizetype maximumFileNameBytes(const QString& directory) {
  const long limit = directory.isEmpty() ? -1 : ::pathconf(QFile::encodeName(directory).constData(), _PC_NAME_MAX);
  return limit > 0 ? qsizetype(limit) : qsizetype(NAME_MAX);
}

QString fittingFileName(const QString& text, const QString& extension, qsizetype maximumBytes) {
  const qsizetype room = maximumBytes - (extension.isEmpty() ? 0 : QFile::encodeName(extension).size() + 1);
  if (QFile::encodeName(text).size() <= room) return text;
  if (room <= 0) return QString();
  // Characters one after another, until the next would not fit; the last word's end among them.
  QTextBoundaryFinder characters(QTextBoundaryFinder::Grapheme, text);
  QTextBoundaryFinder words(QTextBoundaryFinder::Word, text);
  qsizetype bytes = 0, lastCharacter = 0, lastWordEnd = 0;
  for (qsizetype at = characters.toNextBoundary(); at > 0; at = characters.toNextBoundary()) {
    bytes += QFile::encodeName(text.mid(lastCharacter, at - lastCharacter)).size();
    if (bytes > room) break;
    lastCharacter = at;
    words.setPosition(at);
    if (words.isAtBoundary() && (words.boundaryReasons() & QTextBoundaryFinder::EndOfItem)) lastWordEnd = at;
  }
  return text.left(lastWordEnd > 0 ? lastWordEnd : lastCharacter);
}

QString SavePanel::withRequiredFileType(const QString& name) const {
  if (requiredFileType_.isEmpty()) return name;
  const QString suffix = u'.' + requiredFileType_;
  return name.endsWith(suffix, Qt::CaseInsensitive) ? name : name + suffix;
}

QString SavePanel::directory() const {
  return filename_.isEmpty() ? defaultDirectory() : QFileInfo(filename_).absolutePath();
}

int SavePanel::runModalForDirectory(const QString& directory, const QString& file) {
  filename_.clear();
  QWidget* parent = parent_ ? parent_ : Application::shared().mainWindow();
  SaveDialog dialog(parent, *this);
  dialog.setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::DontConfirmOverwrite);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setWindowModality(Qt::ApplicationModal);
  dialog.setWindowTitle(QFileDialog::tr("Save"));
  if (!requiredFileType_.isEmpty()) dialog.setNameFilter(QStringLiteral("*.%1").arg(requiredFileType_));
  dialog.setDirectory(directory.isEmpty() ? defaultDirectory() : directory);
  // The name goes in as given: a "/" in it is part of the proposal, not a folder to go to.
  if (QLineEdit* field = dialog.nameField())
    field->setText(file);
  else
    dialog.selectFile(file);

  if (dialog.exec() != QDialog::Accepted || dialog.chosen().isEmpty()) return NSCancelButton;
  filename_ = dialog.chosen();
  lastDirectory() = QFileInfo(filename_).absolutePath();
  return NSOKButton;
}
