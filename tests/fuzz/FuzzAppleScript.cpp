// SPDX-License-Identifier: GPL-3.0-or-later
// The script runner: any bytes as UTF-8 source, compiled and run, the result read back.
#include "platform/cocoa/AppleScript.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  NSAppleScript script(QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size)));
  QVariantMap error;
  if (const auto result = script.executeAndReturnError(&error)) {
    result->stringValue();
    for (long i = 1; i <= result->numberOfItems() && i <= 4; ++i) {
      if (const auto item = result->descriptorAtIndex(i)) item->stringValue();
    }
  }
  return 0;
}
