#include "dictionary/WordForms.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QRegularExpression>
#include <QSet>
#include <atomic>
#include <future>
#include <mutex>

#include "dictionary/Hunspell.h"
#include "dictionary/TextDecoding.h"
#include "platform/SafeFile.h"

namespace dictionary {
namespace {

std::atomic<bool> enabled{true};

// Irregular English forms: each line a base, then its forms. A form under several bases
// ("leaves") gets all of them, in the order listed. The forms on the "-" line have no base to
// look for: suffix rules and stems would turn them into other words ("his" is not "hi").
constexpr char kIrregular[] = R"(
- his hers its ours yours theirs this these those thus us as
be am are is was were been being
have has had having
do does did done doing
doe does
go goes went gone
arise arose arisen
awake awoke awoken
bear bore borne
beat beaten
become became
begin began begun
bend bent
bind bound
bite bit bitten
bleed bled
blow blew blown
break broke broken
breed bred
bring brought
build built
burn burnt
buy bought
catch caught
choose chose chosen
cling clung
come came
creep crept
deal dealt
dig dug
draw drew drawn
dream dreamt
drink drank drunk
drive drove driven
dwell dwelt
eat ate eaten
fall fell fallen
feed fed
feel felt
fight fought
find found
flee fled
fling flung
fly flew flown flies
forbid forbade forbidden
forget forgot forgotten
forgive forgave forgiven
forsake forsook forsaken
freeze froze frozen
get got gotten
give gave given
grind ground
grow grew grown
hang hung
hear heard
hide hid hidden
hold held
keep kept
kneel knelt
know knew known
lay laid
lead led
lean leant
leap leapt
learn learnt
leave left
lend lent
lie lay lain lying lies
light lit
lose lost
make made
mean meant
meet met
overcome overcame
pay paid
prove proven
ride rode ridden
ring rang rung
rise rose risen
run ran
say said
see saw seen
seek sought
sell sold
send sent
sew sewn
shake shook shaken
shine shone
shoot shot
show shown
shrink shrank shrunk
sing sang sung
sink sank sunk
sit sat
slay slew slain
sleep slept
slide slid
sling slung
speak spoke spoken
speed sped
spend spent
spin spun
spit spat
spring sprang sprung
stand stood
steal stole stolen
stick stuck
sting stung
stink stank stunk
stride strode stridden
strike struck stricken
string strung
strive strove striven
swear swore sworn
sweep swept
swim swam swum
swing swung
take took taken
teach taught
tear tore torn
tell told
think thought
throw threw thrown
tread trod trodden
undergo underwent undergone
understand understood
undertake undertook undertaken
wake woke woken
wear wore worn
weave wove woven
weep wept
win won
wind wound
withdraw withdrew withdrawn
write wrote written
die dying dice
tie tying
man men
woman women
child children
mouse mice
louse lice
goose geese
foot feet
tooth teeth
ox oxen
person people
leaf leaves
leave leaves
wolf wolves
knife knives
life lives
live lives
wife wives
half halves
self selves
shelf shelves
thief thieves
loaf loaves
calf calves
elf elves
sheaf sheaves
wharf wharves
hoof hooves
scarf scarves
criterion criteria
phenomenon phenomena
datum data
medium media
analysis analyses
basis bases
base bases
crisis crises
thesis theses
hypothesis hypotheses
axis axes
axe axes
index indices
appendix appendices
matrix matrices
vertex vertices
cactus cacti
fungus fungi
nucleus nuclei
radius radii
stimulus stimuli
alumnus alumni
formula formulae
antenna antennae
larva larvae
curriculum curricula
bacterium bacteria
stratum strata
memorandum memoranda
good better best
well better best
bad worse worst
ill worse worst
far farther farthest further furthest
little less least
much more most
many more most
)";

const QHash<QString, QStringList>& irregularTable() {
  static const QHash<QString, QStringList> table = [] {
    QHash<QString, QStringList> built;
    for (const QString& line : QString::fromLatin1(kIrregular).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
      const QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
      const bool none = words[0] == QLatin1String("-");
      for (qsizetype i = 1; i < words.size(); ++i) {
        QStringList& bases = built[words[i]];
        if (!none && !bases.contains(words[0])) bases.append(words[0]);
      }
    }
    return built;
  }();
  return table;
}

bool isVowel(QChar c) { return c == u'a' || c == u'e' || c == u'i' || c == u'o' || c == u'u'; }
bool hasVowel(QStringView word) {
  for (const QChar c : word) {
    if (isVowel(c) || c == u'y') return true;
  }
  return false;
}

// A one-syllable stem ending in a single vowel and a single consonant ("hop", "car", "big"):
// English doubles that consonant before -ed, -ing, -er and -est.
bool doublesBeforeSuffix(QStringView stem) {
  const qsizetype n = stem.size();
  if (n < 3) return false;
  const QChar last = stem[n - 1];
  if (isVowel(last) || last == u'w' || last == u'x' || last == u'y' || !last.isLetter()) return false;
  if (!isVowel(stem[n - 2]) || isVowel(stem[n - 3])) return false;
  int groups = 0;
  bool inVowels = false;
  for (qsizetype i = 0; i < n; ++i) {
    const bool vowel = isVowel(stem[i]) || (i > 0 && stem[i] == u'y');
    if (vowel && !inVowels) ++groups;
    inVowels = vowel;
  }
  return groups == 1;
}

constexpr const char* kVowelSuffixes[] = {"ed", "ing", "er", "est"};

}  // namespace

