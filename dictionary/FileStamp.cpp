// SPDX-License-Identifier: GPL-3.0-or-later
#include "dictionary/FileStamp.h"

#include <QFile>
#include <sys/stat.h>

namespace dictionary {

FileStamp stampOf(const QString& path) {
  FileStamp stamp{path};
  struct stat info {};
  if (::stat(QFile::encodeName(path).constData(), &info) == 0) {
    stamp.size = info.st_size;
    stamp.modified = qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    stamp.changed = qint64(info.st_ctim.tv_sec) * 1000000000 + info.st_ctim.tv_nsec;
    stamp.inode = info.st_ino;
  }
  return stamp;
}

}  // namespace dictionary
