// SPDX-License-Identifier: GPL-3.0-or-later
// Random access to plain, gzip and dictzip data, and what damaged files do.
#include <gtest/gtest.h>

#include <QProcess>
#include <QStandardPaths>
#include <thread>
#include <vector>

#include "dictionary/DictZip.h"
#include "dictionary/DictZipWriter.h"
#include "tests/dictionary/Fixtures.h"

using dictionary::DictData;

namespace {

// 1000 bytes in chunks of 64: fifteen full chunks and a short last one of 40 bytes.
constexpr int kSize = 1000;
constexpr int kChunk = 64;

class DictZipTest : public ::testing::Test {
 protected:
  QString path(const QString& name) const { return dir_.filePath(name); }

  std::unique_ptr<DictData> writeAndOpen(const QString& name, const QByteArray& bytes, QString* error = nullptr,
                                         std::size_t cache = DictData::kDefaultCacheBytes) {
    EXPECT_TRUE(fixtures::writeBytes(path(name), bytes));
    return DictData::open(path(name), error, cache);
  }

  // The same text as dictzip, whole gzip and plain data.
  std::vector<std::unique_ptr<DictData>> everyKind(const QByteArray& text) {
    std::vector<std::unique_ptr<DictData>> out;
    out.push_back(writeAndOpen("k.dict.dz", *dictionary::dictzipCompress(text, kChunk)));
    out.push_back(writeAndOpen("k-gzip.dict.dz", dictionary::gzipCompress(text)));
    out.push_back(writeAndOpen("k.dict", text));
    for (const auto& data : out) EXPECT_TRUE(data);
    return out;
  }

