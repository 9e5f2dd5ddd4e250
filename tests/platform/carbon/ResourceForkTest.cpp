// SPDX-License-Identifier: GPL-3.0-or-later
// Resource forks in AppleDouble companions, and the Resource Manager over them.
#include <QFile>
#include <QFileInfo>
#include <cstring>
#include <random>

#include "platform/carbon/AppleDouble.h"
#include "platform/carbon/Memory.h"
#include "platform/carbon/Resources.h"
#include "tests/platform/carbon/FileManagerTestSupport.h"

namespace {

// An AppleDouble reader and writer of the test's own, from RFC 1740 alone.
struct Rfc1740 {
  struct Entry {
    UInt32 id, offset, length;
  };
  static UInt32 u32(const QByteArray& b, int at) {
    return (UInt32(UInt8(b[at])) << 24) | (UInt32(UInt8(b[at + 1])) << 16) |
           (UInt32(UInt8(b[at + 2])) << 8) | UInt32(UInt8(b[at + 3]));
  }
  static void w32(QByteArray& b, UInt32 v) {
    for (int s = 24; s >= 0; s -= 8) b.append(char(v >> s));
  }
  // The entries of a sound AppleDouble v2 file, or none.
  static bool read(const QByteArray& b, std::map<UInt32, QByteArray>* out) {
    if (b.size() < 26 || u32(b, 0) != 0x00051607 || u32(b, 4) != 0x00020000) return false;
    for (int i = 8; i < 24; ++i)
      if (b[i] != 0) return false;  // filler is zero
    const int count = (UInt8(b[24]) << 8) | UInt8(b[25]);
    if (26 + 12 * count > b.size()) return false;
    for (int i = 0; i < count; ++i) {
      const Entry e{u32(b, 26 + 12 * i), u32(b, 30 + 12 * i), u32(b, 34 + 12 * i)};
      if (qint64(e.offset) + e.length > b.size()) return false;
      (*out)[e.id] = b.mid(int(e.offset), int(e.length));
    }
    return true;
  }
  // A companion as macOS lays it out: Finder information padded to 3760 bytes, the resource
  // fork from offset 4096 (or, with forkFirst, the fork before the Finder information).
  static QByteArray write(const QByteArray& finderInfo, const QByteArray& fork, bool forkFirst) {
    QByteArray b;
    w32(b, 0x00051607);
    w32(b, 0x00020000);
    b.append(QByteArray(16, 0));
    b.append(char(0));
    b.append(char(2));
    QByteArray fi = finderInfo.leftJustified(3760, '\0');
    const UInt32 first = 26 + 24;
    if (!forkFirst) {
      w32(b, 9), w32(b, first), w32(b, UInt32(fi.size()));
      w32(b, 2), w32(b, 4096), w32(b, UInt32(fork.size()));
      b.append(fi);
      b = b.leftJustified(4096, '\0');
      b.append(fork);
    } else {
      w32(b, 2), w32(b, first), w32(b, UInt32(fork.size()));
      w32(b, 9), w32(b, first + UInt32(fork.size())), w32(b, 32);
      b.append(fork);
      b.append(finderInfo.left(32).leftJustified(32, '\0'));
    }
    return b;
  }
};

QByteArray readAll(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
  f.write(bytes);
}

HFSUniStr255 rsrcName() {
  HFSUniStr255 n;
  FSGetResourceForkName(&n);
  return n;
}

QByteArray readResourceFork(const FSRef& ref) {
  const HFSUniStr255 n = rsrcName();
  FSIORefNum fork;
  EXPECT_EQ(FSOpenFork(&ref, n.length, n.unicode, fsRdPerm, &fork), noErr);
  SInt64 size = 0;
  FSGetForkSize(fork, &size);
  QByteArray bytes(int(size), 0);
  if (size) EXPECT_EQ(FSReadFork(fork, fsFromStart, 0, ByteCount(size), bytes.data(), nullptr), noErr);
  FSCloseFork(fork);
  return bytes;
}

Handle handleOf(const QByteArray& bytes) {
  Handle h = nullptr;
  EXPECT_EQ(PtrToHand(bytes.constData(), &h, bytes.size()), noErr);
  return h;
}

std::vector<UInt8> pstr(const char* s) {
  std::vector<UInt8> b(std::strlen(s) + 1, UInt8(std::strlen(s)));
  std::memcpy(b.data() + 1, s, std::strlen(s));
  return b;
}

class ResourceForkTest : public FileManagerTest {
 protected:
  void SetUp() override {
    FileManagerTest::SetUp();
    writeAll(work() + "/doc", "data fork");
    doc = refAt(work() + "/doc");
  }
  // Writes resources into doc's fork through the Resource Manager.
  void writeResources(const std::vector<std::tuple<ResType, ResID, const char*, QByteArray>>& list) {
    const HFSUniStr255 n = rsrcName();
    const OSErr created = FSCreateResourceFork(&doc, n.length, n.unicode, 0);
    ASSERT_TRUE(created == noErr || created == errFSForkExists);
    const ResFileRefNum file = FSOpenResFile(&doc, fsRdWrPerm);
    ASSERT_NE(file, -1) << ResError();
    for (const auto& [type, id, name, bytes] : list) {
      AddResource(handleOf(bytes), type, id, pstr(name).data());
      ASSERT_EQ(ResError(), noErr);
    }
    CloseResFile(file);
    ASSERT_EQ(ResError(), noErr);
  }
  FSRef doc{};
};

TEST_F(ResourceForkTest, AForkWeWriteIsASoundAppleDoubleFileAndAResourceFile) {
  FSCatalogInfo info{};
  FileInfo fi{};
  fi.fileType = 'TEXT';
  fi.fileCreator = 'ttxt';
  std::memcpy(info.finderInfo, &fi, 16);
  ASSERT_EQ(FSSetCatalogInfo(&doc, kFSCatInfoFinderInfo, &info), noErr);
  writeResources({{'STR ', 128, "greeting", "hello"}, {'STR ', 129, "", "world!"},
                  {'alis', 128, "", QByteArray(300, 'a')}});

  std::map<UInt32, QByteArray> entries;
  ASSERT_TRUE(Rfc1740::read(readAll(work() + "/._doc"), &entries));
  ASSERT_TRUE(entries.count(2));
  ASSERT_TRUE(entries.count(9));
  // Entry 9 is the Finder information, big-endian as a Mac writes it.
  EXPECT_EQ(entries[9].left(8), QByteArray("TEXTttxt"));
  const QByteArray fork = entries[2];
  EXPECT_EQ(fork, readResourceFork(doc));
  EXPECT_EQ(ValidateResourceFork(reinterpret_cast<const UInt8*>(fork.constData()), fork.size()), noErr);
  // The data fork is untouched, and the companion is no item of the folder.
  EXPECT_EQ(readAll(work() + "/doc"), QByteArray("data fork"));
  FSCatalogInfo sizes{};
  ASSERT_EQ(FSGetCatalogInfo(&doc, kFSCatInfoRsrcSizes | kFSCatInfoDataSizes, &sizes, nullptr, nullptr, nullptr), noErr);
  EXPECT_EQ(sizes.rsrcLogicalSize, UInt64(fork.size()));
  EXPECT_EQ(sizes.dataLogicalSize, 9u);

  const ResFileRefNum file = FSOpenResFile(&doc, fsRdPerm);
  ASSERT_NE(file, -1);
  Handle h = Get1Resource('STR ', 128);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(QByteArray(*h, int(GetHandleSize(h))), QByteArray("hello"));
  EXPECT_EQ(Get1Resource('STR ', 128), h);  // the same handle until released
  ResID id;
  ResType type;
  Str255 name;
  GetResInfo(h, &id, &type, name);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(name + 1), name[0]), "greeting");
  ReleaseResource(h);
  EXPECT_EQ(Count1Resources('STR '), 2);
  EXPECT_EQ(GetHandleSize(Get1Resource('alis', 128)), 300);
  EXPECT_EQ(Get1Resource('STR ', 1), nullptr);
  EXPECT_EQ(ResError(), resNotFound);
  AddResource(handleOf("x"), 'STR ', 5, nullptr);
  EXPECT_EQ(ResError(), addResFailed);  // opened read-only
  CloseResFile(file);
  EXPECT_EQ(readResourceFork(doc), fork);  // nothing was written
}