namespace forms {

QString foldAccents(QStringView word) {
  bool ascii = true;
  for (const QChar c : word) ascii = ascii && c.unicode() < 0x80;
  if (ascii) return word.toString();  // nothing to fold, and no normalisation to pay for
  const QString decomposed = word.toString().normalized(QString::NormalizationForm_D);
  QString kept;
  kept.reserve(decomposed.size());
  for (const QChar c : decomposed) {
    if (c.category() != QChar::Mark_NonSpacing) kept += c;
  }
  return kept.normalized(QString::NormalizationForm_C);
}

QStringList caseVariants(QStringView word) {
  QStringList variants;
  const QString lower = word.toString().toLower();
  if (lower == word) return variants;
  const QString upper = word.toString().toUpper();
  if (upper == word && word.size() > 1) {
    const QString title = lower.left(1).toUpper() + lower.mid(1);
    if (title != word) variants.append(title);
  }
  variants.append(lower);
  return variants;
}

bool isEnglish(const QString& language) {
  const QString base = language.trimmed().section(QLatin1Char('-'), 0, 0).section(QLatin1Char('_'), 0, 0).toLower();
  return base.isEmpty() || base == QLatin1String("en") || base == QLatin1String("eng");
}

std::optional<QStringList> irregularBases(QStringView word) {
  const auto& table = irregularTable();
  const auto found = table.constFind(word.toString());
  if (found == table.constEnd()) return std::nullopt;
  return *found;
}

QStringList ruleBases(QStringView word) {
  QStringList bases;
  const qsizetype n = word.size();
  auto add = [&](QStringView stem, QLatin1StringView ending, qsizetype minimum) {
    const QString base = stem.toString() + ending;
    if (base.size() >= minimum && base != word && hasVowel(base) && !bases.contains(base)) bases.append(base);
  };
  auto ends = [&](const char* suffix) { return word.endsWith(QLatin1String(suffix)); };

  // Nouns and third persons.
  if (ends("ies") && n > 4) add(word.chopped(3), QLatin1StringView("y"), 2);
  if (ends("men") && n > 4) add(word.chopped(3), QLatin1StringView("man"), 3);
  if (ends("zzes")) add(word.chopped(3), {}, 2);  // quizzes
  if (ends("ses") || ends("xes") || ends("zes") || ends("ches") || ends("shes")) add(word.chopped(2), {}, 2);
  if (ends("s") && !ends("ss") && !ends("us") && !ends("is") && n > 2) add(word.chopped(1), {}, 2);
  if (ends("es") && n > 3) add(word.chopped(2), {}, 2);  // heroes, echoes

  // -ed, -ing, -er, -est: the plain stem unless it would have doubled its consonant, then the
  // doubled consonant undone, then the final e restored, then y for i.
  for (const char* suffix : kVowelSuffixes) {
    const qsizetype length = qsizetype(qstrlen(suffix));
    if (!ends(suffix) || n < length + 2) continue;
    const QStringView stem = word.chopped(length);
    if (stem.endsWith(u'i') && (length == 2 || length == 3) && suffix[0] == 'e') {
      add(stem.chopped(1), QLatin1StringView("y"), 2);  // studied, happier, happiest
    }
    if (!doublesBeforeSuffix(stem)) add(stem, {}, 3);
    const qsizetype s = stem.size();
    if (s >= 3 && stem[s - 1] == stem[s - 2] && !isVowel(stem[s - 1]) && doublesBeforeSuffix(stem.chopped(1))) {
      add(stem.chopped(1), {}, 3);  // stopped, running, bigger
    } else if (s >= 4 && stem[s - 1] == stem[s - 2] && !isVowel(stem[s - 1])) {
      add(stem.chopped(1), {}, 3);  // preferred, controlled, travelled
    }
    if (QLatin1String(suffix) == QLatin1String("ing") && stem.endsWith(u'y')) {
      add(stem.chopped(1), QLatin1StringView("ie"), 3);  // lying, dying
    }
    add(stem, QLatin1StringView("e"), 3);  // used -> use, larger -> large
  }
  return bases;
}

bool plausibleEnglishStem(QStringView word, QStringView stem) {
  const QString w = word.toString().toLower();
  const QString s = stem.toString().toLower();
  if (s.isEmpty() || s == w || !hasVowel(s)) return false;
  qsizetype common = 0;
  while (common < w.size() && common < s.size() && w[common] == s[common]) ++common;
  if (common == 0) return false;
  // What differs must be an inflection at the end: the stem may lose a final e or y (or ie),
  // the word may double the stem's last consonant, then add an inflectional ending. Other
  // endings are derivations ("modifications" is not "modify"), other beginnings prefixes.
  const QString stemTail = s.mid(common);
  QString wordTail = w.mid(common);
  if (stemTail.isEmpty() && wordTail.size() > 1 && wordTail[0] == s.back() && !isVowel(s.back())) wordTail.remove(0, 1);
  static const QStringList stemTails = {QString(), QStringLiteral("e"), QStringLiteral("y"), QStringLiteral("ie")};
  static const QStringList endings = {QStringLiteral("s"),   QStringLiteral("es"),  QStringLiteral("ies"),
                                      QStringLiteral("d"),   QStringLiteral("ed"),  QStringLiteral("ied"),
                                      QStringLiteral("ing"), QStringLiteral("ying"), QStringLiteral("r"),
                                      QStringLiteral("er"),  QStringLiteral("ier"), QStringLiteral("st"),
                                      QStringLiteral("est"), QStringLiteral("iest")};
  if (!stemTails.contains(stemTail) || !endings.contains(wordTail)) return false;
  // A doubled consonant before the ending comes from the stem's own last letter, never from one
  // before a dropped e: "stepping" is "step", not "steppe".
  if (stemTail == QLatin1String("e") && common >= 2 && s[common - 1] == s[common - 2] && !isVowel(s[common - 1])) return false;
  for (const char* suffix : kVowelSuffixes) {
    if (w == s + QLatin1String(suffix) && doublesBeforeSuffix(s)) return false;
  }
  return true;
}

}  // namespace forms

