// SPDX-License-Identifier: GPL-3.0-or-later
#include "foundation/LocalizedStrings.h"

#include "platform/cf/CFBundle.h"
#include "platform/cf/CFDictionary.h"

namespace {

// Created on first use and never released; main-thread use only, as every caller is.
CFMutableDictionaryRef cache() {
  static CFMutableDictionaryRef dictionary = CFDictionaryCreateMutable(
      kCFAllocatorDefault, 0, &kCFCopyStringDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
  return dictionary;
}

}  // namespace

CFStringRef GetLocalizedString(CFStringRef key) {
  if (!key || CFGetTypeID(key) != CFStringGetTypeID()) return nullptr;
  CFMutableDictionaryRef table = cache();
  if (const void* cached = CFDictionaryGetValue(table, key)) return static_cast<CFStringRef>(cached);
  CFStringRef answer =
      CFBundleCopyLocalizedString(CFBundleGetMainBundle(), key, key, CFSTR("LocalizedStrings"));
  if (!answer) return nullptr;
  CFDictionarySetValue(table, key, answer);
  CFRelease(answer);  // the cache keeps it
  return answer;
}

CFStringRef GetLocalizedStringForCString(const char* key) {
  if (!key) return nullptr;
  CFStringRef k = CFStringCreateWithCString(kCFAllocatorDefault, key, kCFStringEncodingUTF8);
  if (!k) return nullptr;
  CFStringRef answer = GetLocalizedString(k);
  CFRelease(k);
  return answer;
}
