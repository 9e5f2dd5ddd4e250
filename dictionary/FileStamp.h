// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a file looked like on disk (following symbolic links): a different stamp means it was
// changed or replaced. The status-change time is part of it because nobody can set it back:
// a rewrite in place that keeps the size and restores the modification time still moves it.
#include <QString>
#include <QtGlobal>

namespace dictionary {

struct FileStamp {
  QString path;
  qint64 size = -1;  // -1 when the file could not be read
  qint64 modified = 0;  // nanoseconds since the epoch
  qint64 changed = 0;   // status change (st_ctime), nanoseconds since the epoch
  quint64 inode = 0;
  bool operator==(const FileStamp&) const = default;
};

FileStamp stampOf(const QString& path);

}  // namespace dictionary
