// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The CoreFoundation subset of this system, on Qt: one include for all of it.
#include "platform/cf/CFArray.h"
#include "platform/cf/CFBase.h"
#include "platform/cf/CFBundle.h"
#include "platform/cf/CFData.h"
#include "platform/cf/CFDate.h"
#include "platform/cf/CFDictionary.h"
#include "platform/cf/CFNumber.h"
#include "platform/cf/CFPreferences.h"
#include "platform/cf/CFQt.h"
#include "platform/cf/CFString.h"
#include "platform/cf/CFURL.h"
