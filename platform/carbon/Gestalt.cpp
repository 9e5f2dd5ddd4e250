// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/carbon/Gestalt.h"

#include <unistd.h>

#include <algorithm>
#include <map>
#include <mutex>

namespace {

struct Table {
  std::mutex mutex;
  std::map<OSType, SInt32> values;
};

Table& table() {
  static Table* t = [] {
    auto* made = new Table;
    const long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGESIZE);
    const long long ram = pages > 0 && pageSize > 0 ? (long long)pages * pageSize : 0;
    made->values = {
        {gestaltSystemVersion, kStandInSystemVersion},
        {gestaltSystemVersionMajor, 10},
        {gestaltSystemVersionMinor, 6},
        {gestaltSystemVersionBugFix, 8},
        {gestaltSysArchitecture, gestaltIntel},
        {gestaltPhysicalRAMSize, SInt32(std::min<long long>(ram, 0x7FFFFFFF))},
    };
    return made;
  }();
  return *t;
}

}  // namespace

OSErr Gestalt(OSType selector, SInt32* response) {
  if (!response) return paramErr;
  Table& t = table();
  std::lock_guard lock(t.mutex);
  auto it = t.values.find(selector);
  if (it == t.values.end()) return gestaltUndefSelectorErr;
  *response = it->second;
  return noErr;
}

OSErr NewGestaltValue(OSType selector, SInt32 newValue) {
  Table& t = table();
  std::lock_guard lock(t.mutex);
  return t.values.emplace(selector, newValue).second ? OSErr(noErr) : OSErr(gestaltDupSelectorErr);
}

OSErr ReplaceGestaltValue(OSType selector, SInt32 replacementValue) {
  Table& t = table();
  std::lock_guard lock(t.mutex);
  auto it = t.values.find(selector);
  if (it == t.values.end()) return gestaltUndefSelectorErr;
  it->second = replacementValue;
  return noErr;
}

OSErr SetGestaltValue(OSType selector, SInt32 newValue) {
  Table& t = table();
  std::lock_guard lock(t.mutex);
  t.values[selector] = newValue;
  return noErr;
}

OSErr DeleteGestaltValue(OSType selector) {
  Table& t = table();
  std::lock_guard lock(t.mutex);
  return t.values.erase(selector) ? OSErr(noErr) : OSErr(gestaltUndefSelectorErr);
}
