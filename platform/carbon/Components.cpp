// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/carbon/Components.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/carbon/Gestalt.h"
#include "platform/carbon/InternetConfig.h"

struct ComponentRecord {
  ComponentDescription description;
  std::string name;
};

namespace {

struct Registry {
  std::mutex mutex;
  std::vector<std::unique_ptr<ComponentRecord>> components;  // in order of registration
};

Registry& registry() {
  static Registry* made = [] {
    auto* r = new Registry;
    // Internet Config answers from the desktop's databases and is always present.
    r->components.push_back(std::make_unique<ComponentRecord>(ComponentRecord{
        {kICComponentType, kICComponentSubType, kICComponentManufacturer, 0, 0}, "Internet Config"}));
    SetGestaltValue(gestaltComponentMgr, kComponentManagerVersion);
    return r;
  }();
  return *made;
}

bool matches(const ComponentDescription& have, const ComponentDescription* looking) {
  if (!looking) return true;
  if (looking->componentType && looking->componentType != have.componentType) return false;
  if (looking->componentSubType && looking->componentSubType != have.componentSubType) return false;
  if (looking->componentManufacturer && looking->componentManufacturer != have.componentManufacturer)
    return false;
  return ((have.componentFlags ^ looking->componentFlags) & looking->componentFlagsMask) == 0;
}

// Registered at load time, so that Gestalt knows 'cpnt' before the registry is first asked.
const bool registered = (registry(), true);

}  // namespace

long CountComponents(const ComponentDescription* looking) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  return std::count_if(r.components.begin(), r.components.end(),
                       [&](const auto& c) { return matches(c->description, looking); });
}

Component FindNextComponent(Component aComponent, const ComponentDescription* looking) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  auto it = r.components.begin();
  if (aComponent) {
    it = std::find_if(r.components.begin(), r.components.end(),
                      [&](const auto& c) { return c.get() == aComponent; });
    if (it == r.components.end()) return nullptr;
    ++it;
  }
  for (; it != r.components.end(); ++it)
    if (matches((*it)->description, looking)) return it->get();
  return nullptr;
}

Component RegisterComponent(const ComponentDescription* cd, const char* name) {
  if (!cd) return nullptr;
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  r.components.push_back(std::make_unique<ComponentRecord>(ComponentRecord{*cd, name ? name : ""}));
  return r.components.back().get();
}

OSErr UnregisterComponent(Component aComponent) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  auto it = std::find_if(r.components.begin(), r.components.end(),
                         [&](const auto& c) { return c.get() == aComponent; });
  if (!aComponent || it == r.components.end()) return invalidComponentID;
  r.components.erase(it);
  return noErr;
}

OSErr GetComponentInfo(Component aComponent, ComponentDescription* cd) {
  if (!cd) return paramErr;
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  for (const auto& c : r.components)
    if (c.get() == aComponent) {
      *cd = c->description;
      return noErr;
    }
  return invalidComponentID;
}
