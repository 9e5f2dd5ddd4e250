// SPDX-License-Identifier: GPL-3.0-or-later
#include "dictionary/DictZipWriter.h"

#include <zlib.h>

#include <vector>

#include "platform/SafeFile.h"

namespace dictionary {
namespace {

void putLe16(QByteArray& out, unsigned value) {
  out += char(value & 0xff);
  out += char((value >> 8) & 0xff);
}

void putLe32(QByteArray& out, quint32 value) {
  putLe16(out, value & 0xffff);
  putLe16(out, value >> 16);
}

void putGzipTrailer(QByteArray& out, const QByteArray& data) {
  uLong crc = crc32(0, nullptr, 0);
  // crc32 takes uInt lengths; feed large data in pieces.
  for (qsizetype done = 0; done < data.size();) {
    const uInt piece = uInt(std::min<qsizetype>(data.size() - done, 1 << 30));
    crc = crc32(crc, reinterpret_cast<const Bytef*>(data.constData() + done), piece);
    done += piece;
  }
  putLe32(out, quint32(crc));
  putLe32(out, quint32(data.size()));
}

}  // namespace

std::optional<QByteArray> dictzipCompress(const QByteArray& data, int chunkLength, QString* error) {
  if (chunkLength < 1 || chunkLength > kDefaultDictZipChunkLength) {
    if (error) *error = QStringLiteral("chunk length %1 is outside 1..%2").arg(chunkLength).arg(kDefaultDictZipChunkLength);
    return std::nullopt;
  }
  const qsizetype chunkCount = (data.size() + chunkLength - 1) / chunkLength;
  // The extra field (at most 65535 bytes) holds 10 bytes of headers and 2 bytes per chunk.
  if (chunkCount > (65535 - 10) / 2) {
    if (error) *error = QStringLiteral("%1 bytes need too many chunks of %2 bytes").arg(data.size()).arg(chunkLength);
    return std::nullopt;
  }
  z_stream stream{};
  deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 9, Z_DEFAULT_STRATEGY);
  std::vector<quint16> sizes;
  QByteArray body;
  QByteArray buffer(int(deflateBound(&stream, uLong(chunkLength)) + 64), '\0');
  auto drain = [&](int flush) {
    qsizetype produced = 0;
    int status;
    do {
      stream.next_out = reinterpret_cast<Bytef*>(buffer.data());
      stream.avail_out = uInt(buffer.size());
      status = deflate(&stream, flush);
      const qsizetype piece = buffer.size() - qsizetype(stream.avail_out);
      body.append(buffer.constData(), piece);
      produced += piece;
    } while (stream.avail_out == 0 || (flush == Z_FINISH && status != Z_STREAM_END));
    return produced;
  };
  for (qsizetype i = 0; i < chunkCount; ++i) {
    const qsizetype start = i * chunkLength;
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData() + start));
    stream.avail_in = uInt(std::min<qsizetype>(chunkLength, data.size() - start));
    // A full flush ends every chunk on a byte boundary with no back references into it.
    const qsizetype produced = drain(Z_FULL_FLUSH);
    if (produced > 65535) {
      deflateEnd(&stream);
      if (error) *error = QStringLiteral("chunk %1 does not compress below 64 KB").arg(i);
      return std::nullopt;
    }
    sizes.push_back(quint16(produced));
  }
  // The final empty block follows the last chunk and belongs to none, as dictzip writes it:
  // dictd inflates each chunk expecting more to come, never the end of the stream.
  stream.next_in = nullptr;
  stream.avail_in = 0;
  drain(Z_FINISH);
  deflateEnd(&stream);

  QByteArray out;
  out += char(0x1f);
  out += char(0x8b);
  out += char(8);     // deflate
  out += char(4);     // FEXTRA
  putLe32(out, 0);    // no time stamp
  out += char(2);     // best compression
  out += char(3);     // Unix
  const unsigned subfieldLength = 6 + 2 * unsigned(sizes.size());
  putLe16(out, 4 + subfieldLength);
  out += 'R';
  out += 'A';
  putLe16(out, subfieldLength);
  putLe16(out, 1);  // version
  putLe16(out, unsigned(chunkLength));
  putLe16(out, unsigned(sizes.size()));
  for (quint16 size : sizes) putLe16(out, size);
  out += body;
  putGzipTrailer(out, data);
  return out;
}

QByteArray gzipCompress(const QByteArray& data) {
  z_stream stream{};
  deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 9, Z_DEFAULT_STRATEGY);
  QByteArray out;
  out += char(0x1f);
  out += char(0x8b);
  out += char(8);
  out += char(0);
  putLe32(out, 0);
  out += char(2);
  out += char(3);
  QByteArray buffer(1 << 16, '\0');
  qsizetype done = 0;
  int status;
  do {
    const uInt piece = uInt(std::min<qsizetype>(data.size() - done, 1 << 30));
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData() + done));
    stream.avail_in = piece;
    const bool last = done + piece == data.size();
    do {
      stream.next_out = reinterpret_cast<Bytef*>(buffer.data());
      stream.avail_out = uInt(buffer.size());
      status = deflate(&stream, last ? Z_FINISH : Z_NO_FLUSH);
      out.append(buffer.constData(), buffer.size() - qsizetype(stream.avail_out));
    } while (stream.avail_out == 0);
    done += piece;
  } while (done < data.size() || status != Z_STREAM_END);
  deflateEnd(&stream);
  putGzipTrailer(out, data);
  return out;
}

bool writeFileAtomically(const QString& path, const QByteArray& contents, QString* error) {
  // Flushed and checked before the rename: a full disk must not leave an empty file.
  return safefile::writeAtomically(path, contents, error);
}

}  // namespace dictionary
