// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Random access to dictionary data: a plain file, a gzip file, or a dictzip file (gzip with
// an "RA" extra field that lists the compressed size of each fixed-length chunk, so any
// chunk can be inflated on its own).
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <atomic>
#include <algorithm>
#include <functional>
#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace dictionary {

class MappedFile;

class DictData {
 public:
  enum class Kind { Plain, Gzip, DictZip };
  // Enough for all of WordNet's inflated chunks (31 MB), so that a long text read from a
  // dictzip file inflates each chunk once; GCIDE in use then stays near 72 MB in all.
  static constexpr std::size_t kDefaultCacheBytes = 32u << 20;
  // A gzip file without chunk table is inflated whole; refuse anything larger than this.
  static constexpr std::size_t kMaxWholeGzipBytes = 512u << 20;
  // Text that deflate packs tighter than this is not a dictionary but a bomb: compressed
  // dictionaries come to 3-10 to 1. Small data may be anything up to kSmallAllowance.
  static constexpr std::uint64_t kMaxPlausibleRatio = 64;
  static constexpr std::uint64_t kSmallAllowance = 16u << 20;
  static std::uint64_t plausibleInflatedSize(std::uint64_t compressedSize) {
    return std::max<std::uint64_t>(kSmallAllowance, compressedSize * kMaxPlausibleRatio);
  }

  // Opens the file and checks its header (and, for dictzip, the chunk table). The kind comes
  // from the contents; a name ending in .dz or .gz must hold gzip data. Nothing and a
  // message when the file cannot be read or its header is damaged.
  static std::unique_ptr<DictData> open(const QString& path, QString* error = nullptr,
                                        std::size_t cacheBytes = kDefaultCacheBytes);
  // Opens a file known to hold uncompressed data (whatever its first bytes look like) that
  // must be exactly `expectedSize` bytes long; nothing and a message otherwise.
  static std::unique_ptr<DictData> openUncompressed(const QString& path, std::uint64_t expectedSize,
                                                    QString* error = nullptr);
  ~DictData();

  Kind kind() const { return kind_; }
  QString path() const { return path_; }
  std::uint32_t chunkLength() const { return chunkLength_; }
  std::size_t chunkCount() const { return chunkSizes_.size(); }
  std::size_t cachedBytes() const;
  // The size of the file itself, and the size its header says the data inflates to: the
  // file's own for plain data, chunk length times chunk count for dictzip (the last chunk
  // may be shorter), the gzip trailer's (modulo 4 GB) for gzip.
  std::uint64_t fileSize() const { return fileSize_; }
  std::uint64_t declaredSize() const { return declaredSize_; }
  // True once a read found the file shorter than when it was opened (rewritten in place).
  bool changedOnDisk() const { return changed_; }

  // Copies `size` bytes starting at `offset` of the uncompressed data into *out. False and a
  // message when the range runs past the end of the data or the compressed data is damaged.
  // Safe to call from several threads.
  bool read(std::uint64_t offset, std::uint64_t size, QByteArray* out, QString* error = nullptr) const;

  // The same range without copying where it can: *out then points into a chunk held by this
  // object or into *scratch. Data in the file itself is always copied, as the file may
  // shrink under its mapping.
  bool view(std::uint64_t offset, std::uint64_t size, QByteArrayView* out, QByteArray* scratch,
            QString* error = nullptr) const;

  // The whole uncompressed data (shared, not copied, for a whole gzip file).
  bool readAll(QByteArray* out, QString* error = nullptr) const;

  // Hands the whole uncompressed data to `sink` in pieces, in order, without keeping it (a
  // dictzip file goes chunk by chunk past the cache). Stops with false when the sink does.
  using Sink = std::function<bool(const char* bytes, std::size_t size)>;
  bool inflateInto(const Sink& sink, QString* error = nullptr) const;

 private:
  DictData() = default;
  bool parseGzipHeader(QString* error);
  std::shared_ptr<const QByteArray> chunk(std::size_t index, QString* error) const;
  bool inflateChunk(std::size_t index, QByteArray* out, QString* error) const;
  bool inflateWhole(QString* error) const;

  // A gzip header with its extra field, name and comment fits in this much.
  static constexpr std::size_t kMaxHeaderBytes = 256u << 10;
  // Data read from the file whole goes through copies of this size.
  static constexpr std::size_t kCopyPieceBytes = 1u << 20;

  QString path_;
  Kind kind_ = Kind::Plain;
  QByteArray header_;  // the start of the file, while it is parsed
  std::uint64_t fileSize_ = 0;
  std::uint64_t declaredSize_ = 0;
  mutable std::atomic<bool> changed_{false};
  mutable std::unique_ptr<MappedFile> file_;  // dropped once a whole gzip is inflated

  // dictzip
  std::uint32_t chunkLength_ = 0;
  std::vector<std::uint16_t> chunkSizes_;
  std::vector<std::uint64_t> chunkOffsets_;  // into the file; one more than chunks

  mutable std::mutex mutex_;
  // dictzip chunk cache, least recently used last
  std::size_t cacheLimit_ = kDefaultCacheBytes;
  mutable std::size_t cacheBytes_ = 0;
  mutable std::list<std::pair<std::size_t, std::shared_ptr<const QByteArray>>> lru_;
  mutable std::unordered_map<std::size_t, decltype(lru_)::iterator> cached_;
  // whole gzip, inflated on first use
  mutable bool inflated_ = false;
  mutable QString inflateError_;
  mutable QByteArray whole_;
};

}  // namespace dictionary
