// SPDX-License-Identifier: GPL-3.0-or-later
#include "dictionary/Hunspell.h"

#include <hunspell/hunspell.hxx>
#include <unicode/ucnv.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLocale>

namespace dictionary {

std::atomic<quint64> HunspellStemmer::calls_{0};

namespace {

QStringList searchFolders() {
  const QString fromEnvironment = qEnvironmentVariable("DICPATH");
  if (!fromEnvironment.isNull()) return fromEnvironment.split(QLatin1Char(':'), Qt::SkipEmptyParts);
  return {QStringLiteral("/usr/share/hunspell"), QStringLiteral("/usr/share/myspell/dicts"),
          QStringLiteral("/usr/share/myspell")};
}

// Names to try for a language tag, most fitting first: the tag with its region, the
// language's usual region, the bare language, then any region of it.
QStringList candidateNames(const QString& language) {
  QString tag = language.trimmed();
  tag.replace(QLatin1Char('-'), QLatin1Char('_'));
  const QString base = tag.section(QLatin1Char('_'), 0, 0).toLower();
  if (base.isEmpty() || base.size() > 8) return {};
  for (const QChar c : base) {
    if (c < u'a' || c > u'z') return {};
  }
  QStringList names;
  // The tag comes from a dictionary's Info.plist: only letters and digits reach a file name.
  const QString region = tag.section(QLatin1Char('_'), 1, 1).toUpper();
  bool plainRegion = !region.isEmpty() && region.size() <= 8;
  for (const QChar c : region) plainRegion = plainRegion && ((c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9'));
  if (plainRegion) names.append(base + QLatin1Char('_') + region);
  const QLocale locale(base);
  if (locale.language() != QLocale::C && locale.name().startsWith(base + QLatin1Char('_'))) names.append(locale.name());
  names.append(base);
  return names;
}

std::mutex cacheMutex;

}  // namespace

QString HunspellStemmer::affixFileFor(const QString& language) {
  const QStringList names = candidateNames(language);
  if (names.isEmpty()) return QString();
  const QStringList folders = searchFolders();
  auto pair = [](const QString& folder, const QString& name) {
    const QString aff = folder + QLatin1Char('/') + name + QStringLiteral(".aff");
    return QFileInfo(aff).isFile() && QFileInfo(folder + QLatin1Char('/') + name + QStringLiteral(".dic")).isFile() ? aff : QString();
  };
  for (const QString& name : names) {
    for (const QString& folder : folders) {
      if (QString aff = pair(folder, name); !aff.isEmpty()) return aff;
    }
  }
  const QString base = names.last();
  for (const QString& folder : folders) {
    const QStringList regional = QDir(folder).entryList({base + QStringLiteral("_*.aff")}, QDir::Files, QDir::Name);
    for (const QString& file : regional) {
      if (QString aff = pair(folder, file.chopped(4)); !aff.isEmpty()) return aff;
    }
  }
  return QString();
}

std::shared_ptr<HunspellStemmer> HunspellStemmer::forLanguage(const QString& language) {
  const QString aff = affixFileFor(language);
  if (aff.isEmpty()) return nullptr;
  std::lock_guard lock(cacheMutex);
  // Kept to the end of the process and never freed: freeing a loaded dictionary's many small
  // allocations at exit costs a command-line run several milliseconds for nothing.
  static auto& loaded = *new QHash<QString, std::shared_ptr<HunspellStemmer>>;
  if (auto found = loaded.constFind(aff); found != loaded.constEnd()) return *found;
  const QByteArray affPath = QFile::encodeName(aff);
  const QByteArray dicPath = QFile::encodeName(aff.chopped(4) + QStringLiteral(".dic"));
  std::shared_ptr<HunspellStemmer> stemmer(new HunspellStemmer);
  stemmer->hunspell_ = std::make_unique<Hunspell>(affPath.constData(), dicPath.constData());
  const QString encoding = QString::fromStdString(stemmer->hunspell_->get_dict_encoding()).trimmed();
  if (encoding.compare(QLatin1String("UTF-8"), Qt::CaseInsensitive) != 0) {
    UErrorCode status = U_ZERO_ERROR;
    UConverter* converter = ucnv_open(encoding.toLatin1().constData(), &status);
    if (U_FAILURE(status) || !converter) {
      loaded.insert(aff, nullptr);  // a charset we cannot convert: no stems rather than wrong ones
      return nullptr;
    }
    ucnv_close(converter);
    stemmer->encoding_ = encoding;
  }
  loaded.insert(aff, stemmer);
  return stemmer;
}

HunspellStemmer::~HunspellStemmer() = default;

bool HunspellStemmer::accepts(QStringView word) {
  if (word.isEmpty() || word.size() > kMaxWordLength) return false;
  bool first = true;
  for (qsizetype i = 0; i < word.size(); ++i) {
    char32_t c = word[i].unicode();
    if (QChar::isHighSurrogate(c)) {
      if (i + 1 == word.size() || !word[i + 1].isLowSurrogate()) return false;
      c = QChar::surrogateToUcs4(word[i], word[i + 1]);
      ++i;
    } else if (QChar::isLowSurrogate(c)) {
      return false;
    }
    const bool letter = QChar::isLetter(c);
    if (first ? !letter : !(letter || QChar::isMark(c))) return false;
    first = false;
  }
  return true;
}

bool HunspellStemmer::encode(QStringView word, std::string* out) const {
  if (encoding_.isEmpty()) {
    *out = word.toUtf8().toStdString();
    return true;
  }
  UErrorCode status = U_ZERO_ERROR;
  UConverter* converter = ucnv_open(encoding_.toLatin1().constData(), &status);
  if (U_FAILURE(status)) return false;
  // A character the charset lacks makes the conversion fail instead of becoming '?'.
  ucnv_setFromUCallBack(converter, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
  char buffer[4 * kMaxWordLength + 8];
  const int32_t length = ucnv_fromUChars(converter, buffer, sizeof buffer, reinterpret_cast<const UChar*>(word.utf16()),
                                         int32_t(word.size()), &status);
  ucnv_close(converter);
  if (U_FAILURE(status) || status == U_STRING_NOT_TERMINATED_WARNING) return false;
  out->assign(buffer, std::size_t(length));
  return true;
}

QString HunspellStemmer::decode(const std::string& bytes) const {
  if (encoding_.isEmpty()) return QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
  UErrorCode status = U_ZERO_ERROR;
  UConverter* converter = ucnv_open(encoding_.toLatin1().constData(), &status);
  if (U_FAILURE(status)) return QString();
  QString text(qsizetype(bytes.size()) * 2 + 4, Qt::Uninitialized);
  const int32_t length = ucnv_toUChars(converter, reinterpret_cast<UChar*>(text.data()), int32_t(text.size()),
                                       bytes.data(), int32_t(bytes.size()), &status);
  ucnv_close(converter);
  if (U_FAILURE(status)) return QString();
  text.truncate(length);
  return text;
}

bool HunspellStemmer::knows(QStringView word) const {
  std::string bytes;
  if (!accepts(word) || !encode(word, &bytes)) return false;
  std::lock_guard lock(mutex_);
  ++calls_;
  return hunspell_->spell(bytes);
}

QStringList HunspellStemmer::stems(QStringView word) const {
  std::string bytes;
  if (!accepts(word) || !encode(word, &bytes)) return {};
  std::vector<std::string> stems, analyses;
  {
    std::lock_guard lock(mutex_);
    ++calls_;
    // Hunspell's stems are those of its analyses: analysing once serves both.
    analyses = hunspell_->analyze(bytes);
    stems = hunspell_->stem(analyses);
  }
  QStringList found;
  auto add = [&](const std::string& stem) {
    const QString text = decode(stem);
    if (!text.isEmpty() && !found.contains(text)) found.append(text);
  };
  for (const std::string& stem : stems) add(stem);
  // An analysis is a list of "field:value" items; "st:" names a stem.
  for (const std::string& analysis : analyses) {
    for (std::size_t at = analysis.find("st:"); at != std::string::npos; at = analysis.find("st:", at + 3)) {
      if (at > 0 && analysis[at - 1] != ' ' && analysis[at - 1] != '\t') continue;
      const std::size_t end = analysis.find_first_of(" \t", at + 3);
      add(analysis.substr(at + 3, end == std::string::npos ? std::string::npos : end - at - 3));
    }
  }
  return found;
}

}  // namespace dictionary
