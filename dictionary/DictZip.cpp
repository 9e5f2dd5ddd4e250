// SPDX-License-Identifier: GPL-3.0-or-later
#include "dictionary/DictZip.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "dictionary/MappedFile.h"

namespace dictionary {
namespace {

constexpr unsigned char kGzipMagic0 = 0x1f, kGzipMagic1 = 0x8b;
enum : unsigned { kFlagText = 1, kFlagHeaderCrc = 2, kFlagExtra = 4, kFlagName = 8, kFlagComment = 16 };

std::uint16_t le16(const unsigned char* p) { return std::uint16_t(p[0] | (p[1] << 8)); }

}  // namespace

std::unique_ptr<DictData> DictData::open(const QString& path, QString* error, std::size_t cacheBytes) {
  std::unique_ptr<DictData> data(new DictData);
  data->path_ = path;
  data->cacheLimit_ = cacheBytes;
  data->file_ = MappedFile::open(path, kMaxDataBytes, error);
  if (!data->file_) return nullptr;
  data->fileSize_ = data->file_->size();
  // The header is read from a copy: the file may shrink under the mapping at any time.
  data->header_.resize(qsizetype(std::min<std::size_t>(data->file_->size(), kMaxHeaderBytes)));
  if (!data->file_->copy(0, std::size_t(data->header_.size()), data->header_.data())) {
    if (error) *error = QStringLiteral("%1: changed while it was read").arg(path);
    return nullptr;
  }
  const auto* bytes = reinterpret_cast<const unsigned char*>(data->header_.constData());
  const bool gzipMagic = data->header_.size() >= 2 && bytes[0] == kGzipMagic0 && bytes[1] == kGzipMagic1;
  if (gzipMagic) {
    if (!data->parseGzipHeader(error)) return nullptr;
  } else if (path.endsWith(QLatin1String(".dz")) || path.endsWith(QLatin1String(".gz"))) {
    if (error) *error = QStringLiteral("%1: not a gzip file (bad magic number)").arg(path);
    return nullptr;
  } else {
    data->kind_ = Kind::Plain;
    data->declaredSize_ = data->file_->size();
  }
  data->header_.clear();
  data->header_.squeeze();
  return data;
}

std::unique_ptr<DictData> DictData::openUncompressed(const QString& path, std::uint64_t expectedSize, QString* error) {
  std::unique_ptr<DictData> data(new DictData);
  data->path_ = path;
  data->file_ = MappedFile::open(path, kMaxDataBytes, error);
  if (!data->file_) return nullptr;
  // The size of the mapping itself, so a file cut short after a check is still caught.
  data->fileSize_ = data->declaredSize_ = data->file_->size();
  if (data->file_->size() != expectedSize) {
    if (error) {
      *error = QStringLiteral("%1: holds %2 bytes instead of %3").arg(path).arg(data->file_->size()).arg(expectedSize);
    }
    return nullptr;
  }
  data->kind_ = Kind::Plain;
  return data;
}

DictData::~DictData() = default;

bool DictData::parseGzipHeader(QString* error) {
  auto fail = [&](const QString& why) {
    if (error) *error = QStringLiteral("%1: damaged gzip header: %2").arg(path_, why);
    return false;
  };
  const auto* p = reinterpret_cast<const unsigned char*>(header_.constData());
  const std::size_t fileSize = file_->size();
  const std::size_t size = std::size_t(header_.size());  // the part of the file copied
  if (size < 10) return fail(QStringLiteral("file too short"));
  if (p[2] != 8) return fail(QStringLiteral("unknown compression method %1").arg(p[2]));
  const unsigned flags = p[3];
  if (flags & 0xe0) return fail(QStringLiteral("reserved flags set"));
  std::size_t pos = 10;
  bool haveRandomAccess = false;
  if (flags & kFlagExtra) {
    if (size < pos + 2) return fail(QStringLiteral("extra field cut short"));
    const std::size_t extraLength = le16(p + pos);
    pos += 2;
    if (size < pos + extraLength) return fail(QStringLiteral("extra field cut short"));
    const std::size_t extraEnd = pos + extraLength;
    std::size_t sub = pos;
    while (sub + 4 <= extraEnd) {
      const std::size_t length = le16(p + sub + 2);
      const std::size_t body = sub + 4;
      if (body + length > extraEnd) return fail(QStringLiteral("extra subfield runs past the extra field"));
      if (p[sub] == 'R' && p[sub + 1] == 'A') {
        if (haveRandomAccess) return fail(QStringLiteral("two chunk tables"));
        if (length < 6) return fail(QStringLiteral("chunk table cut short"));
        const unsigned version = le16(p + body);
        if (version != 1) return fail(QStringLiteral("unknown chunk table version %1").arg(version));
        chunkLength_ = le16(p + body + 2);
        const std::size_t count = le16(p + body + 4);
        if (length < 6 + 2 * count) return fail(QStringLiteral("chunk table cut short"));
        if (chunkLength_ == 0 && count > 0) return fail(QStringLiteral("chunk length 0"));
        chunkSizes_.resize(count);
        for (std::size_t i = 0; i < count; ++i) chunkSizes_[i] = le16(p + body + 6 + 2 * i);
        haveRandomAccess = true;
      }
      sub = body + length;
    }
    pos = extraEnd;
  }
  auto skipString = [&]() {
    const void* end = std::memchr(p + pos, 0, size - pos);
    if (!end) return false;
    pos = static_cast<const unsigned char*>(end) - p + 1;
    return true;
  };
  if ((flags & kFlagName) && !skipString()) return fail(QStringLiteral("file name cut short"));
  if ((flags & kFlagComment) && !skipString()) return fail(QStringLiteral("comment cut short"));
  if (flags & kFlagHeaderCrc) {
    if (size < pos + 2) return fail(QStringLiteral("header checksum cut short"));
    pos += 2;
  }
  if (!haveRandomAccess) {
    kind_ = Kind::Gzip;
    // A file too short for its trailer fails when it is inflated.
    unsigned char trailer[4];
    if (fileSize >= pos + 8 && file_->copy(fileSize - 4, 4, reinterpret_cast<char*>(trailer))) {
      declaredSize_ = std::uint64_t(trailer[0]) | (std::uint64_t(trailer[1]) << 8) |
                      (std::uint64_t(trailer[2]) << 16) | (std::uint64_t(trailer[3]) << 24);
    }
    return true;
  }
  kind_ = Kind::DictZip;
  chunkOffsets_.resize(chunkSizes_.size() + 1);
  std::uint64_t offset = pos;
  for (std::size_t i = 0; i < chunkSizes_.size(); ++i) {
    chunkOffsets_[i] = offset;
    offset += chunkSizes_[i];
  }
  chunkOffsets_.back() = offset;
  if (offset > fileSize) {
    return fail(QStringLiteral("chunk sizes run %1 bytes past the end of the file").arg(offset - fileSize));
  }
  declaredSize_ = std::uint64_t(chunkLength_) * chunkSizes_.size();
  return true;
}

std::size_t DictData::cachedBytes() const {
  std::lock_guard lock(mutex_);
  return kind_ == Kind::Gzip ? std::size_t(whole_.size()) : cacheBytes_;
}

bool DictData::inflateChunk(std::size_t index, QByteArray* out, QString* error) const {
  auto fail = [&](const QString& why) {
    if (error) *error = QStringLiteral("%1: damaged chunk %2: %3").arg(path_).arg(index).arg(why);
    return false;
  };
  char packed[65536];  // chunk sizes are 16-bit
  if (!file_->copy(chunkOffsets_[index], chunkSizes_[index], packed)) {
    changed_ = true;
    if (error) *error = QStringLiteral("%1: changed while it was read").arg(path_);
    return false;
  }
  z_stream stream{};
  if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) return fail(QStringLiteral("cannot start inflating"));
  // One byte of room beyond the chunk length shows a chunk that inflates too long.
  out->resize(qsizetype(chunkLength_) + 1);
  stream.next_in = reinterpret_cast<Bytef*>(packed);
  stream.avail_in = chunkSizes_[index];
  stream.next_out = reinterpret_cast<Bytef*>(out->data());
  stream.avail_out = uInt(out->size());
  QString problem;
  for (;;) {
    const int status = inflate(&stream, Z_SYNC_FLUSH);
    if (status == Z_STREAM_END) break;
    if (status == Z_OK || status == Z_BUF_ERROR) {
      if (stream.avail_out == 0) {
        problem = QStringLiteral("inflates to more than the chunk length");
        break;
      }
      if (stream.avail_in == 0) break;
      if (status == Z_BUF_ERROR) {
        problem = QStringLiteral("inflate made no progress");
        break;
      }
      continue;
    }
    problem = QString::fromLatin1(stream.msg ? stream.msg : "inflate failed");
    break;
  }
  const std::size_t produced = out->size() - stream.avail_out;
  inflateEnd(&stream);
  if (!problem.isEmpty()) return fail(problem);
  if (produced > chunkLength_) return fail(QStringLiteral("inflates to more than the chunk length"));
  if (index + 1 < chunkSizes_.size() && produced != chunkLength_) {
    return fail(QStringLiteral("inflates to %1 bytes instead of %2").arg(produced).arg(chunkLength_));
  }
  out->resize(qsizetype(produced));
  return true;
}

