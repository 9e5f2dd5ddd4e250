// SPDX-License-Identifier: GPL-3.0-or-later
// Definitions for inflected, upper-case and differently accented words, against the real
// GCIDE and WordNet files and small dictionaries written by the tests.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "dictionary/Bundle.h"
#include "dictionary/Dictionary.h"
#include "dictionary/DictdDictionary.h"
#include "dictionary/Hunspell.h"
#include "dictionary/Import.h"
#include "dictionary/WordForms.h"
#include "platform/cf/PropertyList.h"
#include "tests/TestDictionaries.h"
#include "tests/TestEnvironment.h"
#include "tests/dictionary/Fixtures.h"

using dictionary::FormSource;
using dictionary::lookUp;

namespace {

// Inflected forms and the base whose entry each should get ("form:base"). A form that is a
// headword of the dictionary keeps its own entry instead.
constexpr char kForms[] = R"(
cats:cat dogs:dog terms:term rights:right works:work conditions:condition licenses:license
modifications:modification books:book trees:tree houses:house rivers:river apples:apple
clouds:cloud doors:door windows:window streets:street letters:letter products:product
markets:market problems:problem cities:city studies:study parties:party countries:country
libraries:library babies:baby stories:story ladies:lady companies:company families:family
churches:church branches:branch benches:bench watches:watch matches:match coaches:coach
wishes:wish dishes:dish brushes:brush bushes:bush boxes:box foxes:fox taxes:tax buzzes:buzz
quizzes:quiz buses:bus gases:gas classes:class glasses:glass kisses:kiss heroes:hero
potatoes:potato tomatoes:tomato echoes:echo men:man women:woman firemen:fireman
policemen:policeman salesmen:salesman children:child mice:mouse geese:goose feet:foot
teeth:tooth oxen:ox people:person lice:louse leaves:leaf wolves:wolf knives:knife wives:wife
halves:half shelves:shelf thieves:thief criteria:criterion phenomena:phenomenon
analyses:analysis crises:crisis runs:run makes:make goes:go does:do takes:take writes:write
reads:read plays:play tries:try carries:carry fixes:fix pushes:push teaches:teach
walked:walk talked:talk played:play wanted:want opened:open visited:visit jumped:jump
hoped:hope used:use cared:care loved:love moved:move saved:save closed:close changed:change
studied:study tried:try carried:carry copied:copy worried:worry stopped:stop planned:plan
dropped:drop hopped:hop robbed:rob grabbed:grab preferred:prefer admitted:admit
controlled:control walking:walk reading:read playing:play thinking:think sleeping:sleep
jumping:jump making:make hoping:hope writing:write taking:take giving:give living:live
coming:come closing:close running:run stopping:stop sitting:sit swimming:swim getting:get
planning:plan beginning:begin lying:lie dying:die tying:tie ran:run went:go gone:go
written:write wrote:write took:take taken:take ate:eat eaten:eat began:begin begun:begin
spoke:speak spoken:speak broke:break broken:break chose:choose chosen:choose drove:drive
driven:drive flew:fly flown:fly knew:know known:know sang:sing sung:sing swam:swim
thought:think brought:bring bought:buy caught:catch taught:teach was:be were:be been:be
is:be are:be has:have had:have did:do done:do said:say made:make taller:tall tallest:tall
smaller:small smallest:small faster:fast fastest:fast larger:large largest:large bigger:big
biggest:big hotter:hot hottest:hot happier:happy happiest:happy easier:easy easiest:easy
wider:wide widest:wide better:good best:good worse:bad worst:bad CONDITIONS:condition
TERMS:term RIGHTS:right LICENSES:license MODIFICATIONS:modification RUNNING:run Cities:city
Studies:study Children:child Walked:walk Running:run STOPPED:stop MICE:mouse WENT:go
HAPPIER:happy WORKS:work Licenses:license Modifications:modification
)";

QList<std::pair<QString, QString>> formTable() {
  QList<std::pair<QString, QString>> rows;
  for (const QString& item : QString::fromLatin1(kForms).split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts)) {
    rows.append({item.section(QLatin1Char(':'), 0, 0), item.section(QLatin1Char(':'), 1, 1)});
  }
  return rows;
}

