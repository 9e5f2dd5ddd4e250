// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Small helpers shared by the File Manager tests: references from paths and back, UTF-16 names.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <string>

#include "platform/carbon/Files.h"
#include "tests/TestEnvironment.h"

inline const UniChar* units(const QString& s) { return reinterpret_cast<const UniChar*>(s.utf16()); }

inline FSRef refAt(const QString& path) {
  FSRef ref{};
  const QByteArray bytes = QFile::encodeName(path);
  EXPECT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8*>(bytes.constData()), &ref, nullptr), noErr)
      << path.toStdString();
  return ref;
}

// The path of a reference; the error code as text when it has none.
inline std::string pathOf(const FSRef& ref) {
  UInt8 buffer[4098];
  const OSStatus err = FSRefMakePath(&ref, buffer, sizeof buffer);
  if (err != noErr) return "error " + std::to_string(err);
  return reinterpret_cast<const char*>(buffer);
}

inline OSErr lookUp(const FSRef& parent, const QString& name, FSRef* out) {
  return FSMakeFSRefUnicode(&parent, UniCharCount(name.size()), units(name), kTextEncodingUnknown, out);
}

inline OSErr makeFolder(const FSRef& parent, const QString& name, FSRef* out) {
  return FSCreateDirectoryUnicode(&parent, UniCharCount(name.size()), units(name), kFSCatInfoNone,
                                  nullptr, out, nullptr, nullptr);
}

inline OSErr makeFile(const FSRef& parent, const QString& name, FSRef* out) {
  return FSCreateFileUnicode(&parent, UniCharCount(name.size()), units(name), kFSCatInfoNone, nullptr,
                             out, nullptr);
}

inline QString nameOf(const HFSUniStr255& name) {
  return QString(reinterpret_cast<const QChar*>(name.unicode), name.length);
}

// A fresh temporary home with a work folder "w" in it, and its reference.
class FileManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(QDir().mkpath(env.path() + "/w"));
    // The File Manager reports paths without symbolic links in them.
    work_ = QFileInfo(env.path() + "/w").canonicalFilePath();
    workRef = refAt(work_);
  }
  QString work() const { return work_; }
  std::string workPath() const { return QFile::encodeName(work()).toStdString(); }

  TestEnvironment env;
  QString work_;
  FSRef workRef{};
};