std::shared_ptr<const QByteArray> DictData::chunk(std::size_t index, QString* error) const {
  {
    std::lock_guard lock(mutex_);
    if (auto found = cached_.find(index); found != cached_.end()) {
      lru_.splice(lru_.begin(), lru_, found->second);
      return found->second->second;
    }
  }
  // Inflate outside the lock; two threads may race for the same chunk, which is harmless.
  auto data = std::make_shared<QByteArray>();
  if (!inflateChunk(index, data.get(), error)) return nullptr;
  std::lock_guard lock(mutex_);
  if (auto found = cached_.find(index); found != cached_.end()) return found->second->second;
  lru_.emplace_front(index, data);
  cached_[index] = lru_.begin();
  cacheBytes_ += data->size();
  while (cacheBytes_ > cacheLimit_ && lru_.size() > 1) {
    cacheBytes_ -= lru_.back().second->size();
    cached_.erase(lru_.back().first);
    lru_.pop_back();
  }
  return data;
}

bool DictData::inflateWhole(QString* error) const {
  // Called with mutex_ held.
  if (inflated_) {
    if (!inflateError_.isEmpty() && error) *error = inflateError_;
    return inflateError_.isEmpty();
  }
  inflated_ = true;
  z_stream stream{};
  if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK) {
    inflateError_ = QStringLiteral("%1: cannot start inflating").arg(path_);
  } else {
    std::size_t pos = 0;
    const std::size_t size = file_->size();
    QByteArray out;
    // Bounded by what such a file can plausibly hold, whatever its trailer claims.
    const std::size_t most = std::size_t(std::min<std::uint64_t>(kMaxWholeGzipBytes, plausibleInflatedSize(size)));
    out.resize(qsizetype(std::min<std::size_t>(std::max<std::size_t>(size * 4, 1 << 16), most)));
    std::size_t produced = 0;
    bool memberEnded = false;
    // The input goes through a copy, piece by piece, since the file may shrink meanwhile.
    QByteArray piece;
    std::size_t pieceStart = 0;
    const unsigned char* begin = nullptr;  // where byte pieceStart of the file lies in piece
    auto load = [&](std::size_t from) {
      const std::size_t length = std::min<std::size_t>(size - from, kCopyPieceBytes);
      piece.resize(qsizetype(length));
      if (!file_->copy(from, length, piece.data())) return false;
      pieceStart = from;
      begin = reinterpret_cast<const unsigned char*>(piece.constData());
      return true;
    };
    if (!load(0)) inflateError_ = QStringLiteral("%1: changed while it was read").arg(path_);
    while (inflateError_.isEmpty()) {
      if (pos == pieceStart + std::size_t(piece.size()) && pos < size && !load(pos)) {
        changed_ = true;
        inflateError_ = QStringLiteral("%1: changed while it was read").arg(path_);
        break;
      }
      stream.next_in = const_cast<Bytef*>(begin + (pos - pieceStart));
      stream.avail_in = uInt(pieceStart + piece.size() - pos);
      if (produced == std::size_t(out.size())) {
        if (produced >= most) {
          inflateError_ = QStringLiteral("%1: inflates to more than %2 MB from %3 compressed bytes; refused")
                              .arg(path_).arg(most >> 20).arg(size);
          break;
        }
        out.resize(qsizetype(std::min<std::size_t>(produced * 2, most)));
      }
      stream.next_out = reinterpret_cast<Bytef*>(out.data() + produced);
      stream.avail_out = uInt(std::min<std::size_t>(out.size() - produced, 1u << 30));
      const uInt inBefore = stream.avail_in, outBefore = stream.avail_out;
      const int status = inflate(&stream, Z_NO_FLUSH);
      pos += inBefore - stream.avail_in;
      produced += outBefore - stream.avail_out;
      if (status == Z_STREAM_END) {
        memberEnded = true;
        // Another gzip member may follow (concatenated gzip files).
        unsigned char magic[2];
        if (size - pos >= 2 && file_->copy(pos, 2, reinterpret_cast<char*>(magic)) && magic[0] == kGzipMagic0 &&
            magic[1] == kGzipMagic1) {
          inflateReset(&stream);
          memberEnded = false;
          continue;
        }
        break;
      }
      if (status == Z_OK) continue;
      if (status == Z_BUF_ERROR && stream.avail_out == 0) continue;
      if (status == Z_BUF_ERROR && pos == size) {
        inflateError_ = QStringLiteral("%1: compressed data cut short").arg(path_);
        break;
      }
      inflateError_ = QStringLiteral("%1: damaged compressed data: %2")
                          .arg(path_, QString::fromLatin1(stream.msg ? stream.msg : "inflate failed"));
    }
    inflateEnd(&stream);
    if (inflateError_.isEmpty() && !memberEnded) inflateError_ = QStringLiteral("%1: compressed data cut short").arg(path_);
    if (inflateError_.isEmpty()) {
      out.resize(qsizetype(produced));
      out.squeeze();
      whole_ = std::move(out);
    }
  }
  file_.reset();  // the inflated copy replaces the mapping
  if (!inflateError_.isEmpty() && error) *error = inflateError_;
  return inflateError_.isEmpty();
}

