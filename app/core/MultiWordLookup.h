// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The multi-word lookup's free functions: cutting a query into words, the recent-list
// membership test, the Finder-like word order, and the pieces of one word's output block.
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include "platform/cf/CFBase.h"

inline constexpr const char* kCouldNotRetrieveDefinition = "Could not retrieve definition";

// Whitespace (Zs and tab), punctuation (Pc Pd Ps Pe Pi Pf Po) and newlines separate words.
bool isWordSeparator(char32_t codePoint);

// The words of a query in the order they stand, empty pieces dropped, duplicates kept.
QStringList wordsOfQuery(const QString& query);

// The first occurrence of each word, in order. Words are the same when they are equal with
// letter case ignored, as recent queries are compared: "The" at the start of a sentence is
// "the", while "résumé" and "resume" stay two words.
QStringList eachWordOnce(const QStringList& words);

// True when an element equals the string with letter case (and nothing else) ignored.
bool ArrayContainsStringIgnoringCase(const QStringList& array, const QString& string);

// Collation in the user's order with the option mask 0x3800E: case and width ignored,
// composed forms equal, punctuation significant, digit runs by numeric value.
inline constexpr unsigned kFinderLikeCollateOptions = 0x3800E;
CFComparisonResult CompareStringsLikeFinder(const QString& a, const QString& b, void* context);
void SortStringsLikeFinder(QStringList& strings);

// One piece of a word's block in the result view; only headwords and definitions carry an
// attribute set of their own, everything else takes the view's typing attributes.
struct BlockPiece {
  enum Style { Plain, Headword, Definition };
  QString text;
  Style style = Plain;
};

// The block of one word: a found definition, or the failure line when `definition` is nil.
QList<BlockPiece> outputBlock(const QString& word, const QVariant& definition);

// The block as plain text, the way the result view's string holds it.
QString outputBlockText(const QString& word, const QVariant& definition);

// The same pieces made cheap to lay out: every line break of the block (the text view's
// paragraph breaks "\r\n", "\r", "\n" and U+2029, each piece on its own) becomes a line
// separator U+2028, except the block's last two, which end it with its empty line. The view then
// holds two paragraphs per word instead of one per line, and reads each separator back as "\n".
QList<BlockPiece> compactBlock(QList<BlockPiece> pieces);
