// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The StarDict formats: the ".ifo" description, headword order, and entry data.
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>
#include <string_view>

namespace dictionary::stardict {

inline constexpr char kIfoMagic[] = "StarDict's dict ifo file";

struct Info {
  QString version;  // "2.4.2" or "3.0.0"
  std::uint64_t wordCount = 0;
  std::optional<std::uint64_t> synWordCount;
  std::optional<std::uint64_t> idxFileSize;
  int idxOffsetBits = 32;  // 64 only with version 3.0.0
  QString bookName;
  QByteArray sameTypeSequence;
  QString author, email, website, description, date;
};

// Parses an .ifo file (with or without byte order mark, LF or CRLF line ends). Nothing and a
// message for another kind of file, an unknown version or a bad value.
std::optional<Info> parseIfo(const QByteArray& contents, QString* error = nullptr);
QByteArray serializeIfo(const Info& info, bool crlf = false, bool byteOrderMark = false);

// Headword order: case-folded first, then the bytes themselves. This is StarDict's own order
// (ASCII case-insensitive, then byte order) for ASCII headwords, and extends the folding to
// all of Unicode.
int compareFolded(std::string_view a, std::string_view b);
int compareHeadwords(std::string_view a, std::string_view b);

// The text of an entry's data: each field by its type, text fields joined by newlines,
// fields without text (pictures, sounds, resource lists) left out. False and a message when
// the data does not hold the fields it announces.
bool entryText(std::string_view data, const QByteArray& sameTypeSequence, QString* text, QString* error = nullptr);

}  // namespace dictionary::stardict
