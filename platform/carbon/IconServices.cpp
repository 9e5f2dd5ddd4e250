// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/carbon/IconServices.h"

#include <QFile>
#include <QImageReader>
#include <algorithm>
#include <climits>
#include <map>
#include <mutex>
#include <set>

struct OpaqueIconRef {
  QList<QImage> images;
  int references = 0;  // the registration's, while registered, and every holder's
  bool registered = false;
  std::pair<OSType, OSType> key;
};

namespace {

struct Registry {
  std::mutex mutex;
  std::map<std::pair<OSType, OSType>, IconRef> byKey;
  std::set<IconRef> live;
};

Registry& registry() {
  static Registry* r = new Registry;  // icons may be released at exit
  return *r;
}

// Every image of the file, largest first; empty when it is not an icon family.
QList<QImage> loadIcons(const QString& path) {
  QList<QImage> images;
  QImageReader reader(path, "icns");
  if (!reader.canRead()) return images;
  const int count = std::max(reader.imageCount(), 1);
  for (int i = 0; i < count; ++i) {
    if (i > 0 && !reader.jumpToImage(i)) break;
    QImage image = reader.read();
    if (!image.isNull()) images << image;
  }
  std::stable_sort(images.begin(), images.end(),
                   [](const QImage& a, const QImage& b) { return a.width() > b.width(); });
  return images;
}

void dropReference(Registry& r, IconRef icon) {
  if (--icon->references > 0) return;
  r.live.erase(icon);
  delete icon;
}

}  // namespace

OSErr RegisterIconRefFromFSRef(OSType creator, OSType iconType, const FSRef* iconFile,
                               IconRef* theIconRef) {
  if (!iconFile || !theIconRef) return paramErr;
  *theIconRef = nullptr;
  UInt8 path[PATH_MAX];
  if (OSStatus err = FSRefMakePath(iconFile, path, sizeof path)) return OSErr(err);
  Registry& r = registry();
  const std::pair key{creator, iconType};
  {
    std::lock_guard lock(r.mutex);
    auto it = r.byKey.find(key);
    if (it != r.byKey.end()) {
      ++it->second->references;
      *theIconRef = it->second;
      return noErr;
    }
  }
  QList<QImage> images = loadIcons(QFile::decodeName(reinterpret_cast<const char*>(path)));
  if (images.isEmpty()) return invalidIconRefErr;
  std::lock_guard lock(r.mutex);
  IconRef& slot = r.byKey[key];
  if (!slot) {  // not registered meanwhile by another thread
    slot = new OpaqueIconRef{std::move(images), 1, true, key};
    r.live.insert(slot);
  }
  ++slot->references;
  *theIconRef = slot;
  return noErr;
}

OSErr GetIconRef(SInt16, OSType creator, OSType iconType, IconRef* theIconRef) {
  if (!theIconRef) return paramErr;
  *theIconRef = nullptr;
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  auto it = r.byKey.find({creator, iconType});
  if (it == r.byKey.end()) return noSuchIconErr;
  ++it->second->references;
  *theIconRef = it->second;
  return noErr;
}

OSErr AcquireIconRef(IconRef theIconRef) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  if (!r.live.count(theIconRef)) return invalidIconRefErr;
  ++theIconRef->references;
  return noErr;
}

OSErr ReleaseIconRef(IconRef theIconRef) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  if (!r.live.count(theIconRef)) return invalidIconRefErr;
  dropReference(r, theIconRef);
  return noErr;
}

OSErr UnregisterIconRef(OSType creator, OSType iconType) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  auto it = r.byKey.find({creator, iconType});
  if (it == r.byKey.end()) return noSuchIconErr;
  IconRef icon = it->second;
  r.byKey.erase(it);
  icon->registered = false;
  dropReference(r, icon);
  return noErr;
}

OSErr GetIconRefOwners(IconRef theIconRef, UInt16* owners) {
  if (!owners) return paramErr;
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  if (!r.live.count(theIconRef)) return invalidIconRefErr;
  *owners = UInt16(std::min(theIconRef->references, 0xFFFF));
  return noErr;
}

QList<QImage> IconRefImages(IconRef theIconRef) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  return r.live.count(theIconRef) ? theIconRef->images : QList<QImage>();
}
