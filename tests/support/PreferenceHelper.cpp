// SPDX-License-Identifier: GPL-3.0-or-later
// A second process for the preference tests. Runs its arguments as operations, in order, and
// prints one line for each:
//   set KEY VALUE m|a    SetPreference of the text VALUE, machine-wide (m) or not (a): its result
//   copy KEY m|a         CopyPreference: the text, or "(null)"
//   fill PREFIX COUNT    SetPreference of PREFIX0..PREFIX<COUNT-1> = 0..COUNT-1, not machine-wide
#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/cf/CFNumber.h"
#include "platform/cf/CFQt.h"
#include "support/BundleInfo.h"

namespace {

struct PascalKey {
  explicit PascalKey(const std::string& text) {
    bytes[0] = UInt8(std::min<std::size_t>(text.size(), 255));
    std::memcpy(bytes + 1, text.data(), bytes[0]);
  }
  Str255 bytes;
};

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc;) {
    const std::string op = argv[i];
    if (op == "set" && i + 3 < argc) {
      CFStringRef value = CFStringCreateWithQString(QString::fromUtf8(argv[i + 2]));
      std::printf("%d\n", SetPreference(value, PascalKey(argv[i + 1]).bytes, argv[i + 3][0] == 'm'));
      CFRelease(value);
      i += 4;
    } else if (op == "copy" && i + 2 < argc) {
      CFPropertyListRef value = CopyPreference(PascalKey(argv[i + 1]).bytes, argv[i + 2][0] == 'm');
      std::printf("%s\n", value ? CFStringToQString(static_cast<CFStringRef>(value)).toUtf8().constData() : "(null)");
      CFRelease(value);
      i += 3;
    } else if (op == "fill" && i + 2 < argc) {
      for (int n = 0; n < std::atoi(argv[i + 2]); ++n) {
        CFNumberRef number = CFNumberCreate(nullptr, kCFNumberIntType, &n);
        SetPreference(number, PascalKey(argv[i + 1] + std::to_string(n)).bytes, false);
        CFRelease(number);
      }
      std::printf("filled\n");
      i += 3;
    } else {
      std::fprintf(stderr, "bad arguments at %s\n", argv[i]);
      return 2;
    }
  }
  return 0;
}
