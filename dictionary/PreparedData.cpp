// SPDX-License-Identifier: GPL-3.0-or-later
// What import keeps in a bundle to spare work at open (an uncompressed copy of compressed
// data, a dictd index's key order), and when it may be used.
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>
#include <cerrno>
#include <sys/statvfs.h>

#include "dictionary/Bundle.h"
#include "dictionary/DictZip.h"
#include "dictionary/DictdDictionary.h"
#include "dictionary/FileStamp.h"
#include "platform/SafeFile.h"

namespace dictionary {
namespace {

// A copy larger than this is not worth the disk: such a file is more likely a hostile
// dictzip header than a dictionary.
constexpr qint64 kMaxPreparedBytes = qint64(2) << 30;
// Room left on the disk after the copy, for everything else that needs it: 64 MB, or an
// eighth of a disk too small to spare that.
constexpr std::uint64_t kReservedDiskBytes = 64u << 20;

QString preparedNameFor(const QString& sourceName) {
  QString name = sourceName;
  if (name.endsWith(QLatin1String(".dz")) || name.endsWith(QLatin1String(".gz"))) name.chop(3);
  return name + QStringLiteral(".prepared");
}

}  // namespace

std::optional<PreparedData> writePreparedData(const QString& bundlePath, const QString& sourceName, QString* error,
                                              bool* refused) {
  if (refused) *refused = false;
  const QString source = bundlePath + QLatin1Char('/') + sourceName;
  auto fail = [&](const QString& why) {
    if (error) *error = why;
    return std::nullopt;
  };
  // Stamped before it is read and checked after: a copy of a file that changed meanwhile
  // would be recorded against the wrong version.
  const FileStamp before = stampOf(source);
  if (before.size < 0) return fail(QStringLiteral("%1: cannot be read").arg(source));
  const std::unique_ptr<DictData> data = DictData::open(source, error, 0);
  if (!data) return std::nullopt;
  if (data->kind() == DictData::Kind::Plain) return std::nullopt;

  // The copy is bounded before a byte is written: by the size the header declares, which
  // must be plausible for the compressed size, and by the free space on the disk.
  const std::uint64_t declared = data->declaredSize();
  if (declared > DictData::plausibleInflatedSize(data->fileSize())) {
    if (refused) *refused = true;
    return fail(QStringLiteral("%1: refused: its header declares %2 bytes of data from %3 compressed bytes, "
                               "a compression ratio beyond %4 to 1 that no dictionary has")
                    .arg(source).arg(declared).arg(data->fileSize()).arg(DictData::kMaxPlausibleRatio));
  }
  if (declared > std::uint64_t(kMaxPreparedBytes)) {
    return fail(QStringLiteral("%1: inflates to more than %2 GB").arg(source).arg(kMaxPreparedBytes >> 30));
  }
  struct statvfs disk {};
  if (::statvfs(QFile::encodeName(bundlePath).constData(), &disk) == 0) {
    const std::uint64_t available = std::uint64_t(disk.f_bavail) * disk.f_frsize;
    const std::uint64_t reserved = std::min<std::uint64_t>(kReservedDiskBytes, std::uint64_t(disk.f_blocks) * disk.f_frsize / 8);
    if (declared + reserved > available) {
      return fail(QStringLiteral("%1: not enough free space for its uncompressed copy (%2 KB needed, %3 KB free)")
                      .arg(bundlePath).arg((declared + reserved) >> 10).arg(available >> 10));
    }
  }

  PreparedData record;
  record.file = preparedNameFor(sourceName);
  record.source = sourceName;
  const QString target = bundlePath + QLatin1Char('/') + record.file;
  QSaveFile out(target);
  if (!out.open(QIODevice::WriteOnly)) return fail(QStringLiteral("%1: %2").arg(target, out.errorString()));
  qint64 written = 0;
  QString problem;
  const bool copied = data->inflateInto(
      [&](const char* bytes, std::size_t size) {
        if (std::uint64_t(written) + size > declared) {
          problem = QStringLiteral("%1: inflates to more than the %2 bytes its header declares").arg(source).arg(declared);
          return false;
        }
        if (out.write(bytes, qint64(size)) != qint64(size)) {
          problem = QStringLiteral("%1: %2").arg(target, safefile::failureOf(out));
          return false;
        }
        written += qint64(size);
        return true;
      },
      &problem);
  if (!copied) {
    out.cancelWriting();
    return fail(problem);
  }
  if (!(stampOf(source) == before)) {
    out.cancelWriting();
    return fail(QStringLiteral("%1: changed while it was read").arg(source));
  }
  if (!safefile::commit(out, &problem)) return fail(problem);
  record.size = written;
  record.sourceSize = before.size;
  record.sourceModified = before.modified;
  record.sourceChanged = before.changed;
  record.sourceInode = before.inode;
  return record;
}

std::optional<PreparedData> writePreparedIndex(const QString& bundlePath, const QString& indexName,
                                               const QString& dataName, QString* error) {
  const QString source = bundlePath + QLatin1Char('/') + indexName;
  auto fail = [&](const QString& why) {
    if (error) *error = why;
    return std::nullopt;
  };
  const FileStamp before = stampOf(source);
  if (before.size < 0) return fail(QStringLiteral("%1: cannot be read").arg(source));
  const std::unique_ptr<DictdDictionary> dictionary =
      DictdDictionary::open(source, bundlePath + QLatin1Char('/') + dataName, error);
  if (!dictionary) return std::nullopt;
  const QByteArray order = dictionary->order();
  if (order.isEmpty()) return fail(QStringLiteral("%1: changed while it was read").arg(source));
  PreparedData record;
  record.file = indexName + QStringLiteral(".order");
  record.source = indexName;
  const QString target = bundlePath + QLatin1Char('/') + record.file;
  QSaveFile out(target);
  errno = 0;
  if (!out.open(QIODevice::WriteOnly) || out.write(order) != order.size()) {
    return fail(QStringLiteral("%1: %2").arg(target, safefile::failureOf(out)));
  }
  if (!(stampOf(source) == before)) {
    out.cancelWriting();
    return fail(QStringLiteral("%1: changed while it was read").arg(source));
  }
  QString problem;
  if (!safefile::commit(out, &problem)) return fail(problem);
  record.size = order.size();
  record.sourceSize = before.size;
  record.sourceModified = before.modified;
  record.sourceChanged = before.changed;
  record.sourceInode = before.inode;
  return record;
}

QString currentPreparedFile(const QString& bundlePath, const BundleInfo& info,
                            const std::optional<PreparedData>& record, const QString& sourceName) {
  if (!record || sourceName.isEmpty() || record->source != sourceName) return QString();
  const PreparedData& prepared = *record;
  // Never one of the bundle's own files under another role.
  if (info.files.contains(prepared.file)) return QString();
  const QString path = bundlePath + QLatin1Char('/') + prepared.file;
  const QFileInfo file(path);
  if (file.isSymLink() || !file.isFile() || file.size() != prepared.size) return QString();
  const FileStamp now = stampOf(bundlePath + QLatin1Char('/') + sourceName);
  if (now.size != prepared.sourceSize || now.modified != prepared.sourceModified ||
      now.changed != prepared.sourceChanged || now.inode != prepared.sourceInode) {
    return QString();
  }
  return path;
}

}  // namespace dictionary
