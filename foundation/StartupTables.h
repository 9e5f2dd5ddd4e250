// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The two start-up tables, built empty before main and destroyed at exit. Including this
// header links them in and builds them: each executable's main.cpp includes it.
#include "foundation/MappingTable.h"

extern ExtensionMappingTable ExtensionMappings;
extern FileTypeMappingTable FileTypeMappings;

// The shared empty key, made on first use (thread-safe) and destroyed at exit.
const BoundedString& EmptyBoundedString();

// True once the tables are built; referencing it pulls their initialiser into the program.
bool StartupTablesBuilt();
inline const bool kStartupTablesLinked = StartupTablesBuilt();
