// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a file looked like on disk (following symbolic links): a different stamp means it was
// changed or replaced.
#include <QString>
#include <QtGlobal>

namespace dictionary {

struct FileStamp {
  QString path;
  qint64 size = -1;  // -1 when the file could not be read
  qint64 modified = 0;  // nanoseconds since the epoch
  quint64 inode = 0;
  bool operator==(const FileStamp&) const = default;
};

FileStamp stampOf(const QString& path);

}  // namespace dictionary