const char* formSourceName(FormSource source) {
  switch (source) {
    case FormSource::Exact: return "exact";
    case FormSource::Case: return "case";
    case FormSource::Irregular: return "irregular";
    case FormSource::Hunspell: return "hunspell";
    case FormSource::Rule: return "rule";
    case FormSource::Accent: return "accent";
  }
  return "";
}

void setBaseFormsEnabled(bool on) { enabled = on; }
bool baseFormsEnabled() { return enabled; }

namespace {

class BaseFormDictionary final : public Dictionary {
 public:
  BaseFormDictionary(std::unique_ptr<Dictionary> inner, const QString& language)
      : inner_(std::move(inner)), language_(language), english_(forms::isEnglish(language)) {}
  ~BaseFormDictionary() override {
    std::lock_guard lock(prepareMutex_);
    // A load never started (deferred and not yet asked for) is not started now.
    if (prepared_.valid() && prepared_.wait_for(std::chrono::seconds(0)) != std::future_status::deferred) prepared_.wait();
  }

  // Loading the spelling dictionary takes a few tens of milliseconds. It starts at the first
  // miss, or earlier and in the background when a caller expects many words.
  void prepare(bool background) const {
    std::lock_guard lock(prepareMutex_);
    if (prepared_.valid()) return;
    auto load = [this] {
      stemmer_ = HunspellStemmer::forLanguage(language_.isEmpty() ? QStringLiteral("en") : language_);
      buildAccentIndex();
    };
    const auto policy = background ? std::launch::async | std::launch::deferred : std::launch::deferred;
    prepared_ = std::async(policy, load).share();
  }
  bool prepared() const {
    std::lock_guard lock(prepareMutex_);
    return prepared_.valid() && prepared_.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
  }

