// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Base forms from Hunspell: the installed spelling dictionary of a language, its stems and
// the stems of its morphological analysis.
#include <QString>
#include <QStringList>
#include <QStringView>
#include <atomic>
#include <memory>
#include <mutex>

class Hunspell;

namespace dictionary {

class HunspellStemmer {
 public:
  // The stemmer for a language tag ("en", "en-GB", "de_AT"), or nothing when no Hunspell
  // dictionary of that language is installed. Each .aff/.dic pair is loaded once per process.
  // Dictionaries are looked for in the folders of $DICPATH (colon-separated) when it is set,
  // else where Debian installs them.
  static std::shared_ptr<HunspellStemmer> forLanguage(const QString& language);

  // The .aff file of the language's dictionary, empty when there is none.
  static QString affixFileFor(const QString& language);

  ~HunspellStemmer();

  // True when the word is something we hand to Hunspell: 1 to kMaxWordLength letters (with
  // combining marks), starting with a letter, well-formed UTF-16, nothing else. Anything else
  // (digits, symbols, lone surrogates, very long runs) never reaches it.
  static constexpr qsizetype kMaxWordLength = 60;
  static bool accepts(QStringView word);

  // Whether the dictionary knows the word as spelled.
  bool knows(QStringView word) const;
  // The stems, then the stems named by the morphological analysis ("st:"), in Hunspell's
  // order, without repeats; the word itself is among them when it is listed as it stands.
  // Empty for a word accepts() refuses or the dictionary cannot encode.
  QStringList stems(QStringView word) const;

  // How many words were handed to Hunspell in this process (for tests of the guard).
  static quint64 callCount() { return calls_.load(); }

 private:
  HunspellStemmer() = default;
  bool encode(QStringView word, std::string* out) const;
  QString decode(const std::string& bytes) const;

  std::unique_ptr<Hunspell> hunspell_;
  QString encoding_;  // empty for UTF-8
  mutable std::mutex mutex_;  // Hunspell objects are not safe to share between threads
  static std::atomic<quint64> calls_;
};

}  // namespace dictionary
