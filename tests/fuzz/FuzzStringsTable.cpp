// SPDX-License-Identifier: GPL-3.0-or-later
// The .strings reader (the bundle's localized strings): any bytes, UTF-8, UTF-16 or a plist.
#include "platform/cf/CFInternal.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  cf::parseStringsTable(fuzz::bytesOf(data, size));
  return 0;
}
