// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/carbon/PasteboardManager.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHash>
#include <QMimeData>
#include <QPointer>
#include <algorithm>
#include <memory>
#include <vector>

// A pasteboard reference is a CoreFoundation object, so that CFRetain and CFRelease work on it
// as on the platform; the object runtime's header is the way to make one.
#include "platform/cf/CFInternal.h"
#include "platform/cf/CFQt.h"

namespace {

constexpr CFTypeID kPasteboardTypeID = 0x5042;  // 'PB'; clear of the CF types' own ids
constexpr QLatin1String kPrivateMimePrefix("application/x-vocabulon-pasteboard.");

struct Flavor {
  QString type;
  QByteArray data;
  PasteboardFlavorFlags flags = kPasteboardFlavorNoFlags;
};

struct Item {
  PasteboardItemID id = nullptr;
  std::vector<Flavor> flavors;
};

// The contents behind every reference of one name.
struct Store {
  QString name;
  bool onClipboard = false;
  QClipboard::Mode mode = QClipboard::Clipboard;
  std::vector<Item> items;
  quint64 changeCount = 1;
  const void* owner = nullptr;  // the reference that cleared it last
  bool foreign = false;         // the clipboard holds what someone else put there
  bool publishing = false;      // our own write to the clipboard is under way
  QPointer<QClipboard> watched;
};

std::shared_ptr<Store> newStore(const QString& name) {
  auto store = std::make_shared<Store>();
  store->name = name;
  return store;
}

QHash<QString, std::shared_ptr<Store>>& namedStores() {
  static QHash<QString, std::shared_ptr<Store>> stores;
  return stores;
}

// Another program (or another part of this one) taking the clipboard ends our ownership.
void watch(Store& store) {
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (store.watched == clipboard) return;
  store.watched = clipboard;
  store.foreign = true;
  store.items.clear();
  store.owner = nullptr;
  Store* watchedStore = &store;  // named stores live as long as the process
  QObject::connect(clipboard, &QClipboard::changed, clipboard, [watchedStore](QClipboard::Mode mode) {
    if (mode != watchedStore->mode || watchedStore->publishing) return;
    ++watchedStore->changeCount;
    watchedStore->owner = nullptr;
    watchedStore->foreign = true;
    watchedStore->items.clear();
  });
}

QString fromCF(CFStringRef string) { return CFStringToQString(string); }

bool isString(CFTypeRef value) { return value && CFGetTypeID(value) == CFStringGetTypeID(); }

// The MIME types (with their bytes) under which a flavour goes onto the clipboard.
void offer(QMimeData& contents, const Flavor& flavor) {
  const auto set = [&](const QString& format, const QByteArray& bytes) {
    if (!contents.hasFormat(format)) contents.setData(format, bytes);
  };
  const QString& type = flavor.type;
  if (type == QLatin1String("public.utf8-plain-text")) {
    set(QStringLiteral("text/plain;charset=utf-8"), flavor.data);
    set(QStringLiteral("text/plain"), flavor.data);
  } else if (type == QLatin1String("public.utf16-plain-text")) {
    set(QStringLiteral("text/plain;charset=utf-16"), flavor.data);
    const QString text(reinterpret_cast<const QChar*>(flavor.data.constData()), flavor.data.size() / 2);
    set(QStringLiteral("text/plain"), text.toUtf8());
  } else if (type == QLatin1String("public.rtf")) {
    set(QStringLiteral("text/rtf"), flavor.data);
  } else if (type == QLatin1String("public.html")) {
    set(QStringLiteral("text/html"), flavor.data);
  } else if (type == QLatin1String("public.png")) {
    set(QStringLiteral("image/png"), flavor.data);
  } else if (type == QLatin1String("public.jpeg")) {
    set(QStringLiteral("image/jpeg"), flavor.data);
  } else if (type == QLatin1String("public.tiff")) {
    set(QStringLiteral("image/tiff"), flavor.data);
  } else if (type == QLatin1String("public.url") || type == QLatin1String("public.file-url")) {
    set(QStringLiteral("text/uri-list"), flavor.data + "\r\n");
  } else {
    set(kPrivateMimePrefix + type, flavor.data);
  }
}

// What another program's clipboard contents look like as one item.
std::vector<Item> foreignItems(const Store& store) {
  const QMimeData* contents = QGuiApplication::clipboard()->mimeData(store.mode);
  if (!contents) return {};
  Item item;
  item.id = reinterpret_cast<PasteboardItemID>(1);
  const auto add = [&](const QString& type, const QByteArray& data) {
    for (const Flavor& flavor : item.flavors)
      if (flavor.type == type) return;
    item.flavors.push_back({type, data, kPasteboardFlavorNoFlags});
  };
  if (contents->hasText()) add(QStringLiteral("public.utf8-plain-text"), contents->text().toUtf8());
  for (const QString& format : contents->formats()) {
    if (format == QLatin1String("text/rtf") || format == QLatin1String("application/rtf"))
      add(QStringLiteral("public.rtf"), contents->data(format));
    else if (format == QLatin1String("text/html"))
      add(QStringLiteral("public.html"), contents->data(format));
    else if (format == QLatin1String("image/png"))
      add(QStringLiteral("public.png"), contents->data(format));
    else if (format == QLatin1String("image/jpeg"))
      add(QStringLiteral("public.jpeg"), contents->data(format));
    else if (format == QLatin1String("image/tiff"))
      add(QStringLiteral("public.tiff"), contents->data(format));
    else if (format == QLatin1String("text/uri-list")) {
      for (const QByteArray& line : contents->data(format).split('\n')) {
        const QByteArray url = line.trimmed();
        if (url.isEmpty() || url.startsWith('#')) continue;
        add(url.startsWith("file:") ? QStringLiteral("public.file-url") : QStringLiteral("public.url"), url);
        break;
      }
    } else if (format.startsWith(kPrivateMimePrefix)) {
      add(format.mid(kPrivateMimePrefix.size()), contents->data(format));
    }
  }
  if (item.flavors.empty()) return {};
  return {item};
}

bool publish(Store& store) {
  if (!qGuiApp) return false;
  auto* contents = new QMimeData;
  for (const Item& item : store.items)
    for (const Flavor& flavor : item.flavors)
      if (!(flavor.flags & kPasteboardFlavorSenderOnly)) offer(*contents, flavor);
  store.publishing = true;
  QGuiApplication::clipboard()->setMimeData(contents, store.mode);
  store.publishing = false;
  return true;
}

}  // namespace