bool DictData::read(std::uint64_t offset, std::uint64_t size, QByteArray* out, QString* error) const {
  out->truncate(0);  // keeps its room: callers reuse one buffer word after word
  auto pastEnd = [&](std::uint64_t end) {
    if (error) {
      *error = QStringLiteral("%1: entry at %2 (%3 bytes) runs past the end of the data (%4 bytes)")
                   .arg(path_).arg(offset).arg(size).arg(end);
    }
    return false;
  };
  if (offset + size < offset) return pastEnd(0);
  switch (kind_) {
    case Kind::Plain: {
      const std::uint64_t total = file_->size();
      if (offset > total || size > total - offset) return pastEnd(total);
      if (size > std::uint64_t(kMaxWholeGzipBytes)) {
        if (error) *error = QStringLiteral("%1: entry at %2 claims %3 bytes").arg(path_).arg(offset).arg(size);
        return false;
      }
      out->resize(qsizetype(size));
      if (!file_->copy(offset, std::size_t(size), out->data())) {
        out->clear();
        changed_ = true;
        if (error) *error = QStringLiteral("%1: changed while it was read").arg(path_);
        return false;
      }
      return true;
    }
    case Kind::Gzip: {
      std::lock_guard lock(mutex_);
      if (!inflateWhole(error)) return false;
      const std::uint64_t total = whole_.size();
      if (offset > total || size > total - offset) return pastEnd(total);
      out->append(whole_.constData() + offset, qsizetype(size));
      return true;
    }
    case Kind::DictZip:
      break;
  }
  if (size == 0) return true;
  if (chunkSizes_.empty()) return pastEnd(0);
  if (size > std::uint64_t(kMaxWholeGzipBytes)) {
    if (error) *error = QStringLiteral("%1: entry at %2 claims %3 bytes").arg(path_).arg(offset).arg(size);
    return false;
  }
  const std::uint64_t first = offset / chunkLength_;
  const std::uint64_t last = (offset + size - 1) / chunkLength_;
  if (last >= chunkSizes_.size()) return pastEnd(std::uint64_t(chunkLength_) * chunkSizes_.size());
  out->reserve(qsizetype(size));
  for (std::uint64_t index = first; index <= last; ++index) {
    std::shared_ptr<const QByteArray> data = chunk(std::size_t(index), error);
    if (!data) {
      out->clear();
      return false;
    }
    const std::uint64_t chunkStart = index * chunkLength_;
    const std::uint64_t from = std::max(offset, chunkStart) - chunkStart;
    const std::uint64_t to = std::min(offset + size, chunkStart + chunkLength_) - chunkStart;
    if (to > std::uint64_t(data->size())) {
      out->clear();
      return pastEnd(chunkStart + data->size());
    }
    out->append(data->constData() + from, qsizetype(to - from));
  }
  return true;
}

