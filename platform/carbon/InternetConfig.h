// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Internet Config records shared by the mapping tables and the Internet Config client.
#include "platform/carbon/MacTypes.h"

#pragma pack(push, 2)
// One file-mapping entry: what ICGetIndMapEntry fills. Handled whole, by value.
struct ICMapEntry {
  SInt16 totalLength;
  UInt16 fixedLength;
  UInt16 version;
  OSType fileType;
  OSType fileCreator;
  OSType postCreator;
  UInt32 flags;
  Str255 extension;
  Str255 creatorAppName;
  Str255 postAppName;
  Str255 MIMEType;
  Str255 entryName;
};
#pragma pack(pop)
static_assert(sizeof(ICMapEntry) == 1302);