struct OpaquePasteboardRef final : cf::Object {
  static constexpr CFTypeID kTypeID = kPasteboardTypeID;
  explicit OpaquePasteboardRef(std::shared_ptr<Store> s)
      : Object(kTypeID), store(std::move(s)), synchronized(store->changeCount) {}
  ~OpaquePasteboardRef() override {
    if (store->owner == this) store->owner = nullptr;  // no later reference inherits it
  }
  QString describeContents() const override { return QStringLiteral("name = ") + store->name; }

  std::shared_ptr<Store> store;
  quint64 synchronized;
};

namespace {

OpaquePasteboardRef* pasteboardOf(PasteboardRef ref) { return cf::asMutable<OpaquePasteboardRef>(ref); }

// The reference when it may read: it has caught up with the last change.
OSStatus readable(PasteboardRef ref, OpaquePasteboardRef** out) {
  OpaquePasteboardRef* pasteboard = pasteboardOf(ref);
  if (!pasteboard) return paramErr;
  Store& store = *pasteboard->store;
  if (store.onClipboard) {
    if (!qGuiApp) return coreFoundationUnknownErr;
    watch(store);
  }
  if (pasteboard->synchronized != store.changeCount) return badPasteboardSyncErr;
  *out = pasteboard;
  return noErr;
}

std::vector<Item> itemsOf(const Store& store) {
  return store.onClipboard && store.foreign ? foreignItems(store) : store.items;
}

OSStatus findFlavor(PasteboardRef ref, PasteboardItemID id, CFStringRef type, Flavor* out) {
  OpaquePasteboardRef* pasteboard = nullptr;
  if (const OSStatus status = readable(ref, &pasteboard); status != noErr) return status;
  if (!isString(type)) return paramErr;
  for (const Item& item : itemsOf(*pasteboard->store)) {
    if (item.id != id) continue;
    for (const Flavor& flavor : item.flavors) {
      if (flavor.type == fromCF(type)) {
        *out = flavor;
        return noErr;
      }
    }
    return badPasteboardFlavorErr;
  }
  return badPasteboardItemErr;
}

}  // namespace

