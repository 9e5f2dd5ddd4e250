// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/BundleInfo.h"

#include <cstring>

#include "platform/carbon/Gestalt.h"
#include "platform/cf/CFBundle.h"
#include "platform/cf/CFPreferences.h"
#include "platform/cf/CFURL.h"

namespace {

CFStringRef infoString(CFStringRef key) {
  CFBundleRef bundle = CFBundleGetMainBundle();
  if (!bundle) return nullptr;
  CFTypeRef value = CFBundleGetValueForInfoDictionaryKey(bundle, key);
  return value && CFGetTypeID(value) == CFStringGetTypeID() ? static_cast<CFStringRef>(value) : nullptr;
}

// Null without a key.
CFStringRef copyPreferenceKey(ConstStr255Param key) {
  if (!key) return nullptr;
  BoundedString text;
  text.AssignPascal(key);  // to a C string: cut at the first NUL byte
  CFStringRef name = CFStringCreateWithCString(kCFAllocatorDefault, text.c_str(), CFStringGetSystemEncoding());
  return name ? name : CFStringCreateWithCString(kCFAllocatorDefault, text.c_str(), kCFStringEncodingMacRoman);
}

Boolean assignText(CFStringRef value, BoundedString& text) {
  if (!value) return false;
  text.AssignCFString(value);
  return true;
}

}  // namespace

CFStringRef GetBundleIdentifier(void) { return infoString(kCFBundleIdentifierKey); }
CFStringRef GetExecutableName(void) { return infoString(kCFBundleExecutableKey); }
Boolean GetBundleIdentifierText(BoundedString& text) { return assignText(GetBundleIdentifier(), text); }
Boolean GetExecutableNameText(BoundedString& text) { return assignText(GetExecutableName(), text); }

OSType GetBundleSignature(void) {
  CFStringRef signature = infoString(CFSTR("CFBundleSignature"));
  if (!signature) return 0;
  char buffer[255] = {};  // zeros: a short signature is padded, never read past its end
  if (!CFStringGetCString(signature, buffer, sizeof buffer, CFStringGetSystemEncoding())) return 0;
  return (OSType(UInt8(buffer[0])) << 24) | (OSType(UInt8(buffer[1])) << 16) |
         (OSType(UInt8(buffer[2])) << 8) | OSType(UInt8(buffer[3]));
}

UInt32* SwapBytes32(UInt32 value, UInt32* swapped) {
  if (swapped) *swapped = __builtin_bswap32(value);
  return swapped;
}

Boolean GetBundleRef(FSRef* ref) {
  CFBundleRef bundle = CFBundleGetMainBundle();
  if (!ref || !bundle) return false;
  CFURLRef url = CFBundleCopyBundleURL(bundle);
  const Boolean ok = url && CFURLGetFSRef(url, ref);
  CFRelease(url);
  return ok;
}

CFStringRef CopyBundlePath(FSRef* ref) {
  CFBundleRef bundle = CFBundleGetMainBundle();
  if (!bundle) return nullptr;
  CFURLRef url = CFBundleCopyBundleURL(bundle);
  if (!url) return nullptr;
  if (ref) CFURLGetFSRef(url, ref);
  CFStringRef path = CFURLCopyFileSystemPath(url, kCFURLPOSIXPathStyle);
  CFRelease(url);
  return path;
}

Boolean GetBundleResourceRef(const char* name, const char* type, FSRef* ref) {
  CFBundleRef bundle = CFBundleGetMainBundle();
  if (!bundle || !name || !ref) return false;
  CFStringRef resource = CFStringCreateWithCString(kCFAllocatorDefault, name, CFStringGetSystemEncoding());
  CFStringRef extension =
      type ? CFStringCreateWithCString(kCFAllocatorDefault, type, CFStringGetSystemEncoding()) : nullptr;
  CFURLRef url = resource ? CFBundleCopyResourceURL(bundle, resource, extension, nullptr) : nullptr;
  Boolean ok = url && CFURLGetFSRef(url, ref);
  if (ok) {
    FSCatalogInfo info;  // asked, and not needed, as the platform's callers expect
    FSGetCatalogInfo(ref, kFSCatInfoNone, &info, nullptr, nullptr, nullptr);
  }
  CFRelease(url);
  CFRelease(extension);
  CFRelease(resource);
  return ok;
}

OSErr RegisterBundleIcon(const char* name, OSType iconType, IconRef* icon) {
  if (!icon) return paramErr;
  FSRef ref;
  if (!GetBundleResourceRef(name, "icns", &ref)) return fnfErr;
  return RegisterIconRefFromFSRef(FOUR_CHAR_CODE("Qbzr"), iconType, &ref, icon);
}

SInt32 GetSystemVersion(void) {
  SInt32 version = 0;
  return Gestalt(gestaltSystemVersion, &version) == noErr ? version : 0;
}

OSErr SetPreference(CFPropertyListRef value, ConstStr255Param key, Boolean machineWide) {
  CFStringRef name = copyPreferenceKey(key);
  if (!name) return noErr;
  bool stored = false;
  if (machineWide) {
    CFStringRef identifier = GetBundleIdentifier();
    CFPreferencesSetValue(name, value, identifier, kCFPreferencesAnyUser, kCFPreferencesCurrentHost);
    stored = CFPreferencesSynchronize(identifier, kCFPreferencesAnyUser, kCFPreferencesCurrentHost);
  }
  if (!stored) {
    CFPreferencesSetAppValue(name, value, kCFPreferencesCurrentApplication);
    CFPreferencesAppSynchronize(kCFPreferencesCurrentApplication);
  }
  CFRelease(name);
  return noErr;
}

CFPropertyListRef CopyPreference(ConstStr255Param key, Boolean machineWide) {
  CFStringRef name = copyPreferenceKey(key);
  if (!name) return nullptr;
  CFPropertyListRef value = nullptr;
  if (machineWide)
    value = CFPreferencesCopyValue(name, GetBundleIdentifier(), kCFPreferencesAnyUser, kCFPreferencesCurrentHost);
  if (!value) value = CFPreferencesCopyAppValue(name, kCFPreferencesCurrentApplication);
  CFRelease(name);
  return value;
}