bool DictData::view(std::uint64_t offset, std::uint64_t size, QByteArrayView* out, QByteArray* scratch,
                    QString* error) const {
  if (!read(offset, size, scratch, error)) return false;
  *out = QByteArrayView(*scratch);
  return true;
}

bool DictData::readAll(QByteArray* out, QString* error) const {
  switch (kind_) {
    case Kind::Plain:
      return read(0, file_->size(), out, error);
    case Kind::Gzip: {
      std::lock_guard lock(mutex_);
      if (!inflateWhole(error)) return false;
      *out = whole_;
      return true;
    }
    case Kind::DictZip:
      break;
  }
  out->clear();
  for (std::size_t index = 0; index < chunkSizes_.size(); ++index) {
    QByteArray piece;
    if (!inflateChunk(index, &piece, error)) {
      out->clear();
      return false;
    }
    if (std::size_t(out->size()) + piece.size() > kMaxWholeGzipBytes) {
      out->clear();
      if (error) *error = QStringLiteral("%1: inflates to more than %2 MB").arg(path_).arg(kMaxWholeGzipBytes >> 20);
      return false;
    }
    out->append(piece);
  }
  return true;
}

bool DictData::inflateInto(const Sink& sink, QString* error) const {
  switch (kind_) {
    case Kind::Plain: {
      QByteArray piece;
      for (std::uint64_t at = 0; at < file_->size(); at += std::uint64_t(piece.size())) {
        if (!read(at, std::min<std::uint64_t>(file_->size() - at, kCopyPieceBytes), &piece, error)) return false;
        if (!sink(piece.constData(), std::size_t(piece.size()))) return false;
      }
      return true;
    }
    case Kind::Gzip: {
      QByteArray whole;
      if (!readAll(&whole, error)) return false;
      return sink(whole.constData(), std::size_t(whole.size()));
    }
    case Kind::DictZip:
      break;
  }
  QByteArray piece;
  for (std::size_t index = 0; index < chunkSizes_.size(); ++index) {
    if (!inflateChunk(index, &piece, error)) return false;
    if (!sink(piece.constData(), std::size_t(piece.size()))) return false;
  }
  return true;
}

}  // namespace dictionary
