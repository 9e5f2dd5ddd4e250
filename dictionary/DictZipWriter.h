// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Writing compressed dictionary data: dictzip (chunked gzip with an "RA" chunk table) and
// plain gzip, and writing files atomically.
#include <QByteArray>
#include <QString>
#include <optional>

namespace dictionary {

// dictzip's own default; chunks of this size always deflate to less than 64 KB.
inline constexpr int kDefaultDictZipChunkLength = 58315;

// Compresses data into the dictzip format, chunkLength bytes per chunk (1 to 58315).
// Nothing and a message when the data needs more chunks than the header can list.
std::optional<QByteArray> dictzipCompress(const QByteArray& data, int chunkLength = kDefaultDictZipChunkLength,
                                          QString* error = nullptr);

// A plain gzip file of the data (no chunk table).
QByteArray gzipCompress(const QByteArray& data);

// Writes the whole file through a temporary file and a rename.
bool writeFileAtomically(const QString& path, const QByteArray& contents, QString* error = nullptr);

}  // namespace dictionary
