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

class DictZipTest : public ::testing::Test {
 protected:
  QString path(const QString& name) const { return dir_.filePath(name); }

  std::unique_ptr<DictData> writeAndOpen(const QString& name, const QByteArray& bytes, QString* error = nullptr,
                                         std::size_t cache = DictData::kDefaultCacheBytes) {
    EXPECT_TRUE(fixtures::writeBytes(path(name), bytes));
    return DictData::open(path(name), error, cache);
  }

  QTemporaryDir dir_;
};

// 1000 bytes in chunks of 64: fifteen full chunks and a short last one of 40 bytes.
constexpr int kSize = 1000;
constexpr int kChunk = 64;

TEST_F(DictZipTest, ReadsAnyRangeAcrossChunkBoundariesAndTheShortLastChunk) {
  const QByteArray text = fixtures::proseBytes(kSize);
  const auto packed = dictionary::dictzipCompress(text, kChunk);
  ASSERT_TRUE(packed);
  auto data = writeAndOpen("a.dict.dz", *packed);
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
  QByteArray all;
  ASSERT_TRUE(data->readAll(&all));
  EXPECT_EQ(all, text);
}

TEST_F(DictZipTest, RangesPastTheEndAreErrors) {
  const QByteArray text = fixtures::proseBytes(kSize);
  auto data = writeAndOpen("a.dict.dz", *dictionary::dictzipCompress(text, kChunk));
  ASSERT_TRUE(data);
  for (const auto& [offset, size] : std::vector<std::pair<quint64, quint64>>{
           {kSize - 10, 11}, {kSize, 1}, {100000, 5}, {~quint64(0) - 2, 10}, {10, ~quint64(0)}}) {
    QByteArray out("stale");
    QString error;
    EXPECT_FALSE(data->read(offset, size, &out, &error)) << offset << "+" << size;
    EXPECT_TRUE(out.isEmpty());
    EXPECT_TRUE(error.contains(QLatin1String("past the end"))) << error.toStdString();
  }
}

