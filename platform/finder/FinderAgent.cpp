// SPDX-License-Identifier: GPL-3.0-or-later
// The Finder agent: registers as type 'FNDR', creator 'MACS', answers the Finder's events about
// items (comments kept in the freedesktop user.xdg.comment attribute, which Linux file
// managers show and search tools index; update notices), and exits once idle for a while
// ($VOCABULON_FINDER_IDLE_SECONDS, default 60).
#include <sys/xattr.h>

#include <QString>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/carbon/Aliases.h"
#include "platform/carbon/AppleEvents.h"
#include "platform/carbon/Memory.h"

namespace {

constexpr const char* kCommentAttribute = "user.xdg.comment";

// The item an object specifier names: "property comt of (file|cobj) named <HFS path>".
OSErr itemOfSpecifier(const AppleEvent* event, std::string* path) {
  AEDesc property, container, name;
  if (OSErr err = AEGetParamDesc(event, keyDirectObject, typeAERecord, &property)) return err;
  DescType seld = 0;
  OSErr err = AEGetKeyPtr(&property, keyAEKeyData, typeType, nullptr, &seld, sizeof seld, nullptr);
  if (!err && seld != pComment) err = errAEEventNotHandled;
  if (!err) err = AEGetKeyDesc(&property, keyAEContainer, typeAERecord, &container);
  AEDisposeDesc(&property);
  if (err) return err;
  err = AEGetKeyDesc(&container, keyAEKeyData, typeUnicodeText, &name);
  AEDisposeDesc(&container);
  if (err) return err;
  const Size size = AEGetDescDataSize(&name);
  std::u16string units(std::size_t(size / 2), u'\0');
  AEGetDescData(&name, units.data(), size);
  AEDisposeDesc(&name);
  // The HFS path names the item through the classic lookup of a full colon path.
  const QByteArray hfs = QString::fromStdU16String(units).toUtf8();
  if (hfs.isEmpty() || hfs.size() > 255) return bdNamErr;
  Str255 pascal;
  pascal[0] = UInt8(hfs.size());
  std::memcpy(pascal + 1, hfs.constData(), std::size_t(hfs.size()));
  FSSpec spec;
  FSRef ref;
  if ((err = FSMakeFSSpec(0, 0, pascal, &spec)) != noErr) return err;
  if ((err = FSpMakeFSRef(&spec, &ref)) != noErr) return err;
  UInt8 buffer[4096];
  if ((err = OSErr(FSRefMakePath(&ref, buffer, sizeof buffer))) != noErr) return err;
  *path = reinterpret_cast<char*>(buffer);
  return noErr;
}

OSErr xattrError(int error) {
  // A file system without user attributes cannot keep comments: say so plainly.
  if (error == ENOTSUP) return wrgVolTypErr;
  if (error == ENOENT) return fnfErr;
  if (error == EACCES || error == EPERM) return afpAccessDenied;
  if (error == ENOSPC || error == E2BIG) return dskFulErr;
  return ioErr;
}

OSErr getComment(const AppleEvent* event, AppleEvent* reply, SRefCon) {
  std::string path;
  if (OSErr err = itemOfSpecifier(event, &path)) return err;
  std::string value(65536, '\0');
  const ssize_t n = getxattr(path.c_str(), kCommentAttribute, value.data(), value.size());
  if (n < 0 && errno != ENODATA) return xattrError(errno);
  value.resize(n < 0 ? 0 : std::size_t(n));
  const QString text = QString::fromUtf8(value.data(), qsizetype(value.size()));
  return AEPutParamPtr(reply, keyDirectObject, typeUnicodeText, text.utf16(), Size(text.size() * 2));
}

OSErr setComment(const AppleEvent* event, AppleEvent*, SRefCon) {
  std::string path;
  if (OSErr err = itemOfSpecifier(event, &path)) return err;
  AEDesc data;
  if (OSErr err = AEGetParamDesc(event, keyAEData, typeUnicodeText, &data)) return err;
  const Size size = AEGetDescDataSize(&data);
  std::u16string units(std::size_t(size / 2), u'\0');
  AEGetDescData(&data, units.data(), size);
  AEDisposeDesc(&data);
  const QByteArray utf8 = QString::fromStdU16String(units).toUtf8();
  if (utf8.isEmpty()) {
    if (removexattr(path.c_str(), kCommentAttribute) != 0 && errno != ENODATA) return xattrError(errno);
    return noErr;
  }
  if (setxattr(path.c_str(), kCommentAttribute, utf8.constData(), std::size_t(utf8.size()), 0) != 0)
    return xattrError(errno);
  return noErr;
}

// Linux file managers watch folders themselves; the notice is accepted once its item is found.
OSErr update(const AppleEvent* event, AppleEvent*, SRefCon) {
  AEDesc alias;
  if (OSErr err = AEGetParamDesc(event, keyDirectObject, typeFSRef, &alias)) return err;
  AEDisposeDesc(&alias);
  return noErr;
}

}  // namespace

int main() {
  // Registered as the Finder before the first handler would register it from the bundle.
  if (processes::registerSelf(FOUR_CHAR_CODE("FNDR"), FOUR_CHAR_CODE("MACS")) != noErr) return 1;
  if (AEInstallEventHandler(kAECoreSuite, kAEGetData, getComment, 0, false) != noErr ||
      AEInstallEventHandler(kAECoreSuite, kAESetData, setComment, 0, false) != noErr ||
      AEInstallEventHandler(kAEFinderEvents, kAEUpdate, update, 0, false) != noErr)
    return 1;
  const char* configured = std::getenv("VOCABULON_FINDER_IDLE_SECONDS");
  const int idleSeconds = configured && std::atoi(configured) > 0 ? std::atoi(configured) : 60;
  auto lastEvent = std::chrono::steady_clock::now();
  while (std::chrono::steady_clock::now() - lastEvent < std::chrono::seconds(idleSeconds)) {
    if (AEProcessPendingEvents(250) > 0) lastEvent = std::chrono::steady_clock::now();
  }
  // Gone from the registry before the last events could be addressed to a process that exits.
  processes::unregisterSelf();
  AEProcessPendingEvents(0);
  return 0;
}
