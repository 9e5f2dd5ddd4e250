// SPDX-License-Identifier: GPL-3.0-or-later
#include <QDir>

#include "tests/platform/cf/CFTestSupport.h"

namespace {

using CFURLTest = CFTest;

// "<null>" stands for a null result.
QString escaped(const QString& text, CFStringRef leave = nullptr, CFStringRef force = nullptr,
                CFStringEncoding encoding = kCFStringEncodingUTF8) {
  Owned<CFStringRef> s(
      CFURLCreateStringByAddingPercentEscapes(nullptr, str(text), leave, force, encoding));
  return s.get() ? qs(s) : QStringLiteral("<null>");
}

QString unescaped(const QString& text, CFStringRef leave = CFSTR("")) {
  Owned<CFStringRef> s(CFURLCreateStringByReplacingPercentEscapes(nullptr, str(text), leave));
  return s.get() ? qs(s) : QStringLiteral("<null>");
}

// How the online lookup makes the escaped query: trim, decode every escape, escape again.
QString queryForURL(const QString& text) {
  Owned<CFMutableStringRef> trimmed(CFStringCreateMutableCopy(nullptr, 0, str(text)));
  CFStringTrimWhitespace(trimmed);
  Owned<CFStringRef> decoded(
      CFURLCreateStringByReplacingPercentEscapes(nullptr, trimmed, CFSTR("")));
  if (!decoded.get()) return QStringLiteral("<null>");
  Owned<CFStringRef> result(CFURLCreateStringByAddingPercentEscapes(
      nullptr, decoded, nullptr, nullptr, kCFStringEncodingUTF8));
  return qs(result);
}

TEST_F(CFURLTest, AddingEscapesLeavesWhatAURLMayHold) {
  EXPECT_EQ(escaped("two words"), "two%20words");
  EXPECT_EQ(escaped(QString::fromUtf8("caf\xC3\xA9 \xE6\x97\xA5")), "caf%C3%A9%20%E6%97%A5");
  EXPECT_EQ(escaped(";/?:@&=+$,"), ";/?:@&=+$,");
  EXPECT_EQ(escaped("-_.!~*'()AZaz09"), "-_.!~*'()AZaz09");
  EXPECT_EQ(escaped("100%"), "100%25");
  EXPECT_EQ(escaped("%41"), "%2541");  // a '%' is escaped even where it begins an escape
  EXPECT_EQ(escaped("a#b"), "a%23b");
  EXPECT_EQ(escaped("<>\"{}|\\^[]`"), "%3C%3E%22%7B%7D%7C%5C%5E%5B%5D%60");
  EXPECT_EQ(escaped("line\nbreak\t"), "line%0Abreak%09");
  EXPECT_EQ(escaped(QString::fromUtf8("\xF0\x9F\x98\x80")), "%F0%9F%98%80");
  EXPECT_EQ(escaped(""), "");
}

TEST_F(CFURLTest, AddingEscapesHonoursExemptionsAndEncodings) {
  EXPECT_EQ(escaped("a b#c", CFSTR(" #")), "a b#c");
  EXPECT_EQ(escaped("a/b&c d", nullptr, CFSTR("/&")), "a%2Fb%26c%20d");
  EXPECT_EQ(escaped(QString::fromUtf8("\xC3\xA9"), nullptr, nullptr, kCFStringEncodingISOLatin1),
            "%E9");
  EXPECT_EQ(escaped(QString::fromUtf8("\xC3\xA9"), nullptr, nullptr, kCFStringEncodingMacRoman),
            "%8E");
  EXPECT_EQ(escaped(QString::fromUtf8("\xCE\xB1"), nullptr, nullptr, kCFStringEncodingISOLatin1),
            "<null>");
  EXPECT_EQ(escaped(QString(QChar(0xD800))), "<null>");  // a lone surrogate has no UTF-8
}

TEST_F(CFURLTest, ReplacingEscapesDecodesUtf8OrFails) {
  EXPECT_EQ(unescaped("two%20words"), "two words");
  EXPECT_EQ(unescaped("caf%C3%A9%2fx"), QString::fromUtf8("caf\xC3\xA9/x"));
  EXPECT_EQ(unescaped("no escapes"), "no escapes");
  for (const char* bad :
       {"%E9", "caf%E9", "%zz", "50%", "%4", "%C3", "%C3%41", "%ED%A0%80", "%C0%AF"})
    EXPECT_EQ(unescaped(bad), "<null>") << bad;
}

TEST_F(CFURLTest, ReplacingEscapesCanLeaveSomeOrAll) {
  EXPECT_EQ(unescaped("a%2fb%20c", CFSTR("/")), "a%2fb c");  // kept as written
  EXPECT_EQ(unescaped("%C3%A9%2F", CFSTR("x")), QString::fromUtf8("\xC3\xA9/"));
  // With no set nothing is decoded, and nothing is checked.
  EXPECT_EQ(unescaped("a%20b%zz", nullptr), "a%20b%zz");
  Owned<CFStringRef> latin(CFURLCreateStringByReplacingPercentEscapesUsingEncoding(
      nullptr, CFSTR("caf%E9"), CFSTR(""), kCFStringEncodingISOLatin1));
  EXPECT_EQ(qs(latin), QString::fromUtf8("caf\xC3\xA9"));
  Owned<CFStringRef> ascii(CFURLCreateStringByReplacingPercentEscapesUsingEncoding(
      nullptr, CFSTR("%E9"), CFSTR(""), kCFStringEncodingASCII));
  EXPECT_EQ(ascii.get(), nullptr);
}

TEST_F(CFURLTest, DecodingThenEscapingIsIdempotent) {
  EXPECT_EQ(queryForURL("  two words\n"), "two%20words");
  EXPECT_EQ(queryForURL("two%20words"), "two%20words");
  EXPECT_EQ(queryForURL(queryForURL(QString::fromUtf8("caf\xC3\xA9 100%25"))),
            "caf%C3%A9%20100%25");
  EXPECT_EQ(queryForURL("a/b?c=d&e"), "a/b?c=d&e");
  EXPECT_EQ(queryForURL("50%zz"), "<null>");
  EXPECT_EQ(queryForURL(" \t "), "");
}

TEST_F(CFURLTest, FileURLsFromPathsAndBack) {
  const QString path = QString::fromUtf8("/tmp/a b#c;d?e%f/caf\xC3\xA9");
  Owned<CFURLRef> url(
      CFURLCreateWithFileSystemPath(nullptr, str(path), kCFURLPOSIXPathStyle, false));
  EXPECT_EQ(qs(CFURLGetString(url)), "file:///tmp/a%20b%23c%3Bd%3Fe%25f/caf%C3%A9");
  Owned<CFStringRef> back(CFURLCopyFileSystemPath(url, kCFURLPOSIXPathStyle));
  EXPECT_EQ(qs(back), path);
  EXPECT_FALSE(CFURLHasDirectoryPath(url));

  Owned<CFURLRef> folder(
      CFURLCreateWithFileSystemPath(nullptr, CFSTR("/tmp/x"), kCFURLPOSIXPathStyle, true));
  EXPECT_EQ(qs(CFURLGetString(folder)), "file:///tmp/x/");
  EXPECT_TRUE(CFURLHasDirectoryPath(folder));
  Owned<CFStringRef> folderPath(CFURLCopyFileSystemPath(folder, kCFURLPOSIXPathStyle));
  EXPECT_EQ(qs(folderPath), "/tmp/x");  // no trailing slash

  UInt8 buffer[64];
  ASSERT_TRUE(CFURLGetFileSystemRepresentation(folder, true, buffer, sizeof buffer));
  EXPECT_STREQ(reinterpret_cast<char*>(buffer), "/tmp/x");
  EXPECT_FALSE(CFURLGetFileSystemRepresentation(folder, true, buffer, 6));  // no room for NUL
  EXPECT_TRUE(CFURLGetFileSystemRepresentation(folder, true, buffer, 7));

  Owned<CFURLRef> relative(
      CFURLCreateWithFileSystemPath(nullptr, CFSTR("sub/file"), kCFURLPOSIXPathStyle, false));
  Owned<CFStringRef> absolute(CFURLCopyFileSystemPath(relative, kCFURLPOSIXPathStyle));
  EXPECT_EQ(qs(absolute), QDir::currentPath() + "/sub/file");
  EXPECT_EQ(CFURLCreateWithFileSystemPath(nullptr, CFSTR(""), kCFURLPOSIXPathStyle, false),
            nullptr);
  EXPECT_EQ(CFURLCreateWithFileSystemPath(nullptr, CFSTR("a:b"), kCFURLHFSPathStyle, false),
            nullptr);
}

TEST_F(CFURLTest, PathsThatAreNotUtf8RoundTripAsBytes) {
  const UInt8 raw[] = {'/', 't', 'm', 'p', '/', 0xE9, 'x'};
  Owned<CFURLRef> url(CFURLCreateFromFileSystemRepresentation(nullptr, raw, sizeof raw, false));
  EXPECT_EQ(qs(CFURLGetString(url)), "file:///tmp/%E9x");
  UInt8 back[16];
  ASSERT_TRUE(CFURLGetFileSystemRepresentation(url, true, back, sizeof back));
  EXPECT_EQ(std::memcmp(back, raw, sizeof raw), 0);
  EXPECT_EQ(back[sizeof raw], 0);
  EXPECT_EQ(CFURLCopyFileSystemPath(url, kCFURLPOSIXPathStyle), nullptr);  // not UTF-8 text
}

TEST_F(CFURLTest, StringsMustBeValidURLs) {
  EXPECT_EQ(CFURLCreateWithString(nullptr, CFSTR("http://h/a b"), nullptr), nullptr);
  EXPECT_EQ(CFURLCreateWithString(nullptr, CFSTR("http://h/%zz"), nullptr), nullptr);
  EXPECT_EQ(CFURLCreateWithString(nullptr, str(QString::fromUtf8("http://h/\xC3\xA9")), nullptr),
            nullptr);
  Owned<CFURLRef> ok(
      CFURLCreateWithString(nullptr, CFSTR("http://user@[::1]:8080/p%20q?x=1#top"), nullptr));
  ASSERT_NE(ok.get(), nullptr);
  Owned<CFStringRef> scheme(CFURLCopyScheme(ok)), host(CFURLCopyHostName(ok)),
      path(CFURLCopyPath(ok));
  EXPECT_EQ(qs(scheme), "http");
  EXPECT_EQ(qs(host), "::1");
  EXPECT_EQ(qs(path), "/p%20q");
  UInt8 buffer[32];
  EXPECT_FALSE(
      CFURLGetFileSystemRepresentation(ok, true, buffer, sizeof buffer));  // not a file URL
}

TEST_F(CFURLTest, RelativeURLsKeepTheirBase) {
  Owned<CFURLRef> base(CFURLCreateWithString(nullptr, CFSTR("http://h/a/b/c?q"), nullptr));
  Owned<CFURLRef> rel(CFURLCreateWithString(nullptr, CFSTR("../x/./y?z"), base));
  EXPECT_EQ(qs(CFURLGetString(rel)), "../x/./y?z");
  EXPECT_EQ(CFURLGetBaseURL(rel), base.get());
  Owned<CFURLRef> abs(CFURLCopyAbsoluteURL(rel));
  EXPECT_EQ(qs(CFURLGetString(abs)), "http://h/a/x/y?z");
  EXPECT_EQ(CFURLGetBaseURL(abs), nullptr);
  Owned<CFURLRef> sameDoc(CFURLCreateWithString(nullptr, CFSTR("#frag"), base));
  Owned<CFURLRef> sameAbs(CFURLCopyAbsoluteURL(sameDoc));
  EXPECT_EQ(qs(CFURLGetString(sameAbs)), "http://h/a/b/c?q#frag");
  Owned<CFURLRef> up(CFURLCreateWithString(nullptr, CFSTR("../../../../top"), base));
  Owned<CFURLRef> upAbs(CFURLCopyAbsoluteURL(up));
  EXPECT_EQ(qs(CFURLGetString(upAbs)), "http://h/top");
}

TEST_F(CFURLTest, PathComponentsAndExtensions) {
  Owned<CFURLRef> file(CFURLCreateWithFileSystemPath(
      nullptr, CFSTR("/Library/Dictionaries/New Oxford.dictionary"), kCFURLPOSIXPathStyle, true));
  Owned<CFStringRef> last(CFURLCopyLastPathComponent(file)), ext(CFURLCopyPathExtension(file));
  EXPECT_EQ(qs(last), "New Oxford.dictionary");
  EXPECT_EQ(qs(ext), "dictionary");
  Owned<CFURLRef> parent(CFURLCreateCopyDeletingLastPathComponent(nullptr, file));
  EXPECT_EQ(qs(CFURLGetString(parent)), "file:///Library/Dictionaries/");
  Owned<CFURLRef> child(
      CFURLCreateCopyAppendingPathComponent(nullptr, parent, CFSTR("a/b c"), false));
  EXPECT_EQ(qs(CFURLGetString(child)), "file:///Library/Dictionaries/a%2Fb%20c");
  Owned<CFURLRef> withExt(CFURLCreateCopyAppendingPathExtension(nullptr, child, CFSTR("txt")));
  EXPECT_EQ(qs(CFURLGetString(withExt)), "file:///Library/Dictionaries/a%2Fb%20c.txt");
  Owned<CFURLRef> noExt(CFURLCreateCopyDeletingPathExtension(nullptr, file));
  EXPECT_EQ(qs(CFURLGetString(noExt)), "file:///Library/Dictionaries/New%20Oxford/");

  Owned<CFURLRef> dotfile(CFURLCreateWithFileSystemPath(nullptr, CFSTR("/home/u/.profile"),
                                                        kCFURLPOSIXPathStyle, false));
  EXPECT_EQ(CFURLCopyPathExtension(dotfile), nullptr);
  Owned<CFURLRef> root(
      CFURLCreateWithFileSystemPath(nullptr, CFSTR("/"), kCFURLPOSIXPathStyle, true));
  Owned<CFStringRef> rootName(CFURLCopyLastPathComponent(root)),
      rootPath(CFURLCopyFileSystemPath(root, kCFURLPOSIXPathStyle));
  EXPECT_EQ(qs(rootName), "/");
  EXPECT_EQ(qs(rootPath), "/");
}

TEST_F(CFURLTest, EqualURLsAndDescriptions) {
  Owned<CFURLRef> a(CFURLCreateWithString(nullptr, CFSTR("http://h/x"), nullptr));
  Owned<CFURLRef> b(CFURLCreateWithString(nullptr, CFSTR("http://h/x"), nullptr));
  Owned<CFURLRef> c(CFURLCreateWithString(nullptr, CFSTR("http://h/y"), nullptr));
  EXPECT_TRUE(CFEqual(a, b));
  EXPECT_FALSE(CFEqual(a, c));
  Owned<CFStringRef> text(CFStringCreateWithFormat(nullptr, nullptr, CFSTR("<%@>"), a.get()));
  EXPECT_EQ(qs(text), "<http://h/x>");
}

}  // namespace
