// SPDX-License-Identifier: GPL-3.0-or-later
// Hostile and unlucky files: special files in place of dictionary files, gzip bombs, files
// rewritten in place while mapped, rewrites that keep size and modification time.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <atomic>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <zlib.h>

#include "dictionary/Bundle.h"
#include "dictionary/Dictionary.h"
#include "dictionary/DictZip.h"
#include "dictionary/DictdWriter.h"
#include "dictionary/Import.h"
#include "dictionary/StarDictWriter.h"
#include "platform/Places.h"
#include "platform/automator/GetDefinitionOfWord.h"
#include "tests/TestEnvironment.h"
#include "tests/dictionary/Fixtures.h"

namespace {

// Enough words that every file spans many pages: only pages wholly past a file's new end
// fault, a cut inside the last page reads as zeros.
constexpr int kWords = 4000;

QString wordAt(int i) { return QStringLiteral("word%1").arg(i, 4, 10, QLatin1Char('0')); }

// Each edition gives every word a different text; a shorter edition has shorter texts.
QString textOf(int i, int edition, int length = 300) {
  // Ending in a word, so that every edition's data has the same layout.
  return wordAt(i) + QLatin1Char('\n') + QString::fromLatin1(fixtures::proseBytes(length, 1000 * edition + i)) +
         QStringLiteral(" end");
}

// Runs a command as a second process and waits for it.
void runProcess(const QString& program, const QStringList& arguments) {
  QProcess process;
  process.start(program, arguments);
  ASSERT_TRUE(process.waitForFinished(30000)) << program.toStdString();
  ASSERT_EQ(process.exitCode(), 0) << program.toStdString() << ": " << process.readAllStandardError().toStdString();
}

class HardeningTest : public ::testing::Test {
 protected:
  void SetUp() override {
    packages_ = environment_.path() + QStringLiteral("/share");
    QDir().mkpath(packages_);
  }

  dictionary::DictdFiles writeDictd(const QString& base, int edition, bool dictzip, int length = 300) {
    QList<dictionary::DictdEntry> entries;
    for (int i = 0; i < kWords; ++i) entries.append({wordAt(i), textOf(i, edition, length)});
    dictionary::DictdWriterOptions options;
    options.shortName = QStringLiteral("Numbered");
    options.dictzip = dictzip;
    options.chunkLength = 1024;
    dictionary::DictdFiles files;
    EXPECT_TRUE(dictionary::writeDictd(packages_ + QLatin1Char('/') + base, entries, options, &files));
    return files;
  }

  dictionary::StarDictFiles writeStarDict(const QString& base, int edition) {
    QList<dictionary::StarDictEntry> entries;
    for (int i = 0; i < kWords; ++i) entries.append(dictionary::starDictTextEntry(wordAt(i), textOf(i, edition)));
    dictionary::StarDictWriterOptions options;
    options.bookName = QStringLiteral("Starred");
    dictionary::StarDictFiles files;
    EXPECT_TRUE(dictionary::writeStarDict(packages_ + QLatin1Char('/') + base, entries, options, &files));
    return files;
  }

  QStringList entriesOf(const QString& folder) const {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
  }

