// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Definitions for words that are not headwords as they stand: inflected forms ("conditions",
// "ran"), other letter cases ("CONDITIONS") and other accents ("cafe" for "café"). The word
// as given always wins; base forms are looked for only when it has no entry of its own.
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <memory>
#include <optional>

#include "dictionary/Dictionary.h"

namespace dictionary {

// Where a headword used for a word came from.
enum class FormSource {
  Exact,      // the word as given (or the dictionary's own case folding of it)
  Case,       // another letter case of the word
  Irregular,  // a known irregular English form ("mice" -> "mouse")
  Hunspell,   // a stem from the language's Hunspell dictionary
  Rule,       // an English suffix rule ("-ches", doubled consonant, final e restored)
  Accent,     // the same letters with other accents
};
const char* formSourceName(FormSource source);

struct Lookup {
  std::optional<QString> definition;  // the entries of every headword used, in order
  QStringList headwords;              // the headwords whose entries make the definition
  QList<FormSource> sources;          // where each of them came from
};

// Base forms for the whole process: on by default, off for `vocabulon define --exact`.
void setBaseFormsEnabled(bool enabled);
bool baseFormsEnabled();

// A dictionary whose define() falls back on base forms in the given language (a tag such as
// "en" or "de-AT"; empty means English). Nothing stays nothing.
std::unique_ptr<Dictionary> withBaseForms(std::unique_ptr<Dictionary> dictionary, const QString& language);

// The definition of a word and the headwords it came from. Base forms are used when the
// dictionary was opened with them (dictionary::open) and `baseForms` and the process switch
// allow; otherwise only the word's own entries.
Lookup lookUp(const Dictionary& dictionary, QStringView word, bool baseForms = true);

// Starts loading what base forms need (the spelling dictionary, the accent index) in the
// background, for a caller about to look up many words; otherwise the first miss loads it.
void prepareBaseForms(const Dictionary& dictionary);
// True once that is loaded (and for a dictionary without base forms): a miss will not wait.
bool baseFormsPrepared(const Dictionary& dictionary);

// The language a dictionary file declares: a StarDict .ifo's "lang" ("en", "de-en": the
// first tag), a FreeDict-style dictd name ("deu-eng.index": the first ISO 639 code), else "en".
QString languageFromMetadata(const QString& dictionaryFile);

// The pieces, for tests and tools.
namespace forms {

// The same letters without combining marks: canonical decomposition, non-spacing marks
// dropped, composed again ("café" -> "cafe").
QString foldAccents(QStringView word);
// Other letter cases to try: title case then lower case for an upper-case word, lower case
// for a capitalised or mixed-case one. The word itself is not among them.
QStringList caseVariants(QStringView word);
// Whether a language tag means English.
bool isEnglish(const QString& language);
// The bases of a known irregular English form (lower case): "mice" -> "mouse"; an empty list
// for a form that has no base to look for ("his"); nothing for a regular word.
std::optional<QStringList> irregularBases(QStringView word);
// Candidate bases of a lower-case English word by the suffix rules, most likely first; a
// lookup takes the first that is a headword.
QStringList ruleBases(QStringView word);
// Whether a Hunspell stem of an English word is one its spelling allows: the word is the stem
// with a suffix (letters changed only at the stem's end, never a prefix taken off), and not a
// short stem that would have doubled its last consonant ("hop" is no stem of "hoped").
bool plausibleEnglishStem(QStringView word, QStringView stem);

}  // namespace forms
}  // namespace dictionary
