// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/automator/GetDefinitionOfWord.h"

#include "platform/Places.h"

namespace automator {
namespace {

constexpr std::chrono::seconds kRetryPause{1};

void appendDefinition(QString& all, const QString& definition) {
  if (!all.isEmpty()) {
    if (!all.endsWith('\n')) all += '\n';
    if (!all.endsWith(QLatin1String("\n\n"))) all += '\n';
  }
  all += definition;
}

}  // namespace

std::unique_ptr<ActionInstance> GetDefinitionOfWord::make(const QVariantMap& parameters,
                                                          QString* error) {
  const QVariant value = parameters.value(QString::fromLatin1(kDictionaryParameter));
  if (value.isValid() && value.typeId() != QMetaType::QString) {
    if (error) *error = QStringLiteral("the dictionary parameter is not text");
    return nullptr;
  }
  return std::make_unique<GetDefinitionOfWord>(value.toString());
}

GetDefinitionOfWord::GetDefinitionOfWord(const QString& dictionaryMacPath)
    : macPath_(dictionaryMacPath),
      hostPath_(dictionaryMacPath.startsWith('/') ||
                      dictionaryMacPath.startsWith(QLatin1String(places::kUserDictionariesFolder))
                  ? places::hostPath(dictionaryMacPath)
                  : QString()) {}

const dictionary::Dictionary* GetDefinitionOfWord::dictionary(QString* error) {
  // A kept dictionary found changed on disk is opened again before the next word.
  if (dictionary_ && generation_ == dictionary::generation()) return dictionary_.get();
  if (hostPath_.isEmpty()) {
    if (error) {
      *error = macPath_.isEmpty() ? QStringLiteral("no dictionary chosen")
                                  : QStringLiteral("not a dictionary path: %1").arg(macPath_);
    }
    return nullptr;
  }
  const auto now = std::chrono::steady_clock::now();
  if (dictionary_ || now >= nextAttempt_) {
    openError_.clear();
    generation_ = dictionary::generation();
    dictionary_ = dictionary::open(hostPath_, &openError_);
    // A kept dictionary found changed on disk is opened again before the next word.
  if (dictionary_ && generation_ == dictionary::generation()) return dictionary_.get();
    nextAttempt_ = now + kRetryPause;
  }
  if (error) *error = QStringLiteral("cannot open %1: %2").arg(macPath_, openError_);
  return nullptr;
}

std::optional<QString> GetDefinitionOfWord::define(const QVariant& word, QString* error) {
  if (word.typeId() != QMetaType::QString) return std::nullopt;
  const QString& text = *static_cast<const QString*>(word.constData());
  if (text.isEmpty()) return std::nullopt;
  const dictionary::Dictionary* found = dictionary(error);
  if (!found) return std::nullopt;
  return found->define(text, error);
}

QVariant GetDefinitionOfWord::run(const QVariant& input, QString* error) {
  std::optional<QString> result;
  switch (input.typeId()) {
    case QMetaType::QString:
      result = define(input, error);
      break;
    case QMetaType::QVariantList: {
      const auto& words = *static_cast<const QVariantList*>(input.constData());
      if (words.size() == 1) {  // the usual case: no joining, no copy
        result = define(words.front(), error);
        break;
      }
      for (const QVariant& word : words) {
        if (std::optional<QString> definition = define(word, error)) {
          if (!result) result = std::move(*definition);
          else appendDefinition(*result, *definition);
        }
      }
      break;
    }
    case QMetaType::QStringList: {
      for (const QString& word : *static_cast<const QStringList*>(input.constData())) {
        if (std::optional<QString> definition = define(QVariant(word), error)) {
          if (!result) result = std::move(*definition);
          else appendDefinition(*result, *definition);
        }
      }
      break;
    }
    default:
      if (error) *error = QStringLiteral("the input is not text");
      break;
  }
  if (!result) return QVariant();
  return QVariant(std::move(*result));
}

}  // namespace automator
