// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The "Get Definition of Word" action: looks its input up in the dictionary that its
// parameter names, a mac-style bundle path ("/Library/Dictionaries/NAME.dictionary") under
// the system root.
//
// Input: a list of words (a lone string is taken as a one-word list). Output: the text of
// every word that has a definition, in input order, with one empty line between words; nil
// when no word has one, when the input holds no word, or when the dictionary cannot be opened.
#include <QString>
#include <chrono>
#include <memory>

#include "dictionary/Dictionary.h"
#include "platform/automator/ActionRegistry.h"

namespace automator {

class GetDefinitionOfWord : public ActionInstance {
 public:
  static constexpr const char* kIdentifier = "org.vocabulon.action.GetDefinitionOfWord";
  static constexpr const char* kDictionaryParameter = "last selected dictionary URL";

  static std::unique_ptr<ActionInstance> make(const QVariantMap& parameters, QString* error);

  explicit GetDefinitionOfWord(const QString& dictionaryMacPath);
  QVariant run(const QVariant& input, QString* error) override;

  QString dictionaryPath() const { return hostPath_; }

 private:
  const dictionary::Dictionary* dictionary(QString* error);
  std::optional<QString> define(const QVariant& word, QString* error);

  QString macPath_;
  QString hostPath_;
  std::shared_ptr<const dictionary::Dictionary> dictionary_;
  quint64 generation_ = 0;  // dictionary::generation() when dictionary_ was opened
  // A dictionary that failed to open is tried again only after a pause: a workflow runs once
  // per word, and reopening a broken dictionary for each would be slow.
  std::chrono::steady_clock::time_point nextAttempt_{};
  QString openError_;
};

}  // namespace automator
