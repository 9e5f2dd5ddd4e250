// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The dictionary service: one interface over dictd and StarDict dictionaries, opened from a
// dictionary bundle ("Name.dictionary"), a dictd ".index" or a StarDict ".ifo".
#include <QString>
#include <QStringView>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>

namespace dictionary {

class Dictionary {
 public:
  virtual ~Dictionary() = default;

  virtual QString shortName() const = 0;   // the dictionary's own name ("WordNet (r) 3.0 ...")
  virtual QString formatName() const = 0;  // "dictd" or "StarDict"
  virtual qsizetype entryCount() const = 0;

  // Every entry of the word as plain text, in file order, separated by one empty line: the
  // word as given first, then the dictionary's own case folding. Nothing when the word has no
  // entry; nothing and a message in *error when the data it needs is damaged.
  virtual std::optional<QString> define(QStringView word, QString* error = nullptr) const = 0;

  // Calls `visit` with every headword (and synonym) as stored, in no set order: for indexes
  // built beside the dictionary, such as its accented headwords.
  virtual void forEachHeadword(const std::function<void(std::string_view)>& visit) const { (void)visit; }
};

// Opens a dictionary. Each path is opened once per process and kept: a second call with the
// same (canonical) path returns the same object. Nothing and a message when it cannot be read.
// A dictionary whose files change on disk is opened again by the next call (the old object
// lives on for those that hold it).
std::shared_ptr<const Dictionary> open(const QString& path, QString* error = nullptr);

// Opens a dictionary without keeping it (for tools that read many dictionaries once).
std::unique_ptr<Dictionary> openUncached(const QString& path, QString* error = nullptr);

}  // namespace dictionary
