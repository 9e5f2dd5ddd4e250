// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// XML property lists, the one on-disk format of Info.plist files, workflow documents and
// preference files. Values map onto QVariant:
//   dict -> QVariantMap, array -> QVariantList, string -> QString, integer -> qlonglong,
//   real -> double, true/false -> bool, date -> QDateTime (UTC), data -> QByteArray.
//   (An integer above the signed 64-bit range reads as qulonglong.)
//
// Whatever serialize() writes, parse() reads back equal. Text goes out as UTF-8 with "&",
// "<" and ">" as entities and CR as "&#13;" (a literal CR would come back as LF). XML 1.0
// cannot hold the other C0 control characters, U+FFFE, U+FFFF or an unpaired surrogate at
// all, not even as character references, so a <string> or <key> holding any of them is
// written with the attribute escaped="1", and inside it "\" stands for a backslash and
// "\uXXXX" (four hex digits) for one UTF-16 code unit. The file stays well-formed XML that
// any property-list reader opens (showing the escapes as text); strings without such
// characters, the usual case, are written exactly as other writers write them.
#include <QByteArray>
#include <QString>
#include <QVariant>
#include <optional>

namespace plist {

// Parses a whole document; nothing (and a message in *error) when it is not a well-formed
// property list.
std::optional<QVariant> parse(const QByteArray& xml, QString* error = nullptr);
// A file is read only when it is a regular file of at most maxBytes (no FIFO or device).
inline constexpr qint64 kMaxFileBytes = qint64(64) << 20;
std::optional<QVariant> readFile(const QString& path, QString* error = nullptr, qint64 maxBytes = kMaxFileBytes);

// Serialises a value; values of other types are written as their string form.
QByteArray serialize(const QVariant& value);

// Writes atomically: a temporary file beside the target, every write checked, then a
// rename, so that a failure (a full disk) never leaves a half-written file in place of the
// old one.
bool writeFile(const QString& path, const QVariant& value, QString* error = nullptr);

}  // namespace plist