  QString shortName() const override { return inner_->shortName(); }
  QString formatName() const override { return inner_->formatName(); }
  qsizetype entryCount() const override { return inner_->entryCount(); }
  void forEachHeadword(const std::function<void(std::string_view)>& visit) const override {
    inner_->forEachHeadword(visit);
  }

  std::optional<QString> define(QStringView word, QString* error) const override {
    return lookUp(word, true, error).definition;
  }

  Lookup lookUp(QStringView word, bool baseForms, QString* error = nullptr) const {
    Lookup result;
    QString problem;
    result.definition = inner_->define(word, &problem);
    if (inner_->changedOnDisk()) noteChangedOnDisk();  // holders reopen the whole dictionary
    if (result.definition) {
      result.headwords.append(word.toString());
      result.sources.append(FormSource::Exact);
      return result;
    }
    if (!problem.isEmpty()) {  // damaged data: report it rather than guess around it
      if (error) *error = problem;
      return result;
    }
    // Only words made of letters are worth a second look; this also keeps digits, symbols,
    // broken UTF-16 and very long runs away from Hunspell.
    if (!baseForms || !baseFormsEnabled() || !HunspellStemmer::accepts(word)) return result;
    const QString key = word.toString();
    {
      std::lock_guard lock(cacheMutex_);
      if (auto found = misses_.constFind(key); found != misses_.constEnd()) return *found;
    }
    result = baseFormsOf(key);
    std::lock_guard lock(cacheMutex_);
    if (misses_.size() >= kMaxCached) misses_.clear();
    misses_.insert(key, result);
    return result;
  }

 private:
  static constexpr qsizetype kMaxCached = 100000;

  struct Group {
    QStringList forms;
    FormSource source;
    bool firstOnly;  // guesses: only the first that is a headword
  };

  void waitUntilPrepared() const {
    prepare(false);
    std::shared_future<void> ready;
    {
      std::lock_guard lock(prepareMutex_);
      ready = prepared_;
    }
    ready.wait();
  }

  std::shared_ptr<HunspellStemmer> stemmer() const {
    waitUntilPrepared();
    return stemmer_;
  }

  const QHash<QString, QStringList>& accented() const {
    waitUntilPrepared();
    return accented_;
  }

  // Accented headwords by their folded lower-case form.
  void buildAccentIndex() const {
    inner_->forEachHeadword([this](std::string_view bytes) {
      bool plain = true;
      for (const char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80) {
          plain = false;
          break;
        }
      }
      if (plain) return;
      const QString headword = decodeText(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
      const QString lower = headword.toLower();
      const QString folded = forms::foldAccents(lower);
      if (folded == lower) return;
      QStringList& list = accented_[folded];
      if (!list.contains(headword)) list.append(headword);
    });
  }

  QStringList accentAlternatives(const QString& form) const {
    QStringList alternatives;
    const QString folded = forms::foldAccents(form);
    if (folded != form) alternatives.append(folded);
    const QHash<QString, QStringList>& index = accented();
    if (index.isEmpty()) return alternatives;
    for (const QString& headword : index.value(folded.toLower())) {
      if (headword != form && !alternatives.contains(headword)) alternatives.append(headword);
    }
    return alternatives;
  }

  QList<Group> candidates(const QString& word) const {
    QList<Group> groups;
    const QStringList variants = forms::caseVariants(word);
    if (!variants.isEmpty()) groups.append({variants, FormSource::Case, false});
    const std::shared_ptr<HunspellStemmer> hunspell = stemmer();
    if (!english_ && !hunspell) return groups;  // no base forms without a dictionary of the language
    for (const QString& variant : QStringList{word} + variants) {
      const QString lower = variant.toLower();
      if (english_) {
        if (const std::optional<QStringList> irregular = forms::irregularBases(lower)) {
          groups.append({*irregular, FormSource::Irregular, false});
          continue;
        }
      }
      QStringList stems;
      if (hunspell) {
        for (const QString& stem : hunspell->stems(variant)) {
          if (stem.compare(variant, Qt::CaseInsensitive) == 0) continue;
          if (english_ && !forms::plausibleEnglishStem(variant, stem)) continue;
          stems.append(stem);
        }
      }
      if (!stems.isEmpty()) groups.append({stems, FormSource::Hunspell, false});
      // The rules only guess where Hunspell offers no base of its own.
      else if (english_) groups.append({forms::ruleBases(lower), FormSource::Rule, true});
    }
    return groups;
  }

