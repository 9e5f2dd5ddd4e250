#pragma once
// XML property lists, the one on-disk format of Info.plist files, workflow documents and
// preference files. Values map onto QVariant:
//   dict -> QVariantMap, array -> QVariantList, string -> QString, integer -> qlonglong,
//   real -> double, true/false -> bool, date -> QDateTime (UTC), data -> QByteArray.
#include <QByteArray>
#include <QString>
#include <QVariant>
#include <optional>

namespace plist {

// Parses a whole document; nothing (and a message in *error) when it is not a well-formed
// property list.
std::optional<QVariant> parse(const QByteArray& xml, QString* error = nullptr);
std::optional<QVariant> readFile(const QString& path, QString* error = nullptr);

// Serialises a value; values of other types are written as their string form.
QByteArray serialize(const QVariant& value);

// Writes atomically: a temporary file beside the target, then a rename, so that a failure
// never leaves a half-written file in place of the old one.
bool writeFile(const QString& path, const QVariant& value, QString* error = nullptr);

}  // namespace plist