// Points Hunspell's dictionary search at other folders for the life of the object.
class SpellingFolders {
 public:
  explicit SpellingFolders(const QString& folders)
      : had_(qEnvironmentVariableIsSet("DICPATH")), saved_(qgetenv("DICPATH")) {
    qputenv("DICPATH", folders.toUtf8());
  }
  ~SpellingFolders() {
    if (had_) qputenv("DICPATH", saved_);
    else qunsetenv("DICPATH");
  }

 private:
  bool had_;
  QByteArray saved_;
};

QString joined(const QStringList& list) { return list.join(QLatin1Char(',')); }

std::shared_ptr<dictionary::Dictionary> installed(const char* index) {
  const QString path = QStringLiteral("/usr/share/dictd/%1.index").arg(QLatin1String(index));
  if (!QFileInfo(path).isFile()) return nullptr;
  return std::shared_ptr<dictionary::Dictionary>(dictionary::openUncached(path).release());
}

class InstalledDictionaries : public ::testing::TestWithParam<const char*> {};

TEST_P(InstalledDictionaries, InflectedFormsGetTheirBaseFormsEntryUnlessTheyHaveTheirOwn) {
  const auto dictionary = installed(GetParam());
  if (!dictionary) GTEST_SKIP() << "dict-" << GetParam() << " is not installed";
  if (dictionary::HunspellStemmer::affixFileFor(QStringLiteral("en")).isEmpty()) GTEST_SKIP() << "hunspell-en-us is not installed";
  const auto rows = formTable();
  ASSERT_GE(rows.size(), 200);
  int fromBaseForms = 0;
  for (const auto& [word, base] : rows) {
    const dictionary::Lookup own = lookUp(*dictionary, word, false);
    const dictionary::Lookup found = lookUp(*dictionary, word);
    ASSERT_TRUE(found.definition) << word.toStdString();
    if (own.definition) {
      EXPECT_EQ(found.headwords, QStringList{word}) << word.toStdString();
      EXPECT_EQ(found.definition, own.definition) << word.toStdString();
      continue;
    }
    ++fromBaseForms;
    bool hasBase = false;
    for (const QString& headword : found.headwords) hasBase = hasBase || headword.compare(base, Qt::CaseInsensitive) == 0;
    EXPECT_TRUE(hasBase) << word.toStdString() << " -> " << joined(found.headwords).toStdString();
    const std::optional<QString> entry = lookUp(*dictionary, base, false).definition;
    ASSERT_TRUE(entry) << base.toStdString();
    EXPECT_TRUE(found.definition->contains(*entry)) << word.toStdString();
  }
  // Most of the table is not made of headwords; the base forms did the work.
  EXPECT_GE(fromBaseForms, 40) << GetParam();
}

INSTANTIATE_TEST_SUITE_P(GcideAndWordNet, InstalledDictionaries, ::testing::Values("gcide", "wn"));

TEST(WordNet, KeepsTheWordsOwnEntryAndJoinsSeveralBases) {
  const auto wordnet = installed("wn");
  if (!wordnet) GTEST_SKIP() << "dict-wn is not installed";
  // "running" is a WordNet headword of its own: it is not replaced by "run".
  const dictionary::Lookup running = lookUp(*wordnet, u"running");
  EXPECT_EQ(running.headwords, QStringList{"running"});
  EXPECT_EQ(running.sources, QList<FormSource>{FormSource::Exact});
  // "leaves" is both the plural of "leaf" and a form of "leave": both entries, in that order,
  // joined like the entries of one headword.
  const dictionary::Lookup leaves = lookUp(*wordnet, u"leaves");
  if (!lookUp(*wordnet, u"leaves", false).definition) {
    EXPECT_EQ(leaves.headwords, (QStringList{"leaf", "leave"}));
    EXPECT_EQ(*leaves.definition, *wordnet->define(u"leaf") + "\n\n" + *wordnet->define(u"leave"));
  }
}

