// SPDX-License-Identifier: GPL-3.0-or-later
// Dictionary text is UTF-8 when every sequence in it is valid, else Latin-1 byte for byte.
#include <gtest/gtest.h>

#include <QByteArray>

#include "dictionary/TextDecoding.h"

namespace {

TEST(TextDecoding, ValidUtf8IsDecodedAndAnythingElseIsLatin1) {
  const QByteArray prose = "a long run of plain ASCII words to pass the eight-byte steps ";
  const QByteArray valid[] = {
      "",
      "plain",
      "caf\xc3\xa9",
      "\xe2\x82\xac 5",
      "\xf0\x9f\x98\x80",
      "\xef\xbf\xbd stands for itself",  // U+FFFD written out in the text
      "\xf4\x8f\xbf\xbf",                // U+10FFFF, the last code point
  };
  for (const QByteArray& text : valid) {
    for (const QByteArray& bytes : {text, prose + text, text + prose}) {
      EXPECT_EQ(dictionary::decodeText(bytes), QString::fromUtf8(bytes)) << bytes.toHex(' ').toStdString();
    }
  }
  const QByteArray invalid[] = {
      "caf\xe9",            // Latin-1 e acute
      "\xc0\xaf",           // overlong '/'
      "\xe0\x80\xaf",       // overlong, three bytes
      "\xed\xa0\x80",       // a UTF-16 surrogate
      "\xf4\x90\x80\x80",   // past U+10FFFF
      "\xe2\x82",           // cut short at the end
      "\xe2\x82 x",         // cut short inside
      "\x80",               // a lone continuation byte
      "\xff\xfe",           // never in UTF-8
      "\xef\xbf\xbd \xe9",  // U+FFFD written out, then a bad byte
  };
  for (const QByteArray& text : invalid) {
    for (const QByteArray& bytes : {text, prose + text, text + prose}) {
      const QString decoded = dictionary::decodeText(bytes);
      EXPECT_EQ(decoded, QString::fromLatin1(bytes)) << bytes.toHex(' ').toStdString();
      EXPECT_FALSE(decoded.contains(QChar::ReplacementCharacter));
    }
  }
}

TEST(TextDecoding, TrailingSpaceIsChopped) {
  QString text = QStringLiteral("entry \t\n\n");
  dictionary::chopTrailingSpace(text);
  EXPECT_EQ(text, QStringLiteral("entry"));
  text = QStringLiteral(" \n");
  dictionary::chopTrailingSpace(text);
  EXPECT_TRUE(text.isEmpty());
}

}  // namespace
