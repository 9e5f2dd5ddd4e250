// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Commands.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QIODevice>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QUrl>
#include <unistd.h>

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
    "       vocabulon import [--user] [PATH...]\n"
    "       vocabulon lookup-selection [TEXT... | -]\n"
    "       vocabulon [-- TEXT...]     (opens the window, or brings the open one to the front;\n"
    "                                  TEXT is looked up in it)\n"
    "       vocabulon --version | --help | COMMAND --help\n";

struct CommandHelp {
  const char* name;
  const char* text;
};

constexpr CommandHelp kCommandHelp[] = {
    {"define",
     "usage: vocabulon define [-d NAME] [--sort] [--exact] [--json] [TEXT... | -]\n"
     "Looks up every word of TEXT (or of standard input) and prints each word with its definition.\n"
     "  -d, --dictionary NAME  the dictionary: its title, its bundle or database name, or a unique\n"
     "                         prefix of one (any letter case); default: the window's choice\n"
     "  --sort                 sort the words like the file manager does\n"
     "  --exact                look up only the words as written, not their base forms\n"
     "  --json                 one JSON object a line: word, definition, headwords\n"
     "Exit status: 0 when a word got a definition, 1 when none did or on failure, 2 on a usage error.\n"},
    {"dictionaries",
     "usage: vocabulon dictionaries\n"
     "Lists the dictionaries as the window's menu does, the machine's first, then the user's:\n"
     "title, file name, machine or user, and what the dictionary holds, separated by tabs.\n"},
    {"import",
     "usage: vocabulon import [--user] [PATH...]\n"
     "Makes dictionaries of dictd (.index) and StarDict (.ifo) files, or of folders holding them;\n"
     "with no PATH, of every dictionary in /usr/share/dictd, /usr/share/stardict/dic and\n"
     "~/.stardict/dic. Root imports for every user of the machine, others into their own folder\n"
     "($XDG_DATA_HOME/vocabulon/Dictionaries).\n"
     "  --user   import into your own folder, also as root\n"},
    {"lookup-selection",
     "usage: vocabulon lookup-selection [TEXT... | -]\n"
     "Sends TEXT, standard input, or else the selection to the window and looks it up there,\n"
     "starting the window when it is not open.\n"},
};

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

bool isHelp(const QString& argument) {
  return argument == QLatin1String("--help") || argument == QLatin1String("-h");
}

// The names a dictionary answers to besides its title: its bundle's file name and the names
// of its data files ("wn" for wn.index), as dict and sdcv users know them.
QStringList otherNames(const DictionaryEntry& entry) {
  QStringList names{entry.name};
  const QDir bundle(entry.folder + '/' + entry.name);
  for (const QString& file : bundle.entryList({QStringLiteral("*.index"), QStringLiteral("*.ifo")}, QDir::Files))
    names.append(stringByDeletingPathExtension(file));
  return names;
}

// The title that -d NAME means: a title as given, else the one dictionary whose title or other
// name equals NAME or starts with it, letter case ignored. Empty, with a message, when NAME
// fits several; NAME itself when it fits none, so that the lookup says it is missing.
QString resolveDictionary(const QString& name, QString* problem) {
  const QList<DictionaryEntry> entries = dictionaryEntries();
  for (const DictionaryEntry& entry : entries) {
    if (stringByDeletingPathExtension(entry.name) == name) return name;
  }
  for (const bool prefix : {false, true}) {
    QStringList titles;
    for (const DictionaryEntry& entry : entries) {
      const QString title = stringByDeletingPathExtension(entry.name);
      for (const QString& candidate : QStringList{title} + otherNames(entry)) {
        const bool fits = prefix ? candidate.startsWith(name, Qt::CaseInsensitive)
                                 : candidate.compare(name, Qt::CaseInsensitive) == 0;
        if (fits && !titles.contains(title)) titles.append(title);
      }
    }
    if (titles.size() == 1) return titles.first();
    if (titles.size() > 1) {
      *problem = QStringLiteral("\"%1\" fits several dictionaries: %2").arg(name, titles.join(QStringLiteral(", ")));
      return {};
    }
  }
  return name;
}

// Where `define` keeps its lookup workflow: a private folder of the user's cache, one
// document per dictionary and system, left in place between runs so that a run finds it
// there and writes nothing. A temporary folder when the cache cannot be used.
QUrl lookupWorkflowUrl(const QString& dictionaryName, const QTemporaryDir& fallback, QString* error) {
  QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
  if (!QDir::isAbsolutePath(cache)) cache = QDir::homePath() + QStringLiteral("/.cache");
  const QString folder = cache + QStringLiteral("/vocabulon/define");
  const QByteArray key = QCryptographicHash::hash((dictionaryName + QChar(0) + places::systemRoot()).toUtf8(),
                                                  QCryptographicHash::Sha256).toHex().left(32);
  const QString name = QString::fromLatin1(key) + QStringLiteral(".workflow");
  const QFileInfo info(folder);
  if ((info.isDir() && !info.isSymLink() && info.isWritable()) ||
      (QDir().mkpath(folder) && QFile::setPermissions(cache + QStringLiteral("/vocabulon"),
                                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))) {
    return QUrl::fromLocalFile(folder + QLatin1Char('/') + name);
  }
  if (!fallback.isValid()) {
    if (error) *error = QStringLiteral("cannot create a temporary folder: %1").arg(fallback.errorString());
    return QUrl();
  }
  return QUrl::fromLocalFile(fallback.filePath(name));
}

