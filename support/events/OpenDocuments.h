// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The application's handler of 'aevt'/'odoc': it accepts a list of items (anything that
// coerces to a file reference) and answers without error. What is done with the documents is
// for the application to decide later.
#include "platform/carbon/AppleEvents.h"

OSErr AcceptOpenDocuments(const AppleEvent* event, AppleEvent* reply, SRefCon refcon);
