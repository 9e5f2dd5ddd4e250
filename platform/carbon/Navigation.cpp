// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/carbon/Navigation.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QLabel>
#include <QSortFilterProxyModel>
#include <QTimer>
#include <cstring>

namespace {

QString pascalText(const unsigned char* p) {
  const QByteArray bytes(reinterpret_cast<const char*>(p + 1), p[0]);
  const QString text = QString::fromUtf8(bytes);
  return text.toUtf8() == bytes ? text : QString::fromLatin1(bytes);
}

bool specOfPath(const QString& path, FSSpec* spec) {
  const QByteArray local = QFile::encodeName(path);
  FSRef ref;
  return FSPathMakeRef(reinterpret_cast<const UInt8*>(local.constData()), &ref, nullptr) == noErr &&
         FSGetCatalogInfo(&ref, kFSCatInfoNone, nullptr, nullptr, spec, nullptr) == noErr;
}

// The path an 'fss ' descriptor names, or nothing.
QString pathOfDescriptor(const AEDesc* desc) {
  if (!desc || desc->descriptorType != typeFSS || AEGetDescDataSize(desc) != Size(sizeof(FSSpec))) return {};
  FSSpec spec;
  FSRef ref;
  UInt8 path[4096];
  if (AEGetDescData(desc, &spec, sizeof spec) || FSpMakeFSRef(&spec, &ref) || FSRefMakePath(&ref, path, sizeof path))
    return {};
  return QFile::decodeName(reinterpret_cast<const char*>(path));
}

// Hides the items the caller's filter refuses.
class ObjectFilter : public QSortFilterProxyModel {
 public:
  ObjectFilter(QFileDialog* dialog, NavObjectFilterUPP proc, void* userData)
      : dialog_(dialog), proc_(proc), userData_(userData) {
    connect(dialog, &QFileDialog::directoryEntered, this, [this] { invalidateFilter(); });
  }

 protected:
  bool filterAcceptsRow(int row, const QModelIndex& parent) const override {
    auto* model = qobject_cast<QFileSystemModel*>(sourceModel());
    if (!model) return true;
    const QString path = model->filePath(model->index(row, 0, parent));
    // Only the items of the folder shown are the user's to choose from; the folders above it
    // are the way there, and other folders are asked again when the user enters them.
    const QString shown = QDir::cleanPath(dialog_->directory().absolutePath());
    if (QDir::cleanPath(model->filePath(parent)) != shown) return true;
    FSSpec spec;
    if (!specOfPath(path, &spec)) return true;
    AEDesc item;
    if (AECreateDesc(typeFSS, &spec, sizeof spec, &item)) return true;
    const bool accepted = proc_(&item, nullptr, userData_, kNavFilteringBrowserList);
    AEDisposeDesc(&item);
    return accepted;
  }

 private:
  QFileDialog* dialog_;
  NavObjectFilterUPP proc_;
  void* userData_;
};

OSErr runDialog(bool folders, const AEDesc* defaultLocation, NavReplyRecord* reply,
                const NavDialogOptions* options, NavObjectFilterUPP filterProc, void* callBackUD) {
  if (!reply) return paramErr;
  std::memset(reply, 0, sizeof *reply);
  reply->version = kNavReplyRecordVersion;
  AEInitializeDesc(&reply->selection);
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return kNavInvalidSystemConfigErr;

  QFileDialog dialog(QApplication::activeWindow());
  dialog.setObjectName(QStringLiteral("NavigationDialog"));
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  if (folders) {
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
  } else {
    const bool several = options && (options->dialogOptionFlags & kNavAllowMultipleFiles);
    dialog.setFileMode(several ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
  }
  QString message;
  if (options) {
    if (options->windowTitle[0]) dialog.setWindowTitle(pascalText(options->windowTitle));
    if (options->actionButtonLabel[0]) dialog.setLabelText(QFileDialog::Accept, pascalText(options->actionButtonLabel));
    if (options->cancelButtonLabel[0]) dialog.setLabelText(QFileDialog::Reject, pascalText(options->cancelButtonLabel));
    if (options->message[0]) message = pascalText(options->message);
    if (options->dialogOptionFlags & kNavAllowInvisibleFiles) dialog.setFilter(dialog.filter() | QDir::Hidden);
  }
  const QString location = pathOfDescriptor(defaultLocation);
  if (!location.isEmpty()) {
    const QFileInfo info(location);
    if (info.isDir()) {
      dialog.setDirectory(location);
    } else {
      dialog.setDirectory(info.path());
      dialog.selectFile(info.fileName());
    }
  }
  // After the location, so that the filter sees the folder shown from the start.
  if (filterProc) {
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setProxyModel(new ObjectFilter(&dialog, filterProc, callBackUD));
  }
  // The message goes above the buttons of the widget dialog; a native dialog has no room.
  if (!message.isEmpty())
    QTimer::singleShot(0, &dialog, [&dialog, message] {
      if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout())) {
        auto* label = new QLabel(message, &dialog);
        label->setObjectName(QStringLiteral("NavigationMessage"));
        label->setWordWrap(true);
        grid->addWidget(label, grid->rowCount(), 0, 1, grid->columnCount());
      }
    });
  if (dialog.exec() != QDialog::Accepted) return userCanceledErr;

  if (OSErr err = AECreateList(nullptr, 0, false, &reply->selection)) return err;
  long count = 0;
  for (const QString& path : dialog.selectedFiles()) {
    FSSpec spec;
    if (!specOfPath(path, &spec)) continue;
    if (OSErr err = AEPutPtr(&reply->selection, ++count, typeFSS, &spec, sizeof spec)) {
      AEDisposeDesc(&reply->selection);
      return err;
    }
  }
  if (count == 0) {
    AEDisposeDesc(&reply->selection);
    return userCanceledErr;
  }
  reply->validRecord = true;
  return noErr;
}

}  // namespace

OSErr NavGetDefaultDialogOptions(NavDialogOptions* dialogOptions) {
  if (!dialogOptions) return paramErr;
  std::memset(dialogOptions, 0, sizeof *dialogOptions);
  dialogOptions->version = kNavDialogOptionsVersion;
  dialogOptions->dialogOptionFlags = kNavDefaultNavDlogOptions;
  dialogOptions->locationV = dialogOptions->locationH = -1;
  return noErr;
}

OSErr NavChooseFolder(const AEDesc* defaultLocation, NavReplyRecord* reply, NavDialogOptions* dialogOptions,
                      NavEventUPP, NavObjectFilterUPP filterProc, void* callBackUD) {
  return runDialog(true, defaultLocation, reply, dialogOptions, filterProc, callBackUD);
}

OSErr NavChooseFile(const AEDesc* defaultLocation, NavReplyRecord* reply, NavDialogOptions* dialogOptions,
                    NavEventUPP, NavPreviewUPP, NavObjectFilterUPP filterProc, NavTypeListHandle,
                    void* callBackUD) {
  return runDialog(false, defaultLocation, reply, dialogOptions, filterProc, callBackUD);
}

OSErr NavDisposeReply(NavReplyRecord* reply) {
  if (!reply) return paramErr;
  AEDisposeDesc(&reply->selection);
  reply->validRecord = false;
  return noErr;
}