// A block of the result view (outputBlock's pieces), encoded straight onto the end of the
// buffer: no piece list and no intermediate copy per word.
void appendUtf8(QByteArray& buffer, QStringView text) {
  QStringEncoder encoder(QStringEncoder::Utf8, QStringEncoder::Flag::Stateless);  // nothing carried between texts
  const qsizetype used = buffer.size();
  buffer.resize(used + encoder.requiredSpace(text.size()));
  char* end = encoder.appendToBuffer(buffer.data() + used, text);
  buffer.truncate(end - buffer.constData());
}

void appendBlock(QByteArray& buffer, const QString& word, const QVariant& definition) {
  appendUtf8(buffer, word);
  buffer += ":\n";
  if (!definition.isValid()) {
    buffer += kCouldNotRetrieveDefinition;
    buffer += "\n\n";
    return;
  }
  const QString text = definition.toString();
  appendUtf8(buffer, text);
  buffer += text.endsWith(u'\n') ? "\n" : "\n\n";
}

// The words of a stream, a piece at a time. Each piece ends at an ASCII separator byte,
// which never falls inside a UTF-8 sequence, so that no word or character is cut in two and
// the words are those of the whole text decoded at once.
class InputWords {
 public:
  explicit InputWords(QIODevice& in) : in_(in) {}
  bool atEnd() const { return done_; }
  bool next(QStringList* words) {
    words->clear();
    while (words->isEmpty() && !done_) {
      QByteArray bytes = in_.read(kPieceBytes);
      done_ = bytes.isEmpty();
      bytes.prepend(carry_);
      qsizetype cut = bytes.size();
      if (!done_) {
        while (cut > 0 && !(uchar(bytes[cut - 1]) < 0x80 && isWordSeparator(char32_t(uchar(bytes[cut - 1]))))) --cut;
      }
      carry_ = bytes.mid(cut);
      *words = wordsOfQuery(QString::fromUtf8(QByteArrayView(bytes).first(cut)));
    }
    return !words->isEmpty();
  }

