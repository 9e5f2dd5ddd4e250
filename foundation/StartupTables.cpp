// SPDX-License-Identifier: GPL-3.0-or-later
#include "foundation/StartupTables.h"

const BoundedString& EmptyBoundedString() {
  static const BoundedString empty;
  return empty;
}

// One initialiser for this file: the tables in this order, their destructions registered at
// exit (and run in the reverse order, after which the shared empty key goes).
ExtensionMappingTable ExtensionMappings(EmptyBoundedString());
FileTypeMappingTable FileTypeMappings(0);

namespace {
bool built = true;  // constant-initialised, so true before any dynamic initialiser asks
}

bool StartupTablesBuilt() { return built; }
