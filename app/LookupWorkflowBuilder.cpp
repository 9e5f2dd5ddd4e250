// SPDX-License-Identifier: GPL-3.0-or-later
// The controller's workflow, and the folder in Application Support that it is written to.
#include "app/LookupWorkflowBuilder.h"

#include <QLabel>
#include <QUrl>

#include "app/LexoraAppDelegate.h"
#include "foundation/NSStringExtensions.h"
#include "platform/automator/Workflow.h"
#include "platform/carbon/Files.h"
#include "platform/carbon/Folders.h"
#include "platform/carbon/Memory.h"
#include "platform/cf/CoreFoundation.h"

namespace {
const char* const kVendorFolderName = "Quenbrook";
}

UniChar* CopyStringCharacters(CFStringRef string, UniCharCount* length) {
  const CFIndex count = CFStringGetLength(string);
  *length = static_cast<UniCharCount>(count);
  auto* characters = reinterpret_cast<UniChar*>(NewPtr(count * 2));
  if (characters) CFStringGetCharacters(string, CFRangeMake(0, count), characters);
  return characters;
}

Boolean FolderItemExists(const FSRef* parent, CFStringRef name, FSRef* item) {
  UniCharCount length = 0;
  UniChar* characters = CopyStringCharacters(name, &length);
  const OSErr status = FSMakeFSRefUnicode(parent, length, characters, kTextEncodingUnknown, item);
  DisposePtr(reinterpret_cast<Ptr>(characters));
  return status != fnfErr;
}

OSErr CreateFolderIfMissing(const FSRef* parent, CFStringRef name, FSRef* folder) {
  if (FolderItemExists(parent, name, folder)) return noErr;
  UniCharCount length = 0;
  UniChar* characters = CopyStringCharacters(name, &length);
  const OSErr status = FSCreateDirectoryUnicode(parent, length, characters, kFSCatInfoNone, nullptr,
                                                folder, nullptr, nullptr);
  DisposePtr(reinterpret_cast<Ptr>(characters));
  return status;
}

CFStringRef CopyBundleName() {
  const auto name = static_cast<CFStringRef>(
      CFBundleGetValueForInfoDictionaryKey(CFBundleGetMainBundle(), kCFBundleNameKey));
  if (!name || CFGetTypeID(name) != CFStringGetTypeID()) return nullptr;
  return CFStringCreateCopy(kCFAllocatorDefault, name);
}

Boolean GetApplicationSupportFolder(FSRef* folder) {
  FSRef applicationSupport{}, vendor{};
  if (FSFindFolder(kUserDomain, kApplicationSupportFolderType, kCreateFolder, &applicationSupport) != noErr)
    return false;
  CFStringRef vendorName = CFStringCreateWithCString(kCFAllocatorDefault, kVendorFolderName, kCFStringEncodingUTF8);
  const bool vendorReady = FolderItemExists(&applicationSupport, vendorName, &vendor) ||
                           CreateFolderIfMissing(&applicationSupport, vendorName, &vendor) == noErr;
  CFRelease(vendorName);
  if (!vendorReady) return false;
  // A bundle without a name has no folder of its own to be given.
  CFStringRef bundleName = CopyBundleName();
  if (!bundleName) return false;
  bool found = FolderItemExists(&vendor, bundleName, folder);
  if (!found) found = CreateFolderIfMissing(&vendor, bundleName, folder) == noErr;
  CFRelease(bundleName);
  return found;
}

void LexoraAppDelegate::buildWorkflow() {
  QString name = selectedDictionaryName();
  // With nothing selected the parameter names no installed dictionary; say so plainly.
  if (name.isNull()) name = QStringLiteral("(none)");
  setStatus(QStringLiteral("Building workflow for dictionary: %1").arg(name));
  std::unique_ptr<Workflow> workflow = makeDefinitionWorkflow(name);
  FSRef folder{};
  if (workflow && GetApplicationSupportFolder(&folder)) {
    const QString path = NSStringExtensions::stringWithFSRef(&folder);
    if (!path.isNull()) {
      workflowURL = QUrl::fromLocalFile(path + '/' + QString::fromLatin1(kWorkflowFileName));
      if (!workflow->writeToURL(workflowURL, nullptr)) workflowURL = QUrl();
    }
  }
  setStatus(QString());
}
