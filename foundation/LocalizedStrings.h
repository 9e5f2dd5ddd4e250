// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Fixed texts translated through the main bundle's strings table "LocalizedStrings", every
// answer kept in a process-wide cache for the life of the process. A key without a translation
// answers its own text. The strings belong to the cache: callers do not release them.
#include "platform/cf/CFString.h"

// Null only when the bundle lookup yields nothing (then nothing is cached).
CFStringRef GetLocalizedString(CFStringRef key);
// key is UTF-8; null or invalid UTF-8 answers null.
CFStringRef GetLocalizedStringForCString(const char* key);
