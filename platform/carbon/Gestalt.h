// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Gestalt: facts about the running system, by four-character selector, from a table that
// NewGestaltValue and ReplaceGestaltValue extend (so that tests can present other systems).
#include "platform/carbon/MacTypes.h"

enum : OSErr {
  gestaltUnknownErr = -5550,
  gestaltUndefSelectorErr = -5551,  // no such selector
  gestaltDupSelectorErr = -5552,    // NewGestaltValue: the selector exists
  gestaltLocationErr = -5553,
};

enum : OSType {
  gestaltSystemVersion = FOUR_CHAR_CODE("sysv"),       // BCD: 0x1068 for 10.6.8
  gestaltSystemVersionMajor = FOUR_CHAR_CODE("sys1"),
  gestaltSystemVersionMinor = FOUR_CHAR_CODE("sys2"),
  gestaltSystemVersionBugFix = FOUR_CHAR_CODE("sys3"),
  gestaltSysArchitecture = FOUR_CHAR_CODE("sysa"),
  gestaltPhysicalRAMSize = FOUR_CHAR_CODE("ram "),     // bytes, at most 2^31 - 1
};
enum : SInt32 { gestaltIntel = 10 };

// The platform version whose interface the stand-ins provide: 10.6.8.
inline constexpr SInt32 kStandInSystemVersion = 0x1068;

// paramErr for a null response, gestaltUndefSelectorErr for an unknown selector.
OSErr Gestalt(OSType selector, SInt32* response);
OSErr NewGestaltValue(OSType selector, SInt32 newValue);      // gestaltDupSelectorErr if known
OSErr ReplaceGestaltValue(OSType selector, SInt32 replacementValue);  // must be known
OSErr SetGestaltValue(OSType selector, SInt32 newValue);      // adds or replaces
OSErr DeleteGestaltValue(OSType selector);