CFTypeID PasteboardGetTypeID(void) { return kPasteboardTypeID; }

OSStatus PasteboardCreate(CFStringRef inName, PasteboardRef* outPasteboard) {
  if (!outPasteboard) return paramErr;
  *outPasteboard = nullptr;
  if (inName && !isString(inName)) return paramErr;

  std::shared_ptr<Store> store;
  if (!inName) {
    static quint64 unnamed = 0;
    store = newStore(QStringLiteral("CFPasteboardUnique-%1").arg(++unnamed));
  } else {
    const QString name = fromCF(inName);
    std::shared_ptr<Store>& slot = namedStores()[name];
    if (!slot) {
      slot = newStore(name);
      if (name == fromCF(kPasteboardClipboard)) {
        slot->onClipboard = true;
      } else if (name == fromCF(kPasteboardFind) && qGuiApp &&
                 QGuiApplication::clipboard()->supportsFindBuffer()) {
        slot->onClipboard = true;
        slot->mode = QClipboard::FindBuffer;
      }
    }
    store = slot;
  }
  if (store->onClipboard) {
    if (!qGuiApp) return coreFoundationUnknownErr;
    watch(*store);
  }
  *outPasteboard = new OpaquePasteboardRef(std::move(store));
  return noErr;
}

OSStatus PasteboardCopyName(PasteboardRef inPasteboard, CFStringRef* outName) {
  const OpaquePasteboardRef* pasteboard = pasteboardOf(inPasteboard);
  if (!pasteboard || !outName) return paramErr;
  *outName = CFStringCreateWithQString(pasteboard->store->name);
  return noErr;
}

OSStatus PasteboardClear(PasteboardRef inPasteboard) {
  OpaquePasteboardRef* pasteboard = pasteboardOf(inPasteboard);
  if (!pasteboard) return paramErr;
  Store& store = *pasteboard->store;
  if (store.onClipboard) {
    if (!qGuiApp) return coreFoundationUnknownErr;
    watch(store);
  }
  store.items.clear();
  store.foreign = false;
  store.owner = pasteboard;
  pasteboard->synchronized = ++store.changeCount;
  if (store.onClipboard) publish(store);
  return noErr;
}

PasteboardSyncFlags PasteboardSynchronize(PasteboardRef inPasteboard) {
  OpaquePasteboardRef* pasteboard = pasteboardOf(inPasteboard);
  if (!pasteboard) return 0;
  Store& store = *pasteboard->store;
  if (store.onClipboard && qGuiApp) watch(store);
  PasteboardSyncFlags flags = 0;
  if (pasteboard->synchronized != store.changeCount) {
    flags |= kPasteboardModified;
    pasteboard->synchronized = store.changeCount;
  }
  if (store.owner == pasteboard) flags |= kPasteboardClientIsOwner;
  return flags;
}

OSStatus PasteboardGetItemCount(PasteboardRef inPasteboard, ItemCount* outItemCount) {
  OpaquePasteboardRef* pasteboard = nullptr;
  if (!outItemCount) return paramErr;
  if (const OSStatus status = readable(inPasteboard, &pasteboard); status != noErr) return status;
  *outItemCount = ItemCount(itemsOf(*pasteboard->store).size());
  return noErr;
}