// Words where a suffix rule or an English Hunspell stem taken as it comes would pick a wrong
// base, and the base each must get instead, with the wrong one.
TEST(Gcide, NoWrongBaseWhereTheSpellingKnowsBetter) {
  const auto gcide = installed("gcide");
  const auto wordnet = installed("wn");
  if (!gcide || !wordnet) GTEST_SKIP() << "dict-gcide or dict-wn is not installed";
  const struct {
    const char* word;
    const char* right;
    const char* wrong;
  } cases[] = {
      {"hoped", "hope", "hop"}, {"cared", "care", "car"}, {"caring", "care", "car"}, {"used", "use", "us"},
      {"bred", "breed", "br"},  {"rivers", "river", "riv"}, {"was", "be", "wa"},      {"unkindly", "", "kind"},
      {"planed", "plane", "plan"}, {"modifications", "modification", "modify"}, {"his", "", "hi"},
      {"stepping", "step", "steppe"}, {"things", "thing", "the"}, {"onions", "onion", "one"},
      {"depends", "depend", "pend"},
  };
  for (const auto& c : cases) {
    for (const auto& dictionary : {gcide, wordnet}) {
      const dictionary::Lookup found = lookUp(*dictionary, QString::fromLatin1(c.word));
      if (found.sources.value(0) == FormSource::Exact) continue;
      EXPECT_FALSE(found.headwords.contains(QLatin1String(c.wrong), Qt::CaseInsensitive))
          << c.word << " -> " << joined(found.headwords).toStdString();
      if (*c.right && found.definition) {
        EXPECT_TRUE(found.headwords.contains(QLatin1String(c.right), Qt::CaseInsensitive))
            << c.word << " -> " << joined(found.headwords).toStdString();
      }
    }
  }
}

// Without any Hunspell dictionary the English rules and irregular forms still find bases.
TEST(Gcide, RulesAloneWhenNoHunspellDictionaryIsInstalled) {
  if (!QFileInfo(QStringLiteral("/usr/share/dictd/gcide.index")).isFile()) GTEST_SKIP() << "dict-gcide is not installed";
  QTemporaryDir empty;
  const SpellingFolders folders(empty.path());
  ASSERT_TRUE(dictionary::HunspellStemmer::affixFileFor(QStringLiteral("en")).isEmpty());
  const auto gcide = std::shared_ptr<dictionary::Dictionary>(dictionary::openUncached(QStringLiteral("/usr/share/dictd/gcide.index")).release());
  const std::pair<const char*, const char*> cases[] = {
      {"conditions", "condition"}, {"modifications", "modification"}, {"libraries", "library"}, {"benches", "bench"},
      {"brushes", "brush"},        {"policemen", "policeman"},         {"dropped", "drop"},      {"hoped", "hope"},
      {"controlled", "control"},   {"swimming", "swim"},               {"hoping", "hope"},       {"tallest", "tall"},
      {"hottest", "hot"},          {"easiest", "easy"},                {"worried", "worry"},      {"WENT", "go"},
  };
  const quint64 calls = dictionary::HunspellStemmer::callCount();
  for (const auto& [word, base] : cases) {
    const bool own = lookUp(*gcide, QString::fromLatin1(word), false).definition.has_value();
    const dictionary::Lookup found = lookUp(*gcide, QString::fromLatin1(word));
    EXPECT_EQ(joined(found.headwords).toLower(), QString::fromLatin1(own ? word : base).toLower()) << word;
  }
  EXPECT_EQ(dictionary::HunspellStemmer::callCount(), calls);
}

// A small dictionary with its bundle's language.
class SmallDictionary : public ::testing::Test {
 protected:
  std::shared_ptr<const dictionary::Dictionary> make(const TestEntries& entries, const QString& language) {
    const QString bundle = addTestDictionary(env, QStringLiteral("Small%1").arg(++count_), entries);
    std::optional<dictionary::BundleInfo> info = dictionary::readBundleInfo(bundle);
    EXPECT_TRUE(info);
    info->language = language;
    EXPECT_TRUE(dictionary::writeBundleInfo(bundle, *info));
    return dictionary::open(bundle);
  }
  TestEnvironment env;
  int count_ = 0;
};