TEST_F(DictZipTest, GzipWithoutChunkTableAndPlainFilesWork) {
  const QByteArray text = fixtures::proseBytes(5000, 7);
  auto gzip = writeAndOpen("b.dict.dz", dictionary::gzipCompress(text));
  ASSERT_TRUE(gzip);
  EXPECT_EQ(gzip->kind(), DictData::Kind::Gzip);
  auto plain = writeAndOpen("c.dict", text);
  ASSERT_TRUE(plain);
  EXPECT_EQ(plain->kind(), DictData::Kind::Plain);
  auto dictzip = writeAndOpen("b2.dict.dz", *dictionary::dictzipCompress(text, kChunk));
  ASSERT_TRUE(dictzip);
  for (DictData* data : {gzip.get(), plain.get(), dictzip.get()}) {
    for (int offset : {0, 1, 4095, 4999}) {
      QByteArray out;
      ASSERT_TRUE(data->read(offset, 5000 - offset, &out));
      EXPECT_EQ(out, text.mid(offset));
      // A view gives the same bytes, from the mapping itself when the file is plain.
      QByteArray scratch;
      QByteArrayView view;
      ASSERT_TRUE(data->view(offset, 5000 - offset, &view, &scratch));
      EXPECT_EQ(view, text.mid(offset));
      EXPECT_EQ(scratch.isEmpty(), data == plain.get());
    }
    QByteArray out;
    QString error;
    EXPECT_FALSE(data->read(4990, 11, &out, &error));
    EXPECT_FALSE(error.isEmpty());
    QByteArray scratch;
    QByteArrayView view;
    error.clear();
    EXPECT_FALSE(data->view(4990, 11, &view, &scratch, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(data->view(~std::uint64_t(0) - 3, 8, &view, &scratch, &error));
  }
  // The gzip file is inflated once and kept.
  EXPECT_EQ(gzip->cachedBytes(), std::size_t(text.size()));
}

TEST_F(DictZipTest, InflateIntoHandsOverTheWholeDataInOrder) {
  const QByteArray text = fixtures::proseBytes(kSize, 3);
  auto dictzip = writeAndOpen("f.dict.dz", *dictionary::dictzipCompress(text, kChunk));
  auto gzip = writeAndOpen("g.dict.dz", dictionary::gzipCompress(text));
  auto plain = writeAndOpen("h.dict", text);
  ASSERT_TRUE(dictzip && gzip && plain);
  for (DictData* data : {dictzip.get(), gzip.get(), plain.get()}) {
    QByteArray out;
    int pieces = 0;
    ASSERT_TRUE(data->inflateInto([&](const char* bytes, std::size_t size) {
      out.append(bytes, qsizetype(size));
      ++pieces;
      return true;
    }));
    EXPECT_EQ(out, text);
    if (data == dictzip.get()) {
      EXPECT_EQ(pieces, int(data->chunkCount()));
    }
  }
  // Going past the cache leaves it empty; a sink that says stop stops it.
  EXPECT_EQ(dictzip->cachedBytes(), 0u);
  int calls = 0;
  EXPECT_FALSE(dictzip->inflateInto([&](const char*, std::size_t) { return ++calls < 3; }));
  EXPECT_EQ(calls, 3);

  // A damaged chunk fails the whole and says which.
  QByteArray packed = *dictionary::dictzipCompress(text, kChunk);
  for (int i = packed.size() - 60; i < packed.size() - 30; ++i) packed[i] = char(~packed[i]);
  auto damaged = writeAndOpen("i.dict.dz", packed);
  ASSERT_TRUE(damaged);
  QString error;
  EXPECT_FALSE(damaged->inflateInto([](const char*, std::size_t) { return true; }, &error));
  EXPECT_TRUE(error.contains(QLatin1String("damaged chunk"))) << error.toStdString();
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
  struct Case {
    const char* what;
    QByteArray bytes;
  };
  QByteArray badMagic = packed;
  badMagic[1] = 'X';
  QByteArray badMethod = packed;
  badMethod[2] = 7;
  QByteArray badVersion = packed;
  badVersion[16] = 2;  // after 10 header bytes, XLEN (2), 'R' 'A' and LEN (2)
  QByteArray shortExtra = packed;
  shortExtra[10] = char(0xff);  // XLEN beyond the file
  const std::vector<Case> cases = {
      {"bad magic", badMagic},
      {"unknown method", badMethod},
      {"unknown chunk table version", badVersion},
      {"extra field past the end", shortExtra},
      {"cut inside the header", packed.left(14)},
      {"cut inside the chunk table", packed.left(30)},
      {"cut inside the chunks", packed.left(packed.size() - 200)},
      {"empty", QByteArray()},
  };
  for (const Case& c : cases) {
    QString error;
    EXPECT_FALSE(writeAndOpen("bad.dict.dz", c.bytes, &error)) << c.what;
    EXPECT_FALSE(error.isEmpty()) << c.what;
  }
}

TEST_F(DictZipTest, DamagedChunksAreErrorsAndSpareTheOthers) {
  const QByteArray text = fixtures::proseBytes(kSize);
  QByteArray packed = *dictionary::dictzipCompress(text, kChunk);
  // Find chunk 5 through the table and overwrite its middle.
  const auto le16 = [&](int at) { return int(quint8(packed[at])) | (int(quint8(packed[at + 1])) << 8); };
  const int count = le16(20);
  int offset = 10 + 2 + le16(10);
  for (int i = 0; i < 5; ++i) offset += le16(22 + 2 * i);
  for (int i = 2; i < le16(22 + 2 * 5) - 2; ++i) packed[offset + i] = char(0xff - packed[offset + i]);
  ASSERT_GT(count, 6);
  auto data = writeAndOpen("d.dict.dz", packed);
  ASSERT_TRUE(data);
  QByteArray out;
  QString error;
  EXPECT_FALSE(data->read(5 * kChunk + 3, 10, &out, &error));
  EXPECT_TRUE(error.contains(QLatin1String("chunk 5"))) << error.toStdString();
  ASSERT_TRUE(data->read(0, 4 * kChunk, &out));
  EXPECT_EQ(out, text.left(4 * kChunk));
  ASSERT_TRUE(data->read(7 * kChunk, 100, &out));
  EXPECT_EQ(out, text.mid(7 * kChunk, 100));
}

TEST_F(DictZipTest, ChunksLongerThanTheChunkLengthAreErrors) {
  QByteArray packed = *dictionary::dictzipCompress(fixtures::proseBytes(kSize), kChunk);
  packed[18] = char(kChunk / 2);  // the header now claims chunks of 32 bytes
  auto data = writeAndOpen("e.dict.dz", packed);
  ASSERT_TRUE(data);
  QByteArray out;
  QString error;
  EXPECT_FALSE(data->read(0, 10, &out, &error));
  EXPECT_TRUE(error.contains(QLatin1String("more than the chunk length"))) << error.toStdString();
}

TEST_F(DictZipTest, DamagedWholeGzipIsAnError) {
  const QByteArray packed = dictionary::gzipCompress(fixtures::proseBytes(3000));
  QByteArray badCrc = packed;
  badCrc[packed.size() - 6] = char(badCrc[packed.size() - 6] ^ 0x55);
  for (const QByteArray& bytes : {packed.left(packed.size() / 2), badCrc}) {
    auto data = writeAndOpen("f.dict.dz", bytes);
    ASSERT_TRUE(data);
    QByteArray out;
    QString error;
    EXPECT_FALSE(data->read(0, 10, &out, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(data->read(0, 10, &out, &error)) << "the failure is remembered";
  }
}

TEST_F(DictZipTest, CacheStaysWithinItsBudget) {
  const QByteArray text = fixtures::proseBytes(64 * 1024, 3);
  auto data = writeAndOpen("g.dict.dz", *dictionary::dictzipCompress(text, 1024), nullptr, 4096);
  ASSERT_TRUE(data);
  for (int round = 0; round < 2; ++round) {
    for (int offset = 0; offset + 1500 <= text.size(); offset += 1000) {
      QByteArray out;
      ASSERT_TRUE(data->read(offset, 1500, &out));
      ASSERT_EQ(out, text.mid(offset, 1500));
      EXPECT_LE(data->cachedBytes(), 4096u);
    }
  }
  EXPECT_GT(data->cachedBytes(), 0u);
}

TEST_F(DictZipTest, ConcurrentReadsAgree) {
  const QByteArray text = fixtures::proseBytes(200 * 1024, 5);
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
  QProcess unzip;
  unzip.start(gzip, {QStringLiteral("-dc"), path("ours.dz")});
  ASSERT_TRUE(unzip.waitForFinished(30000));
  EXPECT_EQ(unzip.exitCode(), 0);
  EXPECT_EQ(unzip.readAllStandardOutput(), text);

  ASSERT_TRUE(fixtures::writeBytes(path("theirs"), text));
  QProcess zip;
  zip.start(dictzip, {path("theirs")});
  ASSERT_TRUE(zip.waitForFinished(30000));
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
