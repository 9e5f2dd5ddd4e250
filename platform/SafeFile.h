// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reading and writing whole files without the two classic traps: a special file (a FIFO,
// /dev/zero, a device) that blocks or never ends, and a full disk that leaves an empty file
// behind a write reported as a success.
#include <QByteArray>
#include <QString>

class QFileDevice;
class QSaveFile;
#include <optional>
#include <sys/stat.h>
#include <sys/types.h>

namespace safefile {

// Why a read failed, for callers that treat the cases differently (a missing file is no
// error, a permission error is not corruption).
enum class ReadProblem { None, Missing, Denied, NotRegular, TooLarge, Failed };

// Opens path for reading only when it is a regular file (links are followed) of at most
// maxBytes. Never blocks on a FIFO. Returns the descriptor (close-on-exec), or -1 with a
// message in *error; *sizeOut receives the size when given.
int openRegular(const QString& path, qint64 maxBytes, QString* error, qint64* sizeOut = nullptr,
                ReadProblem* problem = nullptr, struct stat* infoOut = nullptr);

// The whole contents of a regular file of at most maxBytes, or nothing and a message.
// *infoOut receives the status of what was opened (also when it is refused), so that it can
// be recognised later.
std::optional<QByteArray> readRegular(const QString& path, qint64 maxBytes, QString* error,
                                      ReadProblem* problem = nullptr, struct stat* infoOut = nullptr);

// Whether a write is synced to the disk before it is renamed into place. A temporary file
// (one that is made again when it is lost) skips the sync: every write is still checked.
enum class Durability { Synced, Temporary };

// Replaces path with bytes atomically: a temporary file beside it, written and flushed with
// every result checked (and synced to the disk), then renamed over it. A link is followed:
// its target is replaced. On any failure the old file is left untouched and no temporary
// file remains.
bool writeAtomically(const QString& path, const QByteArray& bytes, QString* error,
                     Durability durability = Durability::Synced);

// Finishes a QSaveFile that the caller has written: flushes and syncs it with every result
// checked and only then renames it into place; on failure cancels it (the old file stays)
// and gives "path: reason".
bool commit(QSaveFile& file, QString* error, Durability durability = Durability::Synced);

// Why a write or flush of the file just failed ("No space left on device"); call it right
// after the failing call.
QString failureOf(const QFileDevice& file);

// "No space left on device" and the like, for messages built around a failed system call.
QString errnoText(int error);

}  // namespace safefile
