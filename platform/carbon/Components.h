// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Component Manager: a process-wide registry of components described by type, subtype,
// manufacturer and flags. Internet Config ('PREF'/'ICAp') is registered when the registry is
// first used; Gestalt answers 'cpnt' with the manager's version.
#include "platform/carbon/MacTypes.h"

#pragma pack(push, 2)
struct ComponentDescription {
  OSType componentType;
  OSType componentSubType;
  OSType componentManufacturer;
  UInt32 componentFlags;
  UInt32 componentFlagsMask;  // which flag bits a search compares
};
#pragma pack(pop)

struct ComponentRecord;
typedef ComponentRecord* Component;

enum : OSType {
  kAnyComponentType = 0,
  kAnyComponentSubType = 0,
  kAnyComponentManufacturer = 0,
  gestaltComponentMgr = FOUR_CHAR_CODE("cpnt"),
};
enum : OSErr {
  invalidComponentID = -3000,
};
// The version Gestalt gives for 'cpnt'.
inline constexpr SInt32 kComponentManagerVersion = 0x00030000;

// Components matching the description; a zero type, subtype or manufacturer matches any, and
// flags are compared under the mask. A null description counts every component.
long CountComponents(const ComponentDescription* looking);
// The next match after aComponent (null: the first), or null.
Component FindNextComponent(Component aComponent, const ComponentDescription* looking);
// Registers a component under the description; null for a null description.
Component RegisterComponent(const ComponentDescription* cd, const char* name);
// invalidComponentID for a component that is not registered.
OSErr UnregisterComponent(Component aComponent);
OSErr GetComponentInfo(Component aComponent, ComponentDescription* cd);
