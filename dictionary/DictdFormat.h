// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The dictd index format: numbers in base 64, the "00-database-*" entries and the way dictd
// compares headwords.
#include <QByteArray>
#include <cstdint>
#include <optional>
#include <string_view>

namespace dictionary::dictd {

// Offsets and lengths are written in base 64 with the alphabet A-Z a-z 0-9 + /, most
// significant digit first ('A' = 0). Nothing for an empty, overlong or bad number.
std::optional<std::uint64_t> decodeNumber(std::string_view digits);
QByteArray encodeNumber(std::uint64_t value);

// How a dictionary compares headwords; set by its "00-database-*" entries.
struct KeyRules {
  bool allChars = false;       // every character counts, not only letters, digits and spaces
  bool utf8 = false;           // headwords are UTF-8: Unicode letters and case folding
  bool eightBit = false;       // headwords in an 8-bit charset: bytes >= 0x80 count as letters
  bool caseSensitive = false;  // no case folding
  bool operator==(const KeyRules&) const = default;
};

// Compares two headwords under the rules: characters that do not count are skipped, white
// space counts as a space, case is folded. Each view is just the headword. Both sides are
// folded: dictd folds only the query when every character counts, trusting the index's first
// field to be folded already; folding both finds the same entries in such files and also
// those whose first field kept its capitals.
int compareKeys(std::string_view a, std::string_view b, const KeyRules& rules);

// Whether any character of the headword counts (a headword of punctuation alone has no key).
bool hasKey(std::string_view headword, const KeyRules& rules);

// The first index column as dictd's formatter writes it: the counting characters only,
// case folded, runs of spaces collapsed, ends trimmed.
QByteArray indexKey(std::string_view headword, const KeyRules& rules);

// Names of the special entries, with and without the hyphens of the newer form.
enum class SpecialEntry { None, Short, Long, Info, Url, AllChars, Utf8, EightBit, CaseSensitive };
SpecialEntry specialEntry(std::string_view headword);
const char* specialEntryName(SpecialEntry entry);  // the hyphenated form

}  // namespace dictionary::dictd
