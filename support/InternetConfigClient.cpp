// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/InternetConfigClient.h"

#include <cstring>

#include "foundation/StartupTables.h"
#include "platform/carbon/Components.h"
#include "platform/carbon/DesktopDatabase.h"
#include "platform/carbon/Gestalt.h"
#include "platform/carbon/Memory.h"
#include "support/BundleInfo.h"

namespace {
constexpr OSStatus kNotStarted = -1;
}

InternetConfigClient::InternetConfigClient(OSType signature) : signature(signature) {
  SInt32 response = 0;
  const ComponentDescription wanted{kICComponentType, kICComponentSubType, 0, 0, 0};
  available = Gestalt(gestaltComponentMgr, &response) == noErr && CountComponents(&wanted) > 0;
}

InternetConfigClient::~InternetConfigClient() {
  if (mappingHandle) DisposeHandle(mappingHandle);  // a walk left open
  Stop();
}

OSStatus InternetConfigClient::Start() {
  const OSStatus err = ICStart(&instance, signature);
  if (err == noErr) started = true;
  return err;
}

void InternetConfigClient::Stop() {
  if (!started) return;
  started = false;
  ICStop(instance);
  instance = nullptr;
}

OSStatus InternetConfigClient::LaunchURL(ConstStr255Param url) {
  if (!started) return kNotStarted;
  if (!url) return paramErr;
  long start = 0, end = url[0];
  return ICLaunchURL(instance, reinterpret_cast<const unsigned char*>(""), url + 1, url[0], &start, &end);
}

OSStatus InternetConfigClient::MapFilename(ConstStr255Param name, ICMapEntry* entry) {
  if (!started) return kNotStarted;
  return ICMapFilename(instance, name, entry);
}

OSStatus InternetConfigClient::MapFilename(const char* name, ICMapEntry* entry) {
  if (!started) return kNotStarted;
  if (!name) return paramErr;
  Str255 pascal;
  const std::size_t length = strnlen(name, 255);
  pascal[0] = UInt8(length);
  std::memcpy(pascal + 1, name, length);
  return ICMapFilename(instance, pascal, entry);
}

OSStatus InternetConfigClient::GetPrefSized(ConstStr255Param key, void* buffer, long size) {
  if (!started) return kNotStarted;
  ICAttr attr;
  return ICGetPref(instance, key, &attr, buffer, &size);
}

OSStatus InternetConfigClient::GetPref(ConstStr255Param key, unsigned char buffer[260]) {
  return GetPrefSized(key, buffer, 260);
}

OSStatus InternetConfigClient::GetPref256(ConstStr255Param key, unsigned char buffer[256]) {
  return GetPrefSized(key, buffer, 256);
}

OSStatus InternetConfigClient::EditPreferences(ConstStr255Param key) {
  if (!started) return kNotStarted;
  return ICEditPreferences(instance, key);
}

OSStatus InternetConfigClient::GetHelperApplication(ConstStr255Param key, FSSpec* application,
                                                    OSType* creator) {
  if (!started || !application || !creator) return kNotStarted;
  ICAppSpec spec;
  long size = sizeof spec;
  ICAttr attr;
  if (ICGetPref(instance, key, &attr, &spec, &size) != noErr || size != long(sizeof spec)) return kNotStarted;
  if (!FindNewestApplication(spec.fCreator, application)) return kNotStarted;
  *creator = spec.fCreator;
  return noErr;
}

OSStatus InternetConfigClient::BeginMappings() {
  nextIndex = 1;
  if (!started) return kNotStarted;
  OSStatus err = ICBegin(instance, icReadOnlyPerm);
  if (err) return err;
  if (!mappingHandle) mappingHandle = NewHandle(0);
  ICAttr attr;
  long count = 0;
  err = mappingHandle ? ICGetPrefHandle(instance, reinterpret_cast<const unsigned char*>("\7Mapping"), &attr, mappingHandle)
                      : OSStatus(memFullErr);
  if (err == noErr) err = ICCountMapEntries(instance, mappingHandle, &count);
  if (err) {
    if (mappingHandle) DisposeHandle(mappingHandle);
    mappingHandle = nullptr;
    ICEnd(instance);
    return err;
  }
  entryCount = SInt32(count);
  return noErr;
}

bool InternetConfigClient::NextMapping(ICMapEntry* entry) {
  if (!started || !mappingHandle || nextIndex > entryCount || !entry) return false;
  long pos;
  ICGetIndMapEntry(instance, mappingHandle, nextIndex, &pos, entry);
  ++nextIndex;
  return true;
}

OSStatus InternetConfigClient::EndMappings() {
  if (!started || !mappingHandle) return kNotStarted;
  DisposeHandle(mappingHandle);
  mappingHandle = nullptr;
  return ICEnd(instance);
}

namespace {

template <class Fill>
void loadMappings(Fill fill) {
  InternetConfigClient client(GetBundleSignature());
  client.Start();
  client.BeginMappings();
  ICMapEntry entry;
  while (client.NextMapping(&entry)) fill(entry);
  client.EndMappings();
  client.Stop();
}

}  // namespace

void LoadExtensionMappings() {
  loadMappings([](const ICMapEntry& entry) {
    BoundedString key;
    key.AssignPascal(entry.extension);
    auto* node = ExtensionMappings.findOrInsert(key.c_str(), &ExtensionMappings.defaultEntry);
    std::memcpy(&node->entry, &entry, sizeof entry);
  });
}

void LoadFileTypeMappings() {
  loadMappings([](const ICMapEntry& entry) {
    auto* node = FileTypeMappings.findOrInsert(entry.fileType, &FileTypeMappings.defaultEntry);
    std::memcpy(&node->entry, &entry, sizeof entry);
  });
}

Boolean FindNewestApplication(OSType creator, FSSpec* application) {
  UInt32 bestDate = 0;
  bool found = false;
  FSSpec best{};
  for (SInt16 index = 1;; ++index) {
    HParamBlockRec volume{};
    volume.volumeParam.ioVolIndex = index;
    if (PBHGetVInfoSync(&volume) != noErr) break;
    DTPBRec desktop{};
    desktop.header.ioVRefNum = volume.volumeParam.header.ioVRefNum;
    if (PBDTGetPath(&desktop) != noErr) continue;
    Str255 name;
    desktop.header.ioNamePtr = name;
    desktop.ioIndex = 0;
    desktop.ioFileCreator = creator;
    if (PBDTGetAPPLSync(&desktop) != noErr) continue;
    CInfoPBRec info{};
    info.hFileInfo.header.ioNamePtr = name;
    info.hFileInfo.header.ioVRefNum = desktop.header.ioVRefNum;
    info.hFileInfo.ioDirID = desktop.ioAPPLParID;
    info.hFileInfo.ioFDirIndex = 0;
    if (PBGetCatInfoSync(&info) != noErr) continue;
    if (info.hFileInfo.ioFlMdDat > bestDate) {
      bestDate = info.hFileInfo.ioFlMdDat;
      best.vRefNum = desktop.header.ioVRefNum;
      best.parID = desktop.ioAPPLParID;
      std::memcpy(best.name, name, std::min<int>(name[0], 63) + 1);
      best.name[0] = std::min<int>(name[0], 63);
      found = true;
    }
  }
  if (found && application) *application = best;
  return found;
}