TEST_F(ResourceForkTest, ACompanionMadeElsewhereIsReadAndKeptWhenWritten) {
  // A resource fork made by our writer, carried in a companion laid out the way macOS does it.
  writeResources({{'TEXT', 1, "", "from a Mac"}});
  const QByteArray fork = readResourceFork(doc);
  for (bool forkFirst : {false, true}) {
    QByteArray finder = QByteArray("APPLMACS");
    finder.append(QByteArray(8, 0));
    finder[8] = char(0x40);  // invisible
    writeAll(work() + "/._doc", Rfc1740::write(finder, fork, forkFirst));

    FSCatalogInfo info{};
    ASSERT_EQ(FSGetCatalogInfo(&doc, kFSCatInfoFinderInfo | kFSCatInfoRsrcSizes, &info, nullptr, nullptr, nullptr), noErr);
    FileInfo fi;
    std::memcpy(&fi, info.finderInfo, 16);
    EXPECT_EQ(fi.fileType, OSType('APPL'));
    EXPECT_EQ(fi.fileCreator, OSType('MACS'));
    EXPECT_TRUE(fi.finderFlags & kIsInvisible);
    EXPECT_EQ(info.rsrcLogicalSize, UInt64(fork.size()));
    EXPECT_EQ(readResourceFork(doc), fork) << forkFirst;

    // Writing through us keeps the Finder information and relays the companion as needed.
    writeResources({{'TEXT', 2, "", "added"}});
    std::map<UInt32, QByteArray> entries;
    ASSERT_TRUE(Rfc1740::read(readAll(work() + "/._doc"), &entries)) << forkFirst;
    EXPECT_EQ(entries[9].left(8), QByteArray("APPLMACS"));
    const ResFileRefNum file = FSOpenResFile(&doc, fsRdPerm);
    ASSERT_NE(file, -1);
    EXPECT_EQ(Count1Resources('TEXT'), 2);
    CloseResFile(file);

    // Setting the Finder information goes to the companion, which keeps counting.
    fi.fileType = 'TEXT';
    std::memcpy(info.finderInfo, &fi, 16);
    ASSERT_EQ(FSSetCatalogInfo(&doc, kFSCatInfoFinderInfo, &info), noErr);
    entries.clear();
    ASSERT_TRUE(Rfc1740::read(readAll(work() + "/._doc"), &entries));
    EXPECT_EQ(entries[9].left(8), QByteArray("TEXTMACS"));
  }
}