TEST_F(SmallDictionary, AccentsFoldBothWaysInAnyLanguage) {
  for (const QString& language : {QStringLiteral("en"), QStringLiteral("xx")}) {
    const auto accented = make({{QString::fromUtf8("café"), "A coffee house."}, {"resume", "To begin again."}}, language);
    ASSERT_TRUE(accented);
    EXPECT_EQ(lookUp(*accented, u"cafe").headwords, QStringList{QString::fromUtf8("café")}) << language.toStdString();
    EXPECT_EQ(lookUp(*accented, u"CAFE").definition, std::optional<QString>("A coffee house.")) << language.toStdString();
    EXPECT_EQ(lookUp(*accented, QString::fromUtf8("résumé")).headwords, QStringList{"resume"}) << language.toStdString();
    // Decomposed input (e + combining acute) folds the same way.
    EXPECT_EQ(lookUp(*accented, QString::fromUtf8("re\xcc\x81sume\xcc\x81")).definition, std::optional<QString>("To begin again."));
  }
}

TEST_F(SmallDictionary, OnlyAMissLooksForBaseFormsAndOnlyWhereTheLanguageHasThem) {
  const TestEntries entries = {{"cat", "A small furry animal."}, {"cats", "A musical."}, {"church", "A building."}};
  const auto english = make(entries, "en");
  const auto unknown = make(entries, "xx");  // no Hunspell dictionary, no English rules
  EXPECT_EQ(lookUp(*english, u"cats").definition, std::optional<QString>("A musical."));
  EXPECT_EQ(lookUp(*english, u"churches").headwords, QStringList{"church"});
  EXPECT_EQ(english->define(u"CHURCHES"), std::optional<QString>("A building."));
  EXPECT_FALSE(unknown->define(u"churches"));
  EXPECT_EQ(unknown->define(u"CATS"), std::optional<QString>("A musical."));
  // Switched off for the whole process (define --exact), and per call.
  dictionary::setBaseFormsEnabled(false);
  EXPECT_FALSE(english->define(u"churches"));
  dictionary::setBaseFormsEnabled(true);
  EXPECT_FALSE(lookUp(*english, u"churches", false).definition);
  EXPECT_TRUE(english->define(u"churches"));
}

TEST_F(SmallDictionary, BadInputNeverReachesHunspell) {
  if (dictionary::HunspellStemmer::affixFileFor(QStringLiteral("en")).isEmpty()) GTEST_SKIP() << "hunspell-en-us is not installed";
  const auto english = make({{"cat", "A small furry animal."}}, "en");
  ASSERT_TRUE(english->define(u"cats"));  // Hunspell loaded and used once
  QString lone = QStringLiteral("cat");
  lone.append(QChar(0xD800));
  QString lowFirst(1, QChar(0xDC00));
  lowFirst += QStringLiteral("cats");
  const QStringList bad = {QString(10000, u'a'),          QString(10000, QChar(0xE9)), QString(5000, u'a') + "s",
                           lone,                          lowFirst,                    QStringLiteral("12345"),
                           QStringLiteral("cats2"),       QStringLiteral("$$$"),       QStringLiteral("c++"),
                           QStringLiteral("+cats"),       QString(QChar(0x0301)) + "cats", QStringLiteral("\u2603s"),
                           QString(QChar(0)) + "cats",    QStringLiteral("ca\tts")};
  const quint64 calls = dictionary::HunspellStemmer::callCount();
  for (const QString& word : bad) {
    EXPECT_FALSE(dictionary::HunspellStemmer::accepts(word)) << word.left(20).toStdString();
    // The word's own letters may still match a headword (dictd skips what is not a letter),
    // but no base form is looked for.
    const QList<FormSource> sources = lookUp(*english, word).sources;
    EXPECT_TRUE(sources.isEmpty() || sources == QList<FormSource>{FormSource::Exact}) << word.left(20).toStdString();
  }
  EXPECT_EQ(dictionary::HunspellStemmer::callCount(), calls);
  // A repeated miss is answered from the cache, not by Hunspell again.
  EXPECT_FALSE(english->define(u"dogs"));
  const quint64 afterFirst = dictionary::HunspellStemmer::callCount();
  EXPECT_GT(afterFirst, calls);
  EXPECT_FALSE(english->define(u"dogs"));
  EXPECT_TRUE(english->define(u"cats"));
  EXPECT_EQ(dictionary::HunspellStemmer::callCount(), afterFirst);
  // Words Hunspell may take: letters with combining marks, any script.
  for (const QString& word : {QStringLiteral("cats"), QString::fromUtf8("naïve"), QString::fromUtf8("re\xcc\x81sume\xcc\x81"),
                              QString::fromUtf8("Straße"), QString::fromUtf8("кошки"), QString::fromUtf8("\xf0\x9d\x90\x80")}) {
    EXPECT_TRUE(dictionary::HunspellStemmer::accepts(word)) << word.toStdString();
  }
}

