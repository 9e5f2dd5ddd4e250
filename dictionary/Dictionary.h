// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The dictionary service: one interface over dictd and StarDict dictionaries, opened from a
// dictionary bundle ("Name.dictionary"), a dictd ".index" or a StarDict ".ifo".
#include <QString>
#include <QStringView>
#include <functional>
#include <QtGlobal>
#include <atomic>
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

  // True once a read found one of its files changed under it (rewritten in place while
  // mapped); open() then opens the dictionary again.
  bool changedOnDisk() const { return changed_.load(std::memory_order_relaxed); }

 protected:
  // Records that a file changed under a read, and tells holders to open() again.
  void noteChangedOnDisk() const;

 private:
  mutable std::atomic<bool> changed_{false};
};

// Opens a dictionary. Each path is opened once per process and kept: a second call with the
// same (canonical) path returns the same object. Nothing and a message when it cannot be read.
// A dictionary whose files change on disk is opened again by the next call (the old object
// lives on for those that hold it).
std::shared_ptr<const Dictionary> open(const QString& path, QString* error = nullptr);

// Checks the files of every kept dictionary once (a stat of each): a dictionary whose files
// changed, or that found them changed while reading, is dropped, so that the next open()
// reads it afresh. A long-running program calls this when a lookup starts.
void checkForChanges();

// A number that moves whenever a kept dictionary is found changed (by checkForChanges(), or
// by a read that found its file changed). Whoever holds a dictionary from open() and sees
// this number move calls open() again before the next word; reading it costs one load.
quint64 generation();

// Opens a dictionary without keeping it (for tools that read many dictionaries once).
std::unique_ptr<Dictionary> openUncached(const QString& path, QString* error = nullptr);

}  // namespace dictionary
