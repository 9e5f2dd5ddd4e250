// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstring>
#include <string>

#include "platform/carbon/Aliases.h"
#include "platform/carbon/LaunchServices.h"
#include "platform/cf/CFQt.h"
#include "support/FileKinds.h"

namespace {

class FileKindsTest : public ::testing::Test {
 protected:
  QString at(const QString& name) const { return dir_.path() + "/" + name; }
  void file(const QString& name, const QByteArray& bytes = "x", bool executable = false) {
    QFile f(at(name));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    f.close();
    if (executable) f.setPermissions(f.permissions() | QFile::ExeOwner);
  }
  FSRef ref(const QString& name, bool followLink = false) {
    FSRef r;
    std::memset(&r, 0, sizeof r);
    const QByteArray path = QFile::encodeName(at(name));
    EXPECT_EQ(FSPathMakeRefWithOptions(reinterpret_cast<const UInt8*>(path.constData()),
                                       followLink ? UInt32(0) : UInt32(kFSPathMakeRefDoNotFollowLeafSymlink), &r,
                                       nullptr),
              noErr)
        << name.toStdString();
    return r;
  }
  // Sets the classic type, creator and Finder flags; false where the file system keeps no
  // extended attributes.
  bool setFinderInfo(const FSRef& r, const char* type, UInt16 flags) {
    FSCatalogInfo info{};
    FileInfo finder{};
    finder.fileType = FOUR_CHAR_CODE_RT(type);
    finder.fileCreator = FOUR_CHAR_CODE("Vcbl");
    finder.finderFlags = flags;
    std::memcpy(info.finderInfo, &finder, sizeof finder);
    return FSSetCatalogInfo(&r, kFSCatInfoFinderInfo, &info) == noErr;
  }
  static OSType FOUR_CHAR_CODE_RT(const char* s) {
    return (OSType(UInt8(s[0])) << 24) | (OSType(UInt8(s[1])) << 16) | (OSType(UInt8(s[2])) << 8) |
           OSType(UInt8(s[3]));
  }
  QStringList names() const { return QDir(dir_.path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name); }

