// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The online lookup's free function and its configuration: the escaped form of a query, and
// the addresses it is sent to.
#include <QString>

#include "platform/cf/CFString.h"

// The query as it goes into a URL: trimmed at both ends, every valid percent escape decoded
// (as UTF-8), then escaped again for a URL, so existing escapes end up escaped exactly once.
// Characters a URL may hold, the reserved ones ("/", "?", "&", "=", "+", ":") included, stay
// as they are. Null when the text holds a '%' that does not begin a valid escape (or escapes
// that are not UTF-8), or when text is null. The caller releases the result.
CFStringRef CreateURLEscapedString(CFStringRef text);

// Main-bundle Info.plist keys of the addresses, read at each use; the built-in default applies
// when the key is absent or not a non-empty string. The website and help page have none: the
// manual that comes with the application stands in for them (its About page and its start).
// The store's is the desktop's software centre at the application's AppStream id. The two sites are a scheme and host (and
// port), without a path: the lookup appends "/browse/" or "/wiki/" and the escaped query.
inline constexpr const char* kOnlineDictionarySiteKey = "VocabulonOnlineDictionarySite";
inline constexpr const char* kEncyclopediaSiteKey = "VocabulonEncyclopediaSite";
inline constexpr const char* kWebsiteURLKey = "VocabulonWebsiteURL";
inline constexpr const char* kStoreURLKey = "VocabulonStoreURL";
inline constexpr const char* kHelpURLKey = "VocabulonHelpURL";

// The configured value of one of the keys above, or its default (empty when there is none).
QString onlineAddress(const char* key);
