#pragma once
// Reading and writing whole files without the two classic traps: a special file (a FIFO,
// /dev/zero, a device) that blocks or never ends, and a full disk that leaves an empty file
// behind a write reported as a success.
#include <QByteArray>
#include <QString>
#include <optional>
#include <sys/types.h>

namespace safefile {

// Opens path for reading only when it is a regular file (links are followed) of at most
// maxBytes. Never blocks on a FIFO. Returns the descriptor (close-on-exec), or -1 with a
// message in *error; *sizeOut receives the size when given.
int openRegular(const QString& path, qint64 maxBytes, QString* error, qint64* sizeOut = nullptr);

// The whole contents of a regular file of at most maxBytes, or nothing and a message.
std::optional<QByteArray> readRegular(const QString& path, qint64 maxBytes, QString* error);

// Replaces path with bytes atomically: a temporary file beside it, written and flushed with
// every result checked, then renamed over it. On any failure the old file is left untouched
// and no temporary file remains.
bool writeAtomically(const QString& path, const QByteArray& bytes, QString* error);

// "No space left on device" and the like, for messages built around a failed system call.
QString errnoText(int error);

}  // namespace safefile