TEST(WordFormRules, SuffixRulesAndStemChecks) {
  using namespace dictionary::forms;
  const std::pair<const char*, const char*> rules[] = {
      // word, the candidates in order
      {"cities", "city,citie,citi"},        {"churches", "church,churche"}, {"wishes", "wish,wishe"},
      {"quizzes", "quiz,quizz,quizze"}, {"firemen", "fireman"},         {"cats", "cat"}, {"heroes", "heroe,hero"}, {"houses", "hous,house"},
      {"glass", ""},                    {"bus", ""},                     {"stopped", "stopp,stop,stoppe"},
      {"hoped", "hope"},                {"studied", "study,studi,studie"}, {"running", "runn,run,runne"},
      {"making", "make"},               {"lying", "lie,lye"},              {"bigger", "bigg,big,bigge"},
      {"larger", "larg,large"},         {"happiest", "happy,happi,happie"}, {"controlled", "controll,control,controlle"},
  };
  for (const auto& [word, expected] : rules) EXPECT_EQ(joined(ruleBases(QString::fromLatin1(word))), QLatin1String(expected)) << word;

  const std::tuple<const char*, const char*, bool> stems[] = {
      {"conditions", "condition", true}, {"happiest", "happy", true}, {"making", "make", true},
      {"hoped", "hop", false},           {"cared", "car", false},     {"bred", "br", false},
      {"modifications", "modify", false}, {"rivers", "riv", false},   {"stopping", "stop", true},
      {"cities", "city", true},          {"dying", "die", true},       {"happiness", "happy", false},
      {"stepping", "steppe", false},     {"stepping", "step", true},   {"onions", "one", false},
      {"unkind", "kind", false},         {"rereturn", "return", false}, {"visited", "visit", true},
      {"CONDITIONS", "condition", true}, {"cats", "cats", false},
  };
  for (const auto& [word, stem, plausible] : stems) {
    EXPECT_EQ(plausibleEnglishStem(QString::fromLatin1(word), QString::fromLatin1(stem)), plausible) << word << " " << stem;
  }

  EXPECT_EQ(caseVariants(u"CONDITIONS"), (QStringList{"Conditions", "conditions"}));
  EXPECT_EQ(caseVariants(u"Running"), QStringList{"running"});
  EXPECT_EQ(caseVariants(u"iPhone"), QStringList{"iphone"});
  EXPECT_TRUE(caseVariants(u"cats").isEmpty());
  EXPECT_EQ(caseVariants(u"A"), QStringList{"a"});
  EXPECT_EQ(foldAccents(QString::fromUtf8("Café naïve Ångström")), QStringLiteral("Cafe naive Angstrom"));
  EXPECT_EQ(irregularBases(u"leaves"), (QStringList{"leaf", "leave"}));
  EXPECT_EQ(irregularBases(u"his"), QStringList{});
  EXPECT_FALSE(irregularBases(u"cats"));
}