  TestEnvironment environment_;
  QString packages_;
};

// A FIFO or a device in place of a dictionary's file is refused at once, never read.
TEST_F(HardeningTest, SpecialFilesAreRefusedWithoutBlocking) {
  const dictionary::DictdFiles dictd = writeDictd(QStringLiteral("d"), 1, false);
  const dictionary::StarDictFiles star = writeStarDict(QStringLiteral("s"), 1);
  struct Case {
    QString file;     // replaced by the special file
    QString special;  // "fifo", or the device a link points to
    QString opened;   // what is opened
  };
  const std::vector<Case> cases = {
      {dictd.index, QStringLiteral("fifo"), dictd.index},
      {dictd.index, QStringLiteral("/dev/zero"), dictd.index},
      {dictd.data, QStringLiteral("fifo"), dictd.index},
      {star.ifo, QStringLiteral("fifo"), star.ifo},
      {star.ifo, QStringLiteral("/dev/zero"), star.ifo},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE((c.file + QLatin1Char(' ') + c.special).toStdString());
    const QString saved = c.file + QStringLiteral(".saved");
    ASSERT_TRUE(QFile::rename(c.file, saved));
    if (c.special == QLatin1String("fifo")) {
      ASSERT_EQ(::mkfifo(QFile::encodeName(c.file).constData(), 0600), 0);
    } else {
      ASSERT_TRUE(QFile::link(c.special, c.file));
    }
    QString error;
    EXPECT_FALSE(dictionary::openUncached(c.opened, &error));
    EXPECT_TRUE(error.contains(QLatin1String("not a regular file")) || error.contains(QLatin1String("no data file")))
        << error.toStdString();
    const auto report = dictionary::importDictionaries({c.opened}, environment_.dictionariesFolder(), {});
    ASSERT_EQ(report.size(), 1);
    EXPECT_FALSE(report[0].error.isEmpty());
    ASSERT_TRUE(QFile::remove(c.file));
    ASSERT_TRUE(QFile::rename(saved, c.file));
  }
  // An .ifo of more than a megabyte is no .ifo.
  fixtures::writeBytes(star.ifo, fixtures::readBytes(star.ifo) + QByteArray(2 << 20, '\n'));
  QString error;
  EXPECT_FALSE(dictionary::openUncached(star.ifo, &error));
  EXPECT_TRUE(error.contains(QLatin1String("too large"))) << error.toStdString();
}

QByteArray deflateRaw(const QByteArray& data) {
  z_stream stream{};
  deflateInit2(&stream, 9, Z_DEFLATED, -MAX_WBITS, 9, Z_DEFAULT_STRATEGY);
  QByteArray out(int(deflateBound(&stream, uLong(data.size()))), 0);
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
  stream.avail_in = uInt(data.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = uInt(out.size());
  deflate(&stream, Z_FINISH);
  out.truncate(int(stream.total_out));
  deflateEnd(&stream);
  return out;
}

void putLe16(QByteArray& out, unsigned value) {
  out += char(value & 0xff);
  out += char((value >> 8) & 0xff);
}

// A dictzip file of `count` chunks of `chunkLength` zero bytes each: a few hundred bytes per
// 64 KB declared.
QByteArray dictzipBomb(unsigned chunkLength, unsigned count) {
  const QByteArray chunk = deflateRaw(QByteArray(int(chunkLength), '\0'));
  QByteArray out("\x1f\x8b\x08\x04\0\0\0\0\0\x03", 10);
  putLe16(out, 4 + 6 + 2 * count);  // extra field
  out += "RA";
  putLe16(out, 6 + 2 * count);
  putLe16(out, 1);
  putLe16(out, chunkLength);
  putLe16(out, count);
  for (unsigned i = 0; i < count; ++i) putLe16(out, unsigned(chunk.size()));
  for (unsigned i = 0; i < count; ++i) out += chunk;
  out += QByteArray(8, '\0');  // checksum and length, unread
  return out;
}

// A gzip file of `size` zero bytes whose trailer declares `declared` bytes.
QByteArray gzipBomb(qint64 size, quint32 declared) {
  z_stream stream{};
  deflateInit2(&stream, 9, Z_DEFLATED, 16 + MAX_WBITS, 9, Z_DEFAULT_STRATEGY);
  const QByteArray zeros(1 << 20, '\0');
  QByteArray out;
  char buffer[1 << 16];
  for (qint64 done = 0; done <= size; done += zeros.size()) {
    const bool last = done + zeros.size() > size;
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zeros.constData()));
    stream.avail_in = last ? uInt(size - done) : uInt(zeros.size());
    do {
      stream.next_out = reinterpret_cast<Bytef*>(buffer);
      stream.avail_out = sizeof buffer;
      deflate(&stream, last ? Z_FINISH : Z_NO_FLUSH);
      out.append(buffer, int(sizeof buffer - stream.avail_out));
    } while (stream.avail_out == 0);
  }
  deflateEnd(&stream);
  for (int i = 0; i < 4; ++i) out[out.size() - 4 + i] = char((declared >> (8 * i)) & 0xff);
  return out;
}