  Lookup baseFormsOf(const QString& word) const {
    Lookup result;
    QSet<QString> tried;
    QStringList texts;
    auto use = [&](const QString& form, FormSource source) {
      const QString folded = form.toLower();
      if (tried.contains(folded)) return false;
      tried.insert(folded);
      std::optional<QString> text = inner_->define(form);
      if (!text || text->isEmpty()) return false;
      if (!texts.contains(*text)) {
        texts.append(*text);
        result.headwords.append(form);
        result.sources.append(source);
      }
      return true;
    };
    tried.insert(word.toLower());
    for (const Group& group : candidates(word)) {
      for (const QString& form : group.forms) {
        bool found = use(form, group.source);
        if (!found) {
          for (const QString& alternative : accentAlternatives(form)) found = use(alternative, FormSource::Accent) || found;
        }
        if (found && group.firstOnly) break;
      }
    }
    for (const QString& alternative : accentAlternatives(word)) use(alternative, FormSource::Accent);
    if (!texts.isEmpty()) result.definition = texts.join(QLatin1String("\n\n"));
    return result;
  }

  std::unique_ptr<Dictionary> inner_;
  QString language_;
  bool english_;
  mutable std::mutex prepareMutex_;
  mutable std::shared_future<void> prepared_;  // sets the two below
  mutable std::shared_ptr<HunspellStemmer> stemmer_;
  mutable QHash<QString, QStringList> accented_;
  mutable std::mutex cacheMutex_;
  mutable QHash<QString, Lookup> misses_;
};

}  // namespace

std::unique_ptr<Dictionary> withBaseForms(std::unique_ptr<Dictionary> dictionary, const QString& language) {
  if (!dictionary) return nullptr;
  return std::make_unique<BaseFormDictionary>(std::move(dictionary), language);
}

void prepareBaseForms(const Dictionary& dictionary) {
  if (const auto* wrapped = dynamic_cast<const BaseFormDictionary*>(&dictionary)) wrapped->prepare(true);
}

bool baseFormsPrepared(const Dictionary& dictionary) {
  const auto* wrapped = dynamic_cast<const BaseFormDictionary*>(&dictionary);
  return !wrapped || wrapped->prepared();
}

Lookup lookUp(const Dictionary& dictionary, QStringView word, bool baseForms) {
  if (const auto* wrapped = dynamic_cast<const BaseFormDictionary*>(&dictionary)) return wrapped->lookUp(word, baseForms);
  Lookup result;
  result.definition = dictionary.define(word);
  if (result.definition) {
    result.headwords.append(word.toString());
    result.sources.append(FormSource::Exact);
  }
  return result;
}

QString languageFromMetadata(const QString& dictionaryFile) {
  auto normalised = [](QString tag) {
    tag = tag.trimmed().toLower();
    static const QRegularExpression code(QStringLiteral("^[a-z]{2,3}$"));
    if (!code.match(tag).hasMatch()) return QString();
    if (tag.size() == 3) {  // ISO 639-2/3 to the two-letter code where there is one
      const QLocale::Language language = QLocale::codeToLanguage(tag, QLocale::AnyLanguageCode);
      if (language == QLocale::AnyLanguage || language == QLocale::C) return QString();
      const QString two = QLocale::languageToCode(language, QLocale::ISO639Part1);
      return two.isEmpty() ? tag : two;
    }
    return tag;
  };
  const QString english = QStringLiteral("en");
  if (dictionaryFile.endsWith(QLatin1String(".ifo"))) {
    // A regular file only: a FIFO in its place must not block the import.
    const std::optional<QByteArray> head = safefile::readRegular(dictionaryFile, 1 << 20, nullptr);
    if (!head) return english;
    for (const QByteArray& line : head->split('\n')) {
      if (!line.startsWith("lang=")) continue;
      const QString value = QString::fromUtf8(line.mid(5)).trimmed();
      static const QRegularExpression separators(QStringLiteral("[-_,>:/ ]"));
      const QString tag = normalised(value.section(separators, 0, 0));
      return tag.isEmpty() ? english : tag;
    }
    return english;
  }
  static const QRegularExpression pair(QStringLiteral("^(?:freedict-)?([a-z]{3})-([a-z]{3})$"));
  const QRegularExpressionMatch match = pair.match(QFileInfo(dictionaryFile).completeBaseName());
  if (match.hasMatch()) {
    const QString tag = normalised(match.captured(1));
    if (!tag.isEmpty()) return tag;
  }
  return english;
}

}  // namespace dictionary