TEST(DictionaryLanguage, ComesFromTheDictionarysOwnDescriptionElseEnglish) {
  QTemporaryDir dir;
  const std::pair<const char*, const char*> files[] = {
      {"deu-eng.index", "de"},       {"freedict-fra-eng.index", "fr"}, {"wn.index", "en"},
      {"xyz-qqq.index", "en"},       {"gcide.index", "en"},
  };
  for (const auto& [name, expected] : files) {
    EXPECT_EQ(dictionary::languageFromMetadata(dir.filePath(QLatin1String(name))), QLatin1String(expected)) << name;
  }
  const std::pair<const char*, const char*> ifos[] = {
      {"lang=ru\n", "ru"}, {"lang=de-en\n", "de"}, {"lang=nld\n", "nl"}, {"bookname=x\n", "en"}, {"lang=???\n", "en"},
  };
  for (const auto& [line, expected] : ifos) {
    const QString path = dir.filePath(QStringLiteral("d.ifo"));
    ASSERT_TRUE(fixtures::writeBytes(path, QByteArray("StarDict's dict ifo file\nversion=2.4.2\n") + line));
    EXPECT_EQ(dictionary::languageFromMetadata(path), QLatin1String(expected)) << line;
  }
}

TEST(DictionaryLanguage, PicksTheHunspellDictionaryByTag) {
  QTemporaryDir dir;
  for (const char* name : {"en_US", "en_GB", "de_AT", "pt"}) {
    ASSERT_TRUE(fixtures::writeBytes(dir.filePath(QStringLiteral("%1.aff").arg(QLatin1String(name))), "SET UTF-8\n"));
    ASSERT_TRUE(fixtures::writeBytes(dir.filePath(QStringLiteral("%1.dic").arg(QLatin1String(name))), "1\nword\n"));
  }
  ASSERT_TRUE(fixtures::writeBytes(dir.filePath(QStringLiteral("fr_FR.aff")), "SET UTF-8\n"));  // no .dic beside it
  ASSERT_TRUE(fixtures::writeBytes(dir.filePath(QStringLiteral("x_Y.aff")), "SET UTF-8\n"));
  const SpellingFolders folders(QStringLiteral("/nonexistent:") + dir.path());
  const std::pair<const char*, const char*> cases[] = {
      {"en", "en_US"},     {"en-GB", "en_GB"}, {"EN_gb", "en_GB"}, {"en-AU", "en_US"}, {"de", "de_AT"},
      {"de-CH", "de_AT"},  {"pt-BR", "pt"},    {"fr", ""},         {"xx", ""},         {"", ""},
      {"en_../../x", "en_US"}, {"../en", ""}, {"x-Y", ""},
  };
  for (const auto& [tag, expected] : cases) {
    const QString aff = dictionary::HunspellStemmer::affixFileFor(QString::fromLatin1(tag));
    EXPECT_EQ(QFileInfo(aff).completeBaseName(), QLatin1String(expected)) << tag;
    if (!aff.isEmpty()) {
      EXPECT_EQ(QFileInfo(aff).absolutePath(), dir.path()) << tag;
    }
  }
}

TEST(DictionaryLanguage, ImportWritesItIntoTheBundle) {
  TestEnvironment env;
  QTemporaryDir source;
  writeTestDictd(source.filePath(QStringLiteral("deu-eng")), QStringLiteral("German-English"), {{"Katze", "cat"}});
  writeTestDictd(source.filePath(QStringLiteral("animals")), QStringLiteral("Animals"), {{"cat", "A small furry animal."}});
  const auto report = dictionary::importDictionaries({source.path()}, env.dictionariesFolder());
  ASSERT_EQ(report.size(), 2);
  QStringList languages;
  for (const auto& item : report) {
    ASSERT_TRUE(item.error.isEmpty()) << item.error.toStdString();
    const auto info = dictionary::readBundleInfo(item.bundlePath);
    ASSERT_TRUE(info);
    languages.append(info->name + "=" + info->language);
  }
  languages.sort();
  EXPECT_EQ(languages, (QStringList{"Animals=en", "German-English=de"}));
}

}  // namespace
