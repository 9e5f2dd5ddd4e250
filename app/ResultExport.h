// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Result export's free function: the system clipboard's whole contents replaced by a string.
#include "platform/carbon/PasteboardManager.h"

// Clears the system clipboard and puts `text` on it as one item (identifier 1) with the single
// flavour public.utf8-plain-text: its UTF-8 bytes, no byte-order mark, no terminating NUL. A
// null text leaves the clipboard empty. Answers the Pasteboard Manager's status: that of
// reaching the clipboard when it fails (nothing is cleared then), of the clear for a null
// text, else of the put.
OSStatus PutStringOnClipboard(CFStringRef text);
