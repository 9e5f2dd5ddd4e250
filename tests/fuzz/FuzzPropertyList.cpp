// SPDX-License-Identifier: GPL-3.0-or-later
// The property-list reader (Info.plist, workflow documents, preference files): any bytes.
#include "platform/cf/PropertyList.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  QString error;
  if (const auto value = plist::parse(fuzz::bytesOf(data, size), &error)) plist::serialize(*value);
  return 0;
}