  QTemporaryDir dir_;
};

TEST_F(DictZipTest, ReadsAnyRangeAcrossChunkBoundariesAndTheShortLastChunk) {
  const QByteArray text = fixtures::proseBytes(kSize);
  auto data = writeAndOpen("a.dict.dz", *dictionary::dictzipCompress(text, kChunk));
  ASSERT_TRUE(data);
  EXPECT_EQ(data->kind(), DictData::Kind::DictZip);
  EXPECT_EQ(data->chunkLength(), quint32(kChunk));
  EXPECT_EQ(data->chunkCount(), std::size_t((kSize + kChunk - 1) / kChunk));

  const int lastChunkStart = (kSize / kChunk) * kChunk;
  const std::vector<std::pair<int, int>> ranges = {
      {0, 1},   {0, kChunk},          {kChunk - 1, 2},       {kChunk - 1, kChunk + 2}, {5, 3 * kChunk},
      {lastChunkStart - 3, 10},       {lastChunkStart, kSize - lastChunkStart},      {kSize - 1, 1},
      {0, kSize}, {kSize / 2, kSize / 2}};
  for (const auto& [offset, size] : ranges) {
    QByteArray out;
    QString error;
    ASSERT_TRUE(data->read(offset, size, &out, &error)) << offset << "+" << size << ": " << error.toStdString();
    EXPECT_EQ(out, text.mid(offset, size)) << offset << "+" << size;
  }
  // Ranges past the end, including ones whose end overflows, leave nothing behind.
  for (const auto& [offset, size] : std::vector<std::pair<quint64, quint64>>{
           {kSize - 10, 11}, {kSize, 1}, {100000, 5}, {~quint64(0) - 2, 10}, {10, ~quint64(0)}}) {
    QByteArray out("stale");
    QString error;
    EXPECT_FALSE(data->read(offset, size, &out, &error)) << offset << "+" << size;
    EXPECT_TRUE(out.isEmpty());
    EXPECT_TRUE(error.contains(QLatin1String("past the end"))) << error.toStdString();
  }
}

TEST_F(DictZipTest, EveryKindReadsViewsAndInflatesAlike) {
  const QByteArray text = fixtures::proseBytes(5000, 7);
  const auto kinds = everyKind(text);
  ASSERT_TRUE(kinds[0] && kinds[1] && kinds[2]);
  EXPECT_EQ(kinds[0]->kind(), DictData::Kind::DictZip);
  EXPECT_EQ(kinds[1]->kind(), DictData::Kind::Gzip);
  EXPECT_EQ(kinds[2]->kind(), DictData::Kind::Plain);
  for (const auto& data : kinds) {
    // Inflating the whole goes past the cache, so it leaves nothing in it.
    QByteArray whole;
    int pieces = 0;
    ASSERT_TRUE(data->inflateInto([&](const char* bytes, std::size_t size) {
      whole.append(bytes, qsizetype(size));
      return ++pieces > 0;
    }));
    EXPECT_EQ(whole, text);
    if (data == kinds[0]) {
      EXPECT_EQ(std::pair(pieces, data->cachedBytes()), std::pair(int(data->chunkCount()), std::size_t(0)));
    }
    for (int offset : {0, 1, 4095, 4999}) {
      QByteArray out;
      ASSERT_TRUE(data->read(offset, 5000 - offset, &out));
      EXPECT_EQ(out, text.mid(offset));
      // A view gives the same bytes, always copied: the file may shrink under its mapping.
      QByteArray scratch;
      QByteArrayView view;
      ASSERT_TRUE(data->view(offset, 5000 - offset, &view, &scratch));
      EXPECT_EQ(view, text.mid(offset));
      EXPECT_FALSE(scratch.isEmpty());
    }
    QByteArray out, scratch;
    QByteArrayView view;
    QString readError, viewError;
    EXPECT_FALSE(data->read(4990, 11, &out, &readError));
    EXPECT_FALSE(data->view(4990, 11, &view, &scratch, &viewError));
    EXPECT_FALSE(readError.isEmpty() || viewError.isEmpty());
    EXPECT_FALSE(data->view(~std::uint64_t(0) - 3, 8, &view, &scratch));
  }
  // The gzip file is inflated once and kept.
  EXPECT_EQ(kinds[1]->cachedBytes(), std::size_t(text.size()));
  // A sink that says stop stops it.
  int calls = 0;
  EXPECT_FALSE(kinds[0]->inflateInto([&](const char*, std::size_t) { return ++calls < 3; }));
  EXPECT_EQ(calls, 3);
}

TEST_F(DictZipTest, UncompressedOpenTakesTheBytesAsTheyAreAtTheirExactSize) {
  // Data that happens to start like a gzip file is still read as it is.
  const QByteArray text = QByteArray("\x1f\x8b\x08\x04") + fixtures::proseBytes(500, 4);
  ASSERT_TRUE(fixtures::writeBytes(path("j.prepared"), text));
  QString error;
  auto data = DictData::openUncompressed(path("j.prepared"), std::uint64_t(text.size()), &error);
  ASSERT_TRUE(data) << error.toStdString();
  EXPECT_EQ(data->kind(), DictData::Kind::Plain);
  QByteArray out;
  ASSERT_TRUE(data->read(0, 20, &out));
  EXPECT_EQ(out, text.left(20));
  EXPECT_FALSE(data->read(490, 20, &out));

  for (const qsizetype expected : {text.size() - 1, text.size() + 1, qsizetype(0)}) {
    EXPECT_FALSE(DictData::openUncompressed(path("j.prepared"), std::uint64_t(expected), &error)) << expected;
    EXPECT_TRUE(error.contains(QLatin1String("instead of"))) << error.toStdString();
  }
  EXPECT_FALSE(DictData::openUncompressed(path("absent"), 0, &error));
  EXPECT_FALSE(DictData::openUncompressed(dir_.path(), 0, &error));
}

TEST_F(DictZipTest, DamagedHeadersAreRefusedAtOpen) {
  const QByteArray packed = *dictionary::dictzipCompress(fixtures::proseBytes(kSize), kChunk);
  auto with = [&](int at, char value) { return QByteArray(packed).replace(at, 1, QByteArray(1, value)); };
  const std::vector<std::pair<const char*, QByteArray>> cases = {
      {"bad magic", with(1, 'X')},
      {"unknown method", with(2, 7)},
      {"unknown chunk table version", with(16, 2)},  // after 10 header bytes, XLEN (2), 'R' 'A' and LEN (2)
      {"extra field past the end", with(10, char(0xff))},
      {"cut inside the header", packed.left(14)},
      {"cut inside the chunk table", packed.left(30)},
      {"cut inside the chunks", packed.left(packed.size() - 200)},
      {"empty", QByteArray()},
  };
  for (const auto& [what, bytes] : cases) {
    QString error;
    EXPECT_FALSE(writeAndOpen("bad.dict.dz", bytes, &error)) << what;
    EXPECT_FALSE(error.isEmpty()) << what;
  }
}

// Damage that only shows when the data is read: each fails its reads, and the failure stays.
TEST_F(DictZipTest, DamagedDataIsAnErrorWhenRead) {
  const QByteArray text = fixtures::proseBytes(kSize);
  const QByteArray dictzip = *dictionary::dictzipCompress(text, kChunk);
  const QByteArray gzip = dictionary::gzipCompress(fixtures::proseBytes(3000));
  QByteArray chunkFive = dictzip;
  // Find chunk 5 through the table and overwrite its middle.
  const auto le16 = [&](int at) { return int(quint8(dictzip[at])) | (int(quint8(dictzip[at + 1])) << 8); };
  ASSERT_GT(le16(20), 6);
  int offset = 10 + 2 + le16(10);
  for (int i = 0; i < 5; ++i) offset += le16(22 + 2 * i);
  for (int i = 2; i < le16(22 + 2 * 5) - 2; ++i) chunkFive[offset + i] = char(0xff - chunkFive[offset + i]);
  QByteArray longChunks = dictzip;
  longChunks[18] = char(kChunk / 2);  // the header now claims chunks of 32 bytes
  QByteArray badCrc = gzip;
  badCrc[gzip.size() - 6] = char(badCrc[gzip.size() - 6] ^ 0x55);
  const std::vector<std::tuple<QByteArray, quint64, const char*>> cases = {
      {chunkFive, 5 * kChunk + 3, "chunk 5"},
      {longChunks, 0, "more than the chunk length"},
      {gzip.left(gzip.size() / 2), 0, ""},
      {badCrc, 0, ""},
  };
  for (const auto& [bytes, at, message] : cases) {
    auto data = writeAndOpen("damaged.dict.dz", bytes);
    ASSERT_TRUE(data) << message;
    QByteArray out;
    QString error;
    EXPECT_FALSE(data->read(at, 10, &out, &error)) << message;
    EXPECT_TRUE(!error.isEmpty() && error.contains(QLatin1String(message))) << error.toStdString();
    EXPECT_FALSE(data->read(at, 10, &out)) << "the failure is remembered";
  }
  // A damaged chunk spares the others, and fails a whole inflation saying which.
  auto data = writeAndOpen("damaged.dict.dz", chunkFive);
  QByteArray out;
  ASSERT_TRUE(data->read(0, 4 * kChunk, &out));
  EXPECT_EQ(out, text.left(4 * kChunk));
  ASSERT_TRUE(data->read(7 * kChunk, 100, &out));
  EXPECT_EQ(out, text.mid(7 * kChunk, 100));
  QString error;
  EXPECT_FALSE(data->inflateInto([](const char*, std::size_t) { return true; }, &error));
  EXPECT_TRUE(error.contains(QLatin1String("damaged chunk"))) << error.toStdString();
}

TEST_F(DictZipTest, CacheStaysWithinItsBudgetAndConcurrentReadsAgree) {
  const QByteArray text = fixtures::proseBytes(200 * 1024, 5);
  auto small = writeAndOpen("g.dict.dz", *dictionary::dictzipCompress(text.left(64 * 1024), 1024), nullptr, 4096);
  ASSERT_TRUE(small);
  for (int round = 0; round < 2; ++round) {
    for (int offset = 0; offset + 1500 <= 64 * 1024; offset += 1000) {
      QByteArray out;
      ASSERT_TRUE(small->read(offset, 1500, &out));
      ASSERT_EQ(out, text.mid(offset, 1500));
      EXPECT_LE(small->cachedBytes(), 4096u);
    }
  }
  EXPECT_GT(small->cachedBytes(), 0u);

  auto data = writeAndOpen("h.dict.dz", *dictionary::dictzipCompress(text, 4096), nullptr, 16 * 1024);
  ASSERT_TRUE(data);
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      unsigned state = 17 + t;
      for (int i = 0; i < 400; ++i) {
        state = state * 1664525u + 1013904223u;
        const int offset = int(state % (text.size() - 9000));
        const int size = 1 + int((state >> 8) % 9000);
        QByteArray out;
        if (!data->read(offset, size, &out) || out != text.mid(offset, size)) ++failures[t];
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(failures, std::vector<int>(4, 0));
}

// Our files are real gzip files, and files made by the dictzip tool are read.
TEST_F(DictZipTest, AgreesWithGzipAndDictzipTools) {
  const QString gzip = QStandardPaths::findExecutable(QStringLiteral("gzip"));
  const QString dictzip = QStandardPaths::findExecutable(QStringLiteral("dictzip"));
  if (gzip.isEmpty() || dictzip.isEmpty()) GTEST_SKIP() << "gzip or dictzip is not installed";
  const QByteArray text = fixtures::proseBytes(300 * 1024, 11);
  ASSERT_TRUE(fixtures::writeBytes(path("ours.dz"), *dictionary::dictzipCompress(text, 8192)));
  ASSERT_TRUE(fixtures::writeBytes(path("theirs"), text));
  QProcess unzip, zip;
  unzip.start(gzip, {QStringLiteral("-dc"), path("ours.dz")});
  zip.start(dictzip, {path("theirs")});
  ASSERT_TRUE(unzip.waitForFinished(30000) && zip.waitForFinished(30000));
  EXPECT_EQ(unzip.exitCode(), 0);
  EXPECT_EQ(unzip.readAllStandardOutput(), text);
  ASSERT_EQ(zip.exitCode(), 0) << zip.readAllStandardError().toStdString();
  auto data = DictData::open(path("theirs.dz"));
  ASSERT_TRUE(data);
  EXPECT_EQ(data->kind(), DictData::Kind::DictZip);
  for (int offset : {0, 58314, 58315, 150000, int(text.size()) - 77}) {
    QByteArray out;
    ASSERT_TRUE(data->read(offset, 77, &out));
    EXPECT_EQ(out, text.mid(offset, 77)) << offset;
  }
}

}  // namespace
