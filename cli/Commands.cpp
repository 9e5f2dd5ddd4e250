#include "cli/Commands.h"

#include <QDir>
#include <QFileInfo>
#include <QIODevice>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QUrl>

#include "app/core/DictionaryMenu.h"
#include "app/core/LookupWorkflowBuilder.h"
#include "app/core/MultiWordLookup.h"
#include "dictionary/Dictionary.h"
#include "dictionary/Import.h"
#include "dictionary/WordForms.h"
#include "platform/Places.h"
#include "platform/automator/Workflow.h"
#include "platform/cocoa/UserDefaults.h"

namespace cli {
namespace {

constexpr const char* kUsage =
    "usage: vocabulon define [-d NAME] [--sort] [--exact] [--json] [TEXT... | -]\n"
    "       vocabulon dictionaries\n"
    "       vocabulon import [PATH...]\n"
    "       vocabulon lookup-selection [TEXT... | -]\n"
    "       vocabulon [-- TEXT...]     (opens the window, or brings the open one to the front;\n"
    "                                  TEXT is looked up in it)\n";

void print(QIODevice& device, const QString& text) { device.write(text.toUtf8()); }

int usageError(QIODevice& err, const QString& message) {
  print(err, QStringLiteral("vocabulon: %1\n").arg(message));
  print(err, QString::fromLatin1(kUsage));
  return 2;
}

// The dictionary the window would select: the stored choice, else the first entry listed.
QString defaultDictionaryName() {
  const QVariant stored = UserDefaults::standardUserDefaults().objectForKey(
      QStringLiteral("LastDictionaryUsed"));
  if (stored.typeId() == QMetaType::QString) return stored.toString();
  const QStringList entries = dictionaryFolderEntries();
  return entries.isEmpty() ? QString() : stringByDeletingPathExtension(entries.first());
}

int define(const QStringList& arguments, QIODevice& out, QIODevice& err, QIODevice& in) {
  QString dictionaryName;
  bool sort = false, json = false, exact = false, fromInput = false;
  QStringList texts;
  for (qsizetype i = 0; i < arguments.size(); ++i) {
    const QString& argument = arguments[i];
    if (argument == QLatin1String("--")) {
      texts += arguments.mid(i + 1);
      break;
    }
    if (argument == QLatin1String("-d") || argument == QLatin1String("--dictionary")) {
      if (++i == arguments.size()) return usageError(err, QStringLiteral("%1 needs a dictionary name").arg(argument));
      dictionaryName = arguments[i];
    } else if (argument.startsWith(QLatin1String("--dictionary="))) {
      dictionaryName = argument.mid(13);
    } else if (argument == QLatin1String("--sort")) {
      sort = true;
    } else if (argument == QLatin1String("--json")) {
      json = true;
    } else if (argument == QLatin1String("--exact")) {
      exact = true;
    } else if (argument == QLatin1String("-")) {
      fromInput = true;
    } else if (argument.startsWith('-') && argument.size() > 1) {
      return usageError(err, QStringLiteral("unknown option %1").arg(argument));
    } else {
      texts.append(argument);
    }
  }
  if (fromInput || texts.isEmpty()) texts.append(QString::fromUtf8(in.readAll()));

  if (dictionaryName.isEmpty()) dictionaryName = defaultDictionaryName();
  if (dictionaryName.isEmpty()) {
    print(err, QStringLiteral("vocabulon: no dictionaries in %1 (add some with \"vocabulon import\")\n")
                   .arg(places::dictionariesFolder()));
    return 1;
  }
  const QString bundlePath = places::hostPath(dictionaryParameterValue(dictionaryName));
  QString problem;
  std::shared_ptr<const dictionary::Dictionary> opened;
  if (!QFileInfo::exists(bundlePath)) {
    problem = QStringLiteral("no such dictionary (%1)").arg(bundlePath);
  } else if (!(opened = dictionary::open(bundlePath, &problem))) {
    if (problem.isEmpty()) problem = QStringLiteral("unreadable");
  } else {
    problem.clear();
  }
  if (!problem.isEmpty()) {
    print(err, QStringLiteral("vocabulon: dictionary \"%1\": %2\n").arg(dictionaryName, problem));
    return 1;
  }

  // The lookup goes through a generated workflow, as in the window; it is written to a
  // private folder so that it never replaces the one the running application uses.
  QTemporaryDir folder;
  std::unique_ptr<Workflow> workflow = makeDefinitionWorkflow(dictionaryName);
  const QUrl workflowUrl = QUrl::fromLocalFile(folder.filePath(QString::fromLatin1(kWorkflowFileName)));
  QString error;
  if (!folder.isValid() || !workflow || !workflow->writeToURL(workflowUrl, &error)) {
    if (!folder.isValid()) error = QStringLiteral("cannot create a temporary folder: %1").arg(folder.errorString());
    print(err, QStringLiteral("vocabulon: cannot write the lookup workflow: %1\n")
                   .arg(workflow ? error : QStringLiteral("the definition action is not installed")));
    return 1;
  }
  // A workflow that cannot be read back would answer "no definition" for every word.
  if (!Workflow::canRunWorkflowAtURL(workflowUrl, &error)) {
    print(err, QStringLiteral("vocabulon: cannot read the lookup workflow: %1\n").arg(error));
    return 1;
  }

  // The workflow's action looks words up in this process: the switch reaches it.
  dictionary::setBaseFormsEnabled(!exact);

  QStringList words;
  for (const QString& text : texts) words += wordsOfQuery(text);
  if (sort) SortStringsLikeFinder(words);

  QByteArray buffer;
  auto write = [&](const QString& word, const QVariant& definition) {
    if (json) {
      // The headwords come from the service the action used; a repeated miss costs a cache look-up.
      QJsonArray headwords;
      if (definition.isValid()) {
        for (const QString& headword : dictionary::lookUp(*opened, word, !exact).headwords) headwords.append(headword);
      }
      QJsonObject object{{QStringLiteral("word"), word},
                         {QStringLiteral("definition"),
                          definition.isValid() ? QJsonValue(definition.toString()) : QJsonValue()},
                         {QStringLiteral("headwords"), headwords}};
      buffer += QJsonDocument(object).toJson(QJsonDocument::Compact);
      buffer += '\n';
    } else {
      for (const BlockPiece& piece : outputBlock(word, definition)) buffer += piece.text.toUtf8();
    }
    if (buffer.size() > (1 << 16)) {
      out.write(buffer);
      buffer.clear();
    }
  };
  // A workflow that became unreadable mid-run would answer "no definition" for every word left.
  bool workflowLost = false;
  auto lookUp = [&](const QString& word) {
    QVariant definition = Workflow::runWorkflowAtURL(workflowUrl, QVariantList{word}, nullptr);
    if (!definition.isValid() && !workflowLost) workflowLost = !Workflow::canRunWorkflowAtURL(workflowUrl, &error);
    return definition;
  };
  auto failLost = [&] {
    out.write(buffer);
    print(err, QStringLiteral("vocabulon: cannot read the lookup workflow: %1\n").arg(error));
    return 1;
  };

  // A long text need not wait for the spelling dictionary to load before its first miss: the
  // misses are held, in order with what follows them, while the hits go on beside the load.
  constexpr qsizetype kManyWords = 256, kMostHeldChars = 1 << 20;
  bool holding = !exact && words.size() >= kManyWords;
  if (holding) dictionary::prepareBaseForms(*opened);
  std::vector<std::pair<QString, QVariant>> held;  // from the first held miss on
  qsizetype heldChars = 0;
  auto release = [&] {
    for (auto& [word, definition] : held) write(word, definition.isValid() ? definition : lookUp(word));
    held.clear();
  };
  for (const QString& word : words) {
    holding = holding && heldChars < kMostHeldChars && !dictionary::baseFormsPrepared(*opened);
    if (!holding) {
      release();
      write(word, lookUp(word));
      if (workflowLost) return failLost();
      continue;
    }
    dictionary::setBaseFormsEnabled(false);
    QVariant definition = lookUp(word);
    dictionary::setBaseFormsEnabled(true);
    if (held.empty() && definition.isValid()) {
      write(word, definition);
    } else {
      heldChars += word.size() + (definition.isValid() ? definition.toString().size() : 0);
      held.emplace_back(word, std::move(definition));
    }
  }
  release();
  if (workflowLost) return failLost();
  out.write(buffer);
  return 0;
}

int dictionaries(const QStringList& arguments, QIODevice& out, QIODevice& err) {
  if (!arguments.isEmpty()) return usageError(err, QStringLiteral("dictionaries takes no arguments"));
  const QString folder = places::dictionariesFolder();
  for (const QString& entry : contentsOfDirectoryAtPath(folder)) {
    QString error, holds;
    if (auto dictionary = dictionary::open(folder + '/' + entry, &error)) {
      holds = QStringLiteral("%1, %2 entries: %3")
                  .arg(dictionary->formatName())
                  .arg(dictionary->entryCount())
                  .arg(dictionary->shortName());
    } else {
      holds = QStringLiteral("not a readable dictionary: %1").arg(error);
    }
    print(out, QStringLiteral("%1\t%2\t%3\n").arg(stringByDeletingPathExtension(entry), entry, holds));
  }
  return 0;
}

int import(const QStringList& arguments, QIODevice& out, QIODevice& err) {
  for (const QString& argument : arguments) {
    if (argument.startsWith('-')) return usageError(err, QStringLiteral("unknown option %1").arg(argument));
  }
  const QString folder = places::dictionariesFolder();
  if (!QDir().mkpath(folder)) {
    print(err, QStringLiteral("vocabulon: cannot create %1\n").arg(folder));
    return 1;
  }
  const auto report = arguments.isEmpty() ? dictionary::importDictionaries(folder)
                                          : dictionary::importDictionaries(arguments, folder);
  int status = 0;
  for (const auto& item : report) {
    if (item.error.isEmpty()) {
      print(out, QStringLiteral("imported %1 -> %2\n").arg(item.source, item.bundlePath));
      for (const QString& note : item.notes) print(err, QStringLiteral("vocabulon: note: %1\n").arg(note));
    } else {
      print(err, QStringLiteral("vocabulon: %1: %2\n").arg(item.source, item.error));
      status = 1;
    }
  }
  if (report.isEmpty()) print(err, QStringLiteral("vocabulon: no dictionaries found\n"));
  return status;
}

}  // namespace

bool isCommand(const QString& name) {
  return name == QLatin1String("define") || name == QLatin1String("dictionaries") ||
         name == QLatin1String("import") || name == QLatin1String("help") ||
         name == QLatin1String("--help") || name == QLatin1String("-h");
}

int run(const QStringList& arguments, QIODevice& out, QIODevice& err, QIODevice& in) {
  const QString command = arguments.value(0);
  const QStringList rest = arguments.mid(1);
  if (command == QLatin1String("define")) return define(rest, out, err, in);
  if (command == QLatin1String("dictionaries")) return dictionaries(rest, out, err);
  if (command == QLatin1String("import")) return import(rest, out, err);
  if (command == QLatin1String("help") || command == QLatin1String("--help") || command == QLatin1String("-h")) {
    print(out, QString::fromLatin1(kUsage));
    return 0;
  }
  return usageError(err, command.isEmpty() ? QStringLiteral("no command given")
                                           : QStringLiteral("unknown command %1").arg(command));
}

}  // namespace cli