 private:
  static constexpr qint64 kPieceBytes = 1 << 16;
  QIODevice& in_;
  QByteArray carry_;
  bool done_ = false;
};

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
  fromInput = fromInput || texts.isEmpty();

  if (dictionaryName.isEmpty()) {
    dictionaryName = defaultDictionaryName();
  } else {
    QString ambiguity;
    dictionaryName = resolveDictionary(dictionaryName, &ambiguity);
    if (dictionaryName.isEmpty()) {
      print(err, QStringLiteral("vocabulon: %1\n").arg(ambiguity));
      return 1;
    }
  }
  if (dictionaryName.isEmpty()) {
    print(err, QStringLiteral("vocabulon: no dictionaries in %1 or %2 (add some with \"vocabulon import\")\n")
                   .arg(QDir::cleanPath(places::dictionariesFolder()), places::userDictionariesFolder()));
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

  // The lookup goes through a generated workflow, as in the window.
  QTemporaryDir fallback(QDir::tempPath() + QStringLiteral("/vocabulon-XXXXXX"));
  QString error;
  const QUrl workflowUrl = lookupWorkflowUrl(dictionaryName, fallback, &error);
  std::unique_ptr<Workflow> workflow = makeDefinitionWorkflow(dictionaryName);
  if (workflowUrl.isEmpty() || !workflow || !workflow->writeToURL(workflowUrl, &error, true)) {
    print(err, QStringLiteral("vocabulon: cannot write the lookup workflow: %1\n")
                   .arg(workflow || workflowUrl.isEmpty() ? error : QStringLiteral("the definition action is not installed")));
    return 1;
  }
  // One lookup: the document is looked at once, here, not again for every word.
  const Workflow::LookupSession session;
  // A workflow that cannot be read back would answer "no definition" for every word.
  if (!Workflow::canRunWorkflowAtURL(workflowUrl, &error)) {
    print(err, QStringLiteral("vocabulon: cannot read the lookup workflow: %1\n").arg(error));
    return 1;
  }

  // The workflow's action looks words up in this process: the switch reaches it.
  dictionary::setBaseFormsEnabled(!exact);

  QByteArray buffer;
  bool anyDefined = false;
  auto flush = [&] {
    out.write(buffer);
    buffer.clear();
  };
  auto write = [&](const QString& word, const QVariant& definition) {
    anyDefined = anyDefined || definition.isValid();
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
      appendBlock(buffer, word, definition);
    }
    if (buffer.size() > (1 << 16)) flush();
  };
  // A workflow that became unreadable mid-run would answer "no definition" for every word left.
  bool workflowLost = false;
  auto lookUp = [&](const QString& word) {
    QVariant definition = Workflow::runWorkflowAtURL(workflowUrl, QVariantList{word}, nullptr);
    if (!definition.isValid() && !workflowLost) workflowLost = !Workflow::canRunWorkflowAtURL(workflowUrl, &error);
    return definition;
  };

  // A long text need not wait for the spelling dictionary to load before its first miss: the
  // misses are held, in order with what follows them, while the hits go on beside the load.
  constexpr qsizetype kManyWords = 256, kMostHeldChars = 1 << 20;
  bool holding = false;
  std::vector<std::pair<QString, QVariant>> held;  // from the first held miss on
  qsizetype heldChars = 0;
  auto release = [&] {
    for (auto& [word, definition] : held) write(word, definition.isValid() ? definition : lookUp(word));
    held.clear();
  };
  // Words are looked up and written as they come; false once the workflow is lost.
  auto define = [&](const QStringList& words) {
    for (const QString& word : words) {
      holding = holding && heldChars < kMostHeldChars && !dictionary::baseFormsPrepared(*opened);
      if (!holding) {
        release();
        write(word, lookUp(word));
        if (workflowLost) return false;
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
    return true;
  };
  auto startHolding = [&](qsizetype wordsAhead) {
    if (exact || wordsAhead < kManyWords || holding) return;
    holding = true;
    dictionary::prepareBaseForms(*opened);
  };

  QStringList words;
  for (const QString& text : texts) words += wordsOfQuery(text);
  bool defined = true;
  if (sort || !fromInput) {
    if (fromInput) words += wordsOfQuery(QString::fromUtf8(in.readAll()));
    if (sort) SortStringsLikeFinder(words);
    startHolding(words.size());
    defined = define(words);
  } else {
    // The input is read, split, looked up and written in pieces: memory stays flat.
    startHolding(words.size());
    defined = define(words);
    InputWords input(in);
    for (QStringList piece; defined && input.next(&piece);) {
      startHolding(input.atEnd() ? piece.size() : kManyWords);
      defined = define(piece);
    }
  }
  if (defined) release();
  if (!defined || workflowLost) {
    flush();
    print(err, QStringLiteral("vocabulon: cannot read the lookup workflow: %1\n").arg(error));
    return 1;
  }
  flush();
  // As grep does: scripts can tell that nothing was found.
  return anyDefined ? 0 : 1;
}

int dictionaries(const QStringList& arguments, QIODevice& out, QIODevice& err) {
  if (!arguments.isEmpty()) return usageError(err, QStringLiteral("dictionaries takes no arguments"));
  for (const DictionaryEntry& entry : dictionaryEntries()) {
    QString error, holds;
    if (auto dictionary = dictionary::open(entry.folder + '/' + entry.name, &error)) {
      holds = QStringLiteral("%1, %2 entries: %3")
                  .arg(dictionary->formatName())
                  .arg(dictionary->entryCount())
                  .arg(dictionary->shortName());
    } else {
      holds = QStringLiteral("not a readable dictionary: %1").arg(error);
    }
    print(out, QStringLiteral("%1\t%2\t%3\t%4\n")
                   .arg(stringByDeletingPathExtension(entry.name), entry.name,
                        entry.user ? QStringLiteral("user") : QStringLiteral("machine"), holds));
  }
  return 0;
}

int import(const QStringList& given, QIODevice& out, QIODevice& err) {
  // Only root may write the machine's folder; anyone else imports for themselves.
  bool user = ::geteuid() != 0;
  QStringList arguments;
  for (qsizetype i = 0; i < given.size(); ++i) {
    if (given[i] == QLatin1String("--")) {
      arguments += given.mid(i + 1);
      break;
    }
    if (given[i] == QLatin1String("--user")) user = true;
    else if (given[i].startsWith('-')) return usageError(err, QStringLiteral("unknown option %1").arg(given[i]));
    else arguments.append(given[i]);
  }
  const QString folder = user ? places::userDictionariesFolder() : QDir::cleanPath(places::dictionariesFolder());
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
         name == QLatin1String("import") || name == QLatin1String("help") || isHelp(name) ||
         name == QLatin1String("--version");
}

bool isHelpRequest(const QStringList& arguments) {
  if (arguments.value(0) == QLatin1String("--")) return false;
  for (const QString& argument : arguments.mid(1)) {
    if (argument == QLatin1String("--")) return false;
    if (isHelp(argument)) return true;
  }
  return false;
}

int run(const QStringList& arguments, QIODevice& out, QIODevice& err, QIODevice& in) {
  const QString command = arguments.value(0);
  const QStringList rest = arguments.mid(1);
  if (command == QLatin1String("--version")) {
    print(out, QStringLiteral("vocabulon %1\n").arg(QLatin1String(VOCABULON_VERSION)));
    return 0;
  }
  if (isHelpRequest(arguments)) {
    for (const CommandHelp& help : kCommandHelp) {
      if (command == QLatin1String(help.name)) {
        print(out, QString::fromLatin1(help.text));
        return 0;
      }
    }
  }
  if (command == QLatin1String("help") && !rest.isEmpty()) return run({rest.first(), QStringLiteral("--help")}, out, err, in);
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