  QTemporaryDir dir_;
};

TEST_F(FileKindsTest, QueriesOnEveryKindOfItem) {
  QDir d(dir_.path());
  for (const char* folder : {"Tools", "Tools.framework", "Editor.app", "Thing/Contents", "Plug.PLUGIN"})
    ASSERT_TRUE(d.mkpath(folder));
  file("Thing/Contents/Info.plist", "<plist/>");
  file("notes.txt");
  file("run.sh", "#!/bin/sh\n", true);
  file("launcher.desktop", "# entry\n[Desktop Entry]\nName=X\nType = Application\nExec=x\n");
  file("weblink.desktop", "[Desktop Entry]\nType=Link\nURL=https://example.org\n");
  file(".profile");
  file("listed");
  file(".hidden", "other\nlisted\r\n");
  ASSERT_TRUE(QFile::link(at("Tools"), at("toFolder")));
  ASSERT_TRUE(QFile::link(at("notes.txt"), at("toFile")));
  ASSERT_TRUE(QFile::link(at("nowhere"), at("broken")));

  enum { Folder, File, FolderAlias, Visible, App, PackageOrApp, Container, BundleLike, BundleExt };
  struct Case {
    const char* name;
    bool expected[9];
  } cases[] = {
      //                       Fold  File  FAl   Vis   App   PkgA  Cont  BLik  BExt
      {"Tools",              {true, false, false, true, false, false, true, false, false}},
      {"Tools.framework",    {true, false, false, true, false, true, true, true, true}},
      {"Editor.app",         {true, false, false, true, true, true, true, true, true}},
      {"Thing",              {true, false, false, true, false, true, true, true, false}},
      {"Plug.PLUGIN",        {true, false, false, true, false, true, true, true, true}},
      {"notes.txt",          {false, true, false, true, false, false, false, false, false}},
      {"run.sh",             {false, true, false, true, true, true, false, true, false}},
      {"launcher.desktop",   {false, true, false, true, true, true, false, true, false}},
      {"weblink.desktop",    {false, true, false, true, false, false, false, false, false}},
      {".profile",           {false, true, false, false, false, false, false, false, false}},
      {"listed",             {false, true, false, false, false, false, false, false, false}},
      {"toFolder",           {false, true, true, true, false, false, false, false, false}},
      {"toFile",             {false, true, false, true, false, false, false, false, false}},
      {"broken",             {false, true, false, true, false, false, false, false, false}},
  };
  for (const Case& c : cases) {
    const FSRef r = ref(c.name);
    const bool actual[9] = {bool(IsFolder(&r)), bool(IsFile(&r)), bool(IsFolderAliasFile(&r)),
                            bool(IsVisible(&r)), bool(IsApplication(&r)),
                            bool(IsPackageOrApplication(&r)), bool(IsContainer(&r)),
                            bool(IsBundleLike(&r)), bool(HasBundleExtension(&r))};
    for (int i = 0; i < 9; ++i) EXPECT_EQ(actual[i], c.expected[i]) << c.name << " column " << i;
  }

  // Aliases: links, with the folder flag for a folder target; the Finder's alias bit.
  Boolean alias = false, folder = false;
  FSRef link = ref("toFolder");
  EXPECT_EQ(FSIsAliasFile(&link, &alias, &folder), noErr);
  EXPECT_TRUE(alias && folder);
  link = ref("toFile");
  EXPECT_EQ(FSIsAliasFile(&link, &alias, &folder), noErr);
  EXPECT_TRUE(alias && !folder);
  const FSRef notes = ref("notes.txt");
  EXPECT_EQ(FSIsAliasFile(&notes, &alias, &folder), noErr);
  EXPECT_FALSE(alias);
  if (setFinderInfo(notes, "alis", kIsAlias | kIsInvisible)) {
    EXPECT_EQ(FSIsAliasFile(&notes, &alias, &folder), noErr);
    EXPECT_TRUE(alias && !folder);
    EXPECT_FALSE(IsVisible(&notes));
  }
  EXPECT_EQ(FSIsAliasFile(&notes, nullptr, &folder), paramErr);

  // Hidden by its name only: writing the Finder information back does not store the bit, so
  // the item shows again once renamed.
  const FSRef profile = ref(".profile");
  FSCatalogInfo info;
  ASSERT_EQ(FSGetCatalogInfo(&profile, kFSCatInfoFinderInfo, &info, nullptr, nullptr, nullptr), noErr);
  ASSERT_EQ(FSSetCatalogInfo(&profile, kFSCatInfoFinderInfo, &info), noErr);
  const std::u16string shown = u"profile";
  ASSERT_EQ(FSRenameUnicode(&profile, shown.size(), reinterpret_cast<const UniChar*>(shown.data()),
                            kTextEncodingUnknown, nullptr),
            noErr);
  EXPECT_TRUE(IsVisible(&profile));
}

TEST_F(FileKindsTest, GoneItemsAnswerFalseAndResultCodes) {
  file("gone.txt");
  const FSRef r = ref("gone.txt");
  ASSERT_EQ(FSDeleteObject(&r), noErr);
  for (auto query : {IsFolder, IsFile, IsFolderAliasFile, IsVisible, IsApplication,
                     IsPackageOrApplication, IsContainer, IsBundleLike, HasBundleExtension})
    EXPECT_FALSE(query(&r));
  OSType type = 1;
  EXPECT_EQ(GetFileType(&r, &type), fnfErr);
  EXPECT_EQ(type, 0u);
  EXPECT_EQ(GetFileCreator(nullptr, &type), paramErr);
  EXPECT_EQ(GetFileType(&r, nullptr), paramErr);
  LSItemInfoRecord info;
  EXPECT_EQ(LSCopyItemInfoForRef(&r, kLSRequestBasicFlagsOnly, &info), fnfErr);
  EXPECT_EQ(LSCopyItemInfoForRef(nullptr, kLSRequestBasicFlagsOnly, &info), paramErr);
  Boolean alias, folder;
  EXPECT_EQ(FSIsAliasFile(&r, &alias, &folder), fnfErr);
  EXPECT_EQ(CopyMovieExtension(&r), nullptr);
  for (auto query : {IsFolder, IsFile, IsVisible, IsContainer, HasBundleExtension})
    EXPECT_FALSE(query(nullptr));
}

TEST_F(FileKindsTest, TypesCreatorsAndMovieExtensions) {
  struct Case {
    const char* type;
    const char* extension;
  } cases[] = {{"MooV", ".mov"}, {"VfW ", ".avi"}, {"SWFL", ".swf"}, {"mpg4", ".mp4"},
               {"3gpp", ".3gp"}, {"3gp2", ".3g2"}, {"TEXT", nullptr}, {"moov", nullptr}};
  for (const Case& c : cases) {
    file("movie");
    const FSRef r = ref("movie");
    if (!setFinderInfo(r, c.type, 0)) GTEST_SKIP() << "no extended attributes here";
    OSType type = 0, creator = 0;
    EXPECT_EQ(GetFileType(&r, &type), noErr);
    EXPECT_EQ(type, FOUR_CHAR_CODE_RT(c.type));
    EXPECT_EQ(GetFileCreator(&r, &creator), noErr);
    EXPECT_EQ(creator, FOUR_CHAR_CODE("Vcbl"));
    CFStringRef extension = CopyMovieExtension(&r);
    EXPECT_EQ(CFStringToQString(extension), QString(c.extension ? c.extension : "")) << c.type;
    EXPECT_EQ(extension == nullptr, c.extension == nullptr);
    CFRelease(extension);
  }
}

TEST_F(FileKindsTest, ChangeFileExtension) {
  struct Case {
    const char* before;
    const char* oldExtension;
    const char* after;
  } cases[] = {
      {"Photo.JPG", "jpg", "Photo.png"}, {"Photo.JPG", "gif", "Photo.JPG"},
      {"notes", "jpg", "notes.png"},     {"jpg.jpg", "jpg", "jpg.png"},
      {"a.b.JpG", "JPG", "a.b.png"},
  };
  for (const Case& c : cases) {
    file(c.before);
    FSRef r = ref(c.before);
    CFStringRef oldExtension = CFStringCreateWithQString(c.oldExtension);
    ChangeFileExtension(&r, oldExtension, CFSTR("png"));
    CFRelease(oldExtension);
    EXPECT_TRUE(QFile::exists(at(c.after))) << c.before;
    EXPECT_EQ(names().size(), 1) << names().join(',').toStdString();
    // The reference follows the renamed item.
    HFSUniStr255 name;
    ASSERT_EQ(FSGetCatalogInfo(&r, kFSCatInfoNone, nullptr, &name, nullptr, nullptr), noErr);
    EXPECT_EQ(QString::fromUtf16(reinterpret_cast<const char16_t*>(name.unicode), name.length), c.after);
    QFile::remove(at(c.after));
  }
  // An item of the new name is never replaced.
  file("clash.jpg", "photo");
  file("clash.png", "keep me");
  const FSRef r = ref("clash.jpg");
  ChangeFileExtension(&r, CFSTR("jpg"), CFSTR("png"));
  QFile kept(at("clash.png"));
  ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
  EXPECT_EQ(kept.readAll(), "keep me");
  EXPECT_TRUE(QFile::exists(at("clash.jpg")));
  ChangeFileExtension(nullptr, CFSTR("jpg"), CFSTR("png"));  // quietly nothing
}

TEST_F(FileKindsTest, AddSuffixIfNoExtension) {
  file("README");
  file("notes.rtf");
  CFStringRef path = CFStringCreateWithQString(at("README"));
  CFStringRef result = AddSuffixIfNoExtension(path, CFSTR(".txt"));
  EXPECT_EQ(CFStringToQString(result), at("README.txt"));
  EXPECT_TRUE(QFile::exists(at("README.txt")));
  CFRelease(result);
  CFRelease(path);

  path = CFStringCreateWithQString(at("notes.rtf"));
  EXPECT_EQ(AddSuffixIfNoExtension(path, CFSTR(".txt")), nullptr);
  EXPECT_TRUE(QFile::exists(at("notes.rtf")));
  CFRelease(path);
  path = CFStringCreateWithQString(at("missing"));
  EXPECT_EQ(AddSuffixIfNoExtension(path, CFSTR(".txt")), nullptr);
  CFRelease(path);

  // A new name of 300 units is cut to its first 255.
  const QString longName(250, u'n');
  file(longName);
  path = CFStringCreateWithQString(at(longName));
  CFStringRef suffix = CFStringCreateWithQString(QString(50, u's'));
  result = AddSuffixIfNoExtension(path, suffix);
  CFRelease(suffix);
  const QString expected = longName + QString(5, u's');
  EXPECT_EQ(CFStringToQString(result), at(expected));
  EXPECT_TRUE(QFile::exists(at(expected)));
  CFRelease(result);
  CFRelease(path);
}

}  // namespace
