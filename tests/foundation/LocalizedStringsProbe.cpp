// SPDX-License-Identifier: GPL-3.0-or-later
// Prints the localized text of each argument, one line each, as a separate process sees them
// with its own environment (languages, main bundle).
#include <cstdio>

#include "foundation/LocalizedStrings.h"
#include "platform/cf/CFQt.h"

int main(int argc, char* argv[]) {
  for (int i = 1; i < argc; ++i) {
    CFStringRef text = GetLocalizedStringForCString(argv[i]);
    std::printf("%s\n", text ? CFStringToQString(text).toUtf8().constData() : "(null)");
  }
  return 0;
}