TEST_F(ResourceForkTest, RenameMoveAndDeleteCarryTheCompanion) {
  writeResources({{'TEXT', 1, "", "fork"}});
  const QByteArray fork = readResourceFork(doc);
  FSRef sub;
  ASSERT_EQ(makeFolder(workRef, "sub", &sub), noErr);
  ASSERT_EQ(FSRenameUnicode(&doc, 7, units("renamed"), kTextEncodingUnknown, nullptr), noErr);
  EXPECT_FALSE(QFileInfo::exists(work() + "/._doc"));
  EXPECT_TRUE(QFileInfo::exists(work() + "/._renamed"));
  ASSERT_EQ(FSMoveObject(&doc, &sub, nullptr), noErr);
  EXPECT_TRUE(QFileInfo::exists(work() + "/sub/._renamed"));
  EXPECT_EQ(readResourceFork(doc), fork);
  ASSERT_EQ(FSDeleteObject(&doc), noErr);
  EXPECT_FALSE(QFileInfo::exists(work() + "/sub/._renamed"));
  EXPECT_EQ(FSCreateResourceFork(&sub, 3, units("bad"), 0), errFSBadForkName);
}

TEST_F(ResourceForkTest, DamagedMapsAndCompanionsFailQuietlyThousandsOfTimes) {
  writeResources({{'STR ', 1, "one", "first"}, {'STR ', 2, "", "second"}, {'alis', 128, "x", QByteArray(40, 'z')}});
  const QByteArray fork = readResourceFork(doc);
  const QByteArray companion = readAll(work() + "/._doc");
  std::mt19937 random(1740);
  int refused = 0;
  for (int round = 0; round < 3000; ++round) {
    QByteArray bytes = fork;
    const int changes = 1 + int(random() % 4);
    for (int c = 0; c < changes; ++c) {
      const int at = int(random() % UInt32(bytes.size()));
      switch (random() % 3) {
        case 0: bytes[at] = char(random()); break;
        case 1: bytes[at] = char(0xFF); break;
        default: bytes.truncate(at); break;
      }
      if (bytes.isEmpty()) break;
    }
    // An exact-size copy: any read past it is a read outside the fork.
    std::vector<UInt8> exact(bytes.begin(), bytes.end());
    if (ValidateResourceFork(exact.data(), exact.size()) == mapReadErr) ++refused;
  }
  EXPECT_GT(refused, 500);

  // Companion headers in memory: a header is taken only when every entry lies inside the file.
  int headersRefused = 0;
  for (int round = 0; round < 3000; ++round) {
    std::vector<UInt8> bytes(companion.begin(), companion.end());
    for (int c = 0; c < 1 + int(random() % 3); ++c) {
      const std::size_t at = random() % std::min<std::size_t>(bytes.size(), 80);
      if (random() % 6 == 0) bytes.resize(std::max<std::size_t>(at, 1));
      else bytes[at] = UInt8(random());
    }
    appledouble::Header header;
    if (!appledouble::parseHeader(bytes.data(), std::min<std::size_t>(bytes.size(), 26 + 12 * 64), bytes.size(), &header)) {
      ++headersRefused;
      continue;
    }
    for (const appledouble::Entry& e : header.entries) EXPECT_LE(UInt64(e.offset) + e.length, bytes.size());
  }
  EXPECT_GT(headersRefused, 1000);

  // Through files: damaged forks in damaged companions, opened and listed by the File Manager.
  for (int round = 0; round < 300; ++round) {
    QByteArray bytes = companion;
    for (int c = 0; c < 3; ++c) {
      const int at = int(random() % UInt32(bytes.size()));
      if (random() % 2) bytes[at] = char(random());
      else bytes.truncate(std::max(1, at));
    }
    writeAll(work() + "/._doc", bytes);
    const ResFileRefNum file = FSOpenResFile(&doc, fsRdPerm);
    if (file != -1) {
      for (ResID id : {1, 2}) Get1Resource('STR ', id);
      CloseResFile(file);
    } else {
      EXPECT_NE(ResError(), noErr);
    }
    FSCatalogInfo info{};
    EXPECT_EQ(FSGetCatalogInfo(&doc, kFSCatInfoGettableInfo, &info, nullptr, nullptr, nullptr), noErr);
    EXPECT_EQ(readAll(work() + "/doc"), QByteArray("data fork"));
  }
  // Writing over a damaged companion keeps it aside instead of destroying it.
  writeAll(work() + "/._doc", "not an AppleDouble file");
  writeResources({{'STR ', 9, "", "fresh"}});
  EXPECT_EQ(readAll(work() + "/._doc.damaged"), QByteArray("not an AppleDouble file"));
}

}  // namespace