// Compressed data that inflates far beyond anything a dictionary holds is refused before a
// byte is written; data whose header lies gets no copy longer than the header declares.
TEST_F(HardeningTest, GzipBombsGetNoPreparedCopy) {
  struct Case {
    const char* name;
    QByteArray data;
    bool refused;
    const char* message;
  };
  const std::vector<Case> cases = {
      {"dictzip of 256 MB in 330 KB", dictzipBomb(65535, 4096), true, "compression ratio"},
      {"gzip of 64 MB in 64 KB", gzipBomb(64 << 20, 64u << 20), true, "compression ratio"},
      {"gzip of 64 MB declaring 1000 bytes", gzipBomb(64 << 20, 1000), false, "inflates to more than"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // A real index over data of the same name: the index opens, the data is the bomb.
    const dictionary::DictdFiles files = writeDictd(QStringLiteral("bomb"), 1, true);
    ASSERT_TRUE(fixtures::writeBytes(files.data, c.data));
    const QString destination = environment_.dictionariesFolder();
    const auto report = dictionary::importDictionaries({files.index}, destination, {});
    ASSERT_EQ(report.size(), 1);
    const QString said = report[0].error + report[0].notes.join(QLatin1Char('\n'));
    EXPECT_TRUE(said.contains(QLatin1String(c.message))) << said.toStdString();
    EXPECT_EQ(report[0].error.isEmpty(), !c.refused) << report[0].error.toStdString();
    // Nothing half-written stays behind, and no bundle holds a copy.
    for (const QString& entry : entriesOf(destination)) {
      EXPECT_FALSE(entry.startsWith(QLatin1Char('.'))) << entry.toStdString();
      for (const QString& inside : entriesOf(destination + QLatin1Char('/') + entry)) {
        EXPECT_FALSE(inside.contains(QLatin1String(".prepared"))) << inside.toStdString();
      }
    }
    QDir(destination).removeRecursively();
  }
}

// The dictionary kinds whose files a second process rewrites shorter while they are open.
struct Shrink {
  const char* name;
  bool starDict;
  bool dictzip;
  const char* shrunk;  // which file: "index" or "data"
};

class ShrinkTest : public HardeningTest, public ::testing::WithParamInterface<Shrink> {};

// A file cut short under its mapping gives the failure for the words it no longer holds,
// never SIGBUS; the dictionary is then opened afresh.
TEST_P(ShrinkTest, AFileCutShortWhileOpenFailsTheWordAndIsReopened) {
  const Shrink& c = GetParam();
  QString opened, index, data;
  if (c.starDict) {
    const auto files = writeStarDict(QStringLiteral("s"), 1);
    opened = files.ifo, index = files.idx, data = files.dict;
  } else {
    const auto files = writeDictd(QStringLiteral("d"), 1, c.dictzip);
    opened = index = files.index;
    data = files.data;
  }
  QString error;
  const auto dictionary = dictionary::open(opened, &error);
  ASSERT_TRUE(dictionary) << error.toStdString();
  ASSERT_EQ(dictionary->define(wordAt(0), &error), textOf(0, 1));
  const quint64 before = dictionary::generation();

  // Lookups of the first third of the words run on while the second process cuts the file
  // to a third; which of them the cut meets is down to timing, but none may crash.
  std::atomic<bool> stop{false};
  std::atomic<int> lookups{0};
  std::thread reader([&] {
    for (int i = 0; !stop; i = (i + 1) % (kWords / 3), ++lookups) {
      QString problem;
      dictionary->define(wordAt(i), &problem);
    }
  });
  const QString cut = QLatin1String(c.shrunk) == QLatin1String("index") ? index : data;
  runProcess(QStringLiteral("truncate"), {QStringLiteral("-s"), QString::number(QFileInfo(cut).size() / 3), cut});
  const int seen = lookups;
  while (lookups < seen + 1000) std::this_thread::yield();
  stop = true;
  reader.join();

  // The last third of the words fails cleanly, with the reason.
  const auto last = dictionary->define(wordAt(kWords - 1), &error);
  EXPECT_FALSE(last);
  EXPECT_TRUE(error.contains(QLatin1String("changed")) || error.contains(QLatin1String("past the end")))
      << error.toStdString();
  EXPECT_TRUE(dictionary->changedOnDisk());
  EXPECT_NE(dictionary::generation(), before);
  EXPECT_NE(dictionary::open(opened).get(), dictionary.get());
}

INSTANTIATE_TEST_SUITE_P(Kinds, ShrinkTest,
                         ::testing::Values(Shrink{"dictd_plain_data", false, false, "data"},
                                           Shrink{"dictd_dictzip_data", false, true, "data"},
                                           Shrink{"dictd_index", false, false, "index"},
                                           Shrink{"stardict_data", true, false, "data"},
                                           Shrink{"stardict_index", true, false, "index"}),
                         [](const auto& info) { return std::string(info.param.name); });

// Through the definition action, as the window and the command line look words up: the word
// read while the data shrank gets nothing, the next word is read from the new files.
TEST_F(HardeningTest, TheActionReopensAChangedDictionaryAtTheNextWord) {
  const dictionary::DictdFiles first = writeDictd(QStringLiteral("d"), 1, false);
  const auto report = dictionary::importDictionaries({first.index}, environment_.dictionariesFolder(), {});
  ASSERT_EQ(report.size(), 1);
  ASSERT_TRUE(report[0].error.isEmpty()) << report[0].error.toStdString();
  automator::GetDefinitionOfWord action(QStringLiteral("/Library/Dictionaries/Numbered.dictionary"));
  QString error;
  ASSERT_EQ(action.run(wordAt(0), &error).toString(), textOf(0, 1)) << error.toStdString();

  runProcess(QStringLiteral("truncate"), {QStringLiteral("-s"), QStringLiteral("100"), first.data});
  EXPECT_FALSE(action.run(wordAt(kWords - 1), &error).isValid());

  // A second edition, shorter, copied over both files in place.
  const QString folder = environment_.path() + QStringLiteral("/second");
  QDir().mkpath(folder);
  const dictionary::DictdFiles second = writeDictd(QStringLiteral("../second/d"), 2, false, 100);
  runProcess(QStringLiteral("cp"), {second.index, first.index});
  runProcess(QStringLiteral("cp"), {second.data, first.data});
  EXPECT_EQ(action.run(wordAt(kWords - 1), &error).toString(), textOf(kWords - 1, 2, 100)) << error.toStdString();
}

// Rewritten in place with the same size, the modification time set back: the status-change
// time still tells, so neither a prepared copy nor a kept dictionary serves the old text.
TEST_F(HardeningTest, ASameSizeRewriteWithTheTimeSetBackIsNoticed) {
  const dictionary::DictdFiles first = writeDictd(QStringLiteral("d"), 1, true);
  const QString folder = environment_.path() + QStringLiteral("/second");
  QDir().mkpath(folder);
  // A later edition of the same layout (texts of the same lengths), so the index stays
  // valid, whose data compresses no larger; it is padded to the first edition's size (bytes
  // after the last chunk are never read).
  const qint64 size = QFileInfo(first.data).size();
  int edition = 2;
  QByteArray newData;
  for (; edition < 20; ++edition) {
    newData = fixtures::readBytes(writeDictd(QStringLiteral("../second/d"), edition, true).data);
    if (newData.size() <= size) break;
  }
  ASSERT_LE(newData.size(), size);
  newData.append(QByteArray(int(size - newData.size()), '\0'));

  const auto report = dictionary::importDictionaries({first.index}, environment_.dictionariesFolder(), {});
  ASSERT_EQ(report.size(), 1);
  const QString bundle = report[0].bundlePath;
  ASSERT_TRUE(dictionary::readBundleInfo(bundle)->prepared);
  const auto kept = dictionary::open(bundle);
  const auto bare = dictionary::open(first.index);
  ASSERT_TRUE(kept && bare);
  for (const auto& opened : {kept, bare}) ASSERT_EQ(opened->define(wordAt(5)), textOf(5, 1));

  struct stat before {};
  ASSERT_EQ(::stat(QFile::encodeName(first.data).constData(), &before), 0);
  QFile file(first.data);
  ASSERT_TRUE(file.open(QIODevice::ReadWrite));  // in place: same inode
  ASSERT_EQ(file.write(newData), size);
  file.close();
  const struct timespec times[2] = {before.st_atim, before.st_mtim};
  ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(first.data).constData(), times, 0), 0);
  struct stat after {};
  ASSERT_EQ(::stat(QFile::encodeName(first.data).constData(), &after), 0);
  ASSERT_EQ(std::tuple(after.st_size, after.st_ino, after.st_mtim.tv_nsec, after.st_mtim.tv_sec),
            std::tuple(before.st_size, before.st_ino, before.st_mtim.tv_nsec, before.st_mtim.tv_sec));

  // A window's next lookup checks once; the kept objects are then opened afresh.
  const quint64 generation = dictionary::generation();
  dictionary::checkForChanges();
  EXPECT_NE(dictionary::generation(), generation);
  for (const QString& path : {bundle, first.index}) {
    const auto reopened = dictionary::open(path);
    ASSERT_TRUE(reopened);
    EXPECT_EQ(reopened->define(wordAt(5)), textOf(5, edition)) << path.toStdString();
  }
  EXPECT_EQ(dictionary::openUncached(bundle)->define(wordAt(7)), textOf(7, edition));
  // Nothing changed since: a second check moves nothing.
  const quint64 settled = dictionary::generation();
  dictionary::checkForChanges();
  EXPECT_EQ(dictionary::generation(), settled);
}

}  // namespace