OSStatus PasteboardGetItemIdentifier(PasteboardRef inPasteboard, CFIndex inIndex, PasteboardItemID* outItem) {
  OpaquePasteboardRef* pasteboard = nullptr;
  if (!outItem) return paramErr;
  if (const OSStatus status = readable(inPasteboard, &pasteboard); status != noErr) return status;
  const std::vector<Item> items = itemsOf(*pasteboard->store);
  if (inIndex < 1 || inIndex > CFIndex(items.size())) return badPasteboardIndexErr;
  *outItem = items[std::size_t(inIndex - 1)].id;
  return noErr;
}

OSStatus PasteboardCopyItemFlavors(PasteboardRef inPasteboard, PasteboardItemID inItem,
                                   CFArrayRef* outFlavorTypes) {
  OpaquePasteboardRef* pasteboard = nullptr;
  if (!outFlavorTypes) return paramErr;
  if (const OSStatus status = readable(inPasteboard, &pasteboard); status != noErr) return status;
  for (const Item& item : itemsOf(*pasteboard->store)) {
    if (item.id != inItem) continue;
    CFMutableArrayRef types = CFArrayCreateMutable(kCFAllocatorDefault, 0, &kCFTypeArrayCallBacks);
    for (const Flavor& flavor : item.flavors) {
      CFStringRef type = CFStringCreateWithQString(flavor.type);
      CFArrayAppendValue(types, type);
      CFRelease(type);
    }
    *outFlavorTypes = types;
    return noErr;
  }
  return badPasteboardItemErr;
}

OSStatus PasteboardGetItemFlavorFlags(PasteboardRef inPasteboard, PasteboardItemID inItem,
                                      CFStringRef inFlavorType, PasteboardFlavorFlags* outFlags) {
  if (!outFlags) return paramErr;
  Flavor flavor;
  const OSStatus status = findFlavor(inPasteboard, inItem, inFlavorType, &flavor);
  if (status == noErr) *outFlags = flavor.flags;
  return status;
}

OSStatus PasteboardCopyItemFlavorData(PasteboardRef inPasteboard, PasteboardItemID inItem,
                                      CFStringRef inFlavorType, CFDataRef* outData) {
  if (!outData) return paramErr;
  Flavor flavor;
  const OSStatus status = findFlavor(inPasteboard, inItem, inFlavorType, &flavor);
  if (status == noErr) *outData = CFDataCreateWithQByteArray(flavor.data);
  return status;
}

OSStatus PasteboardPutItemFlavor(PasteboardRef inPasteboard, PasteboardItemID inItem,
                                 CFStringRef inFlavorType, CFDataRef inData, PasteboardFlavorFlags inFlags) {
  OpaquePasteboardRef* pasteboard = pasteboardOf(inPasteboard);
  if (!pasteboard || !isString(inFlavorType) || !inData || CFGetTypeID(inData) != CFDataGetTypeID())
    return paramErr;
  if (!inItem) return badPasteboardItemErr;
  Store& store = *pasteboard->store;
  if (store.onClipboard) {
    if (!qGuiApp) return coreFoundationUnknownErr;
    watch(store);
  }
  if (store.owner != pasteboard || pasteboard->synchronized != store.changeCount)
    return notPasteboardOwnerErr;

  const QString type = fromCF(inFlavorType);
  auto item =
      std::find_if(store.items.begin(), store.items.end(), [&](const Item& i) { return i.id == inItem; });
  if (item == store.items.end()) {
    store.items.push_back({inItem, {}});
    item = store.items.end() - 1;
  }
  for (const Flavor& flavor : item->flavors)
    if (flavor.type == type) return duplicatePasteboardFlavorErr;
  item->flavors.push_back({type, CFDataToQByteArray(inData), inFlags});
  if (store.onClipboard) publish(store);
  return noErr;
}
