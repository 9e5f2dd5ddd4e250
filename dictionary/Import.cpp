// SPDX-License-Identifier: GPL-3.0-or-later
#include "dictionary/Import.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryDir>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "dictionary/Bundle.h"
#include "dictionary/DictdDictionary.h"
#include "dictionary/Dictionary.h"
#include "dictionary/StarDictDictionary.h"
#include "dictionary/WordForms.h"

namespace dictionary {
namespace {

bool isDictionaryFile(const QString& name) {
  return name.endsWith(QLatin1String(".index")) || name.endsWith(QLatin1String(".ifo"));
}

// The dictionaries in a folder and in its subfolders (one level down). Special files of those
// names (a FIFO, a device) are listed too, to be refused with a reason rather than skipped.
QStringList dictionariesIn(const QString& folder) {
  QStringList found;
  const QDir dir(folder);
  const QStringList filters{QStringLiteral("*.index"), QStringLiteral("*.ifo")};
  const QDir::Filters files = QDir::Files | QDir::System;
  for (const QFileInfo& file : dir.entryInfoList(filters, files, QDir::Name)) found.append(file.absoluteFilePath());
  for (const QFileInfo& sub : dir.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
    for (const QFileInfo& file : QDir(sub.absoluteFilePath()).entryInfoList(filters, files, QDir::Name)) {
      found.append(file.absoluteFilePath());
    }
  }
  return found;
}

QString describe(const char* what, const QString& path) { return QStringLiteral("%1: %2").arg(QLatin1String(what), path); }

constexpr char kBuildingPrefix[] = ".import-";

// The folder being built, for the signal handlers: a bundle interrupted by Ctrl-C or a kill
// goes with the process instead of staying behind as a hidden folder.
char buildingPath[PATH_MAX];
volatile sig_atomic_t buildingArmed = 0;

// Empties and removes a folder of files with async-signal-safe calls only. Enough for a
// folder being built: it holds links and files, never folders.
void removeFolderFromSignal(const char* path) {
  const int folder = ::open(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (folder < 0) return;
  alignas(8) char buffer[4096];
  // Names removed while the folder is read may make it skip others: read it again until a
  // pass removes nothing.
  for (int pass = 0; pass < 64; ++pass) {
    ::lseek(folder, 0, SEEK_SET);
    bool removed = false;
    for (;;) {
      const long got = ::syscall(SYS_getdents64, folder, buffer, sizeof buffer);
      if (got <= 0) break;
      for (long at = 0; at < got;) {
        const auto* entry = reinterpret_cast<const struct dirent64*>(buffer + at);
        at += entry->d_reclen;
        const char* name = entry->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
        if (::unlinkat(folder, name, 0) == 0 || (errno == EISDIR && ::unlinkat(folder, name, AT_REMOVEDIR) == 0)) {
          removed = true;
        }
      }
    }
    if (!removed) break;
  }
  ::close(folder);
  ::rmdir(path);
}

void onInterrupt(int signal) {
  if (buildingArmed) removeFolderFromSignal(buildingPath);
  // Then end as the signal would have ended the process.
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

// Installs the handlers for the time an import runs, and puts the old ones back.
class InterruptCleanup {
 public:
  InterruptCleanup() {
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    for (int i = 0; i < 3; ++i) {
      sigaction(kSignals[i], nullptr, &previous_[i]);
      // A signal ignored by whoever started us stays ignored (nohup, background jobs).
      if (previous_[i].sa_handler != SIG_IGN) sigaction(kSignals[i], &action, nullptr);
    }
  }
  ~InterruptCleanup() {
    for (int i = 0; i < 3; ++i) sigaction(kSignals[i], &previous_[i], nullptr);
  }

  static void arm(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    buildingArmed = 0;
    if (name.size() >= qsizetype(sizeof buildingPath)) return;
    std::memcpy(buildingPath, name.constData(), std::size_t(name.size()) + 1);
    buildingArmed = 1;
  }
  static void disarm() { buildingArmed = 0; }

 private:
  static constexpr int kSignals[3] = {SIGINT, SIGTERM, SIGHUP};
  struct sigaction previous_[3];
};

// A folder being built is locked by its importer for as long as it works in it; a folder
// whose lock can be taken was left by an import that was killed.
int lockFolder(const QString& path) {
  const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

void sweepAbandonedFolders(const QString& destination) {
  const QDir dir(destination);
  const QStringList names = dir.entryList({QLatin1String(kBuildingPrefix) + QLatin1Char('*')},
                                          QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot | QDir::NoSymLinks);
  for (const QString& name : names) {
    const QString path = dir.filePath(name);
    const int lock = lockFolder(path);
    if (lock < 0) continue;  // another import is at work in it
    QDir(path).removeRecursively();
    ::close(lock);
  }
}

class Importer {
 public:
  explicit Importer(const QString& destination) : destination_(QDir(destination).absolutePath()) {
    sweepAbandonedFolders(destination_);
  }

  void importPath(const QString& path, bool given) {
    const QFileInfo info(path);
    if (info.isDir()) {
      const QStringList found = dictionariesIn(path);
      if (found.isEmpty() && given) results_.append({path, {}, QStringLiteral("no dictd .index or StarDict .ifo in this folder")});
      for (const QString& file : found) importOne(file);
    } else if (!info.exists()) {
      if (given) results_.append({path, {}, QStringLiteral("no such file or folder")});
    } else if (!isDictionaryFile(path)) {
      results_.append({path, {}, QStringLiteral("not a dictd .index or StarDict .ifo")});
    } else {
      importOne(info.absoluteFilePath());
    }
  }

  QList<ImportResult> results() const { return results_; }

 private:
  void importOne(const QString& source) {
    const QString canonical = QFileInfo(source).canonicalFilePath();
    if (seen_.contains(canonical)) return;
    seen_.insert(canonical);
    ImportResult result{source, {}, {}};
    if (!build(source, &result)) result.bundlePath.clear();
    results_.append(result);
  }

  bool build(const QString& source, ImportResult* result) {
    // Read the dictionary first: an unreadable one gets no bundle at all.
    QStringList files;
    QString format, shortName, error, dataFile;
    if (source.endsWith(QLatin1String(".index"))) {
      const QString data = DictdDictionary::dataPathFor(source);
      auto dictionary = DictdDictionary::open(source, data, &error);
      if (!dictionary) return fail(result, error);
      files = {source, data};
      dataFile = data;
      format = QLatin1String(kDictdFormat);
      shortName = dictionary->shortName();
    } else {
      const StarDictFiles found = StarDictDictionary::filesFor(source);
      auto dictionary = StarDictDictionary::open(found, &error);
      if (!dictionary) return fail(result, error);
      files = {found.ifo, found.idx, found.dict};
      dataFile = found.dict;
      if (!found.syn.isEmpty()) files.append(found.syn);
      format = QLatin1String(kStarDictFormat);
      shortName = dictionary->shortName();
    }

    const QString baseName = safeBundleName(shortName, QFileInfo(source).completeBaseName());
    QString name = baseName;
    // Two different dictionaries with one name in one import each get a bundle.
    for (int n = 2; usedNames_.contains(name); ++n) name = baseName + QStringLiteral(" %1").arg(n);
    usedNames_.insert(name);

    if (!QDir().mkpath(destination_)) return fail(result, describe("cannot create", destination_));
    QTemporaryDir building(destination_ + QLatin1Char('/') + QLatin1String(kBuildingPrefix) + QStringLiteral("XXXXXX"));
    if (!building.isValid()) return fail(result, QStringLiteral("cannot create a folder in %1: %2").arg(destination_, building.errorString()));
    InterruptCleanup::arm(building.path());
    const int lock = lockFolder(building.path());
    struct Release {
      int lock;
      ~Release() {
        InterruptCleanup::disarm();
        if (lock >= 0) ::close(lock);
      }
    } release{lock};
    QFile::setPermissions(building.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                                               QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
    BundleInfo info{shortName, format, {}};
    info.language = languageFromMetadata(source);
    for (const QString& file : files) {
      const QFileInfo fileInfo(file);
      const QString link = building.path() + QLatin1Char('/') + fileInfo.fileName();
      // Links keep the package's own path (it may be a link the package manager switches),
      // except into the destination itself, whose bundles this import may replace.
      QString target = fileInfo.absoluteFilePath();
      if (target.startsWith(destination_ + QLatin1Char('/'))) target = fileInfo.canonicalFilePath();
      if (!QFile::link(target, link)) return fail(result, describe("cannot link", link));
      info.files.append(fileInfo.fileName());
    }
    // Compressed data gets an uncompressed copy, so that lookups never inflate; the bundle
    // works without it (it only costs speed), so a copy that cannot be made is left out.
    const QString dataName = QFileInfo(dataFile).fileName();
    if (dataName.endsWith(QLatin1String(".dict.dz"))) {
      bool refused = false;
      info.prepared = writePreparedData(building.path(), dataName, &error, &refused);
      if (refused) return fail(result, error);
      if (!info.prepared && !error.isEmpty()) {
        result->notes.append(QStringLiteral("%1; lookups read the compressed data").arg(error.replace(building.path(), destination_)));
      }
      error.clear();
    }
    if (format == QLatin1String(kDictdFormat)) {
      info.preparedIndex = writePreparedIndex(building.path(), QFileInfo(source).fileName(), dataName);
    }
    if (!writeBundleInfo(building.path(), info, &error)) return fail(result, error);
    if (!openBundle(building.path(), &error)) return fail(result, error);  // never leave a bundle that does not open

    const QString finalPath = destination_ + QLatin1Char('/') + name + QLatin1String(kBundleExtension);
    if (!replaceBundle(building.path(), finalPath, &error)) return fail(result, error);
    building.setAutoRemove(false);
    result->bundlePath = finalPath;
    return true;
  }

  static bool fail(ImportResult* result, const QString& error) {
    result->error = error.isEmpty() ? QStringLiteral("unreadable") : error;
    return false;
  }

  QString destination_;
  QList<ImportResult> results_;
  QSet<QString> seen_;
  QSet<QString> usedNames_;
};

}  // namespace

QStringList standardDictionaryPlaces() {
  return {QStringLiteral("/usr/share/dictd"), QStringLiteral("/usr/share/stardict/dic"),
          QDir::homePath() + QStringLiteral("/.stardict/dic")};
}

QString safeBundleName(const QString& name, const QString& fallback) {
  QString safe;
  safe.reserve(name.size());
  for (const QChar c : name) {
    if (c == u'/') safe += u'-';
    else if (c.category() == QChar::Other_Control || c == u'\0') safe += u' ';
    else safe += c;
  }
  safe = safe.trimmed();
  while (safe.startsWith(u'.')) safe = safe.mid(1).trimmed();
  if (safe.size() > kMaxBundleNameLength) {
    qsizetype cut = kMaxBundleNameLength;
    if (safe.at(cut - 1).isHighSurrogate()) --cut;  // never split a character
    safe = safe.left(cut).trimmed();
  }
  if (!safe.isEmpty()) return safe;
  if (!fallback.isEmpty()) return safeBundleName(fallback, QString());
  return QStringLiteral("Dictionary");
}

bool replaceBundle(const QString& builtPath, const QString& finalPath, QString* error) {
  const QByteArray built = QFile::encodeName(builtPath);
  const QByteArray target = QFile::encodeName(finalPath);
  auto fail = [&](const char* what) {
    if (error) *error = QStringLiteral("cannot %1 %2: %3").arg(QLatin1String(what), finalPath, QString::fromLocal8Bit(std::strerror(errno)));
    return false;
  };
  if (!QFileInfo(finalPath).exists() && !QFileInfo(finalPath).isSymLink()) {
    if (::rename(built.constData(), target.constData()) == 0) return true;
    if (errno != EEXIST && errno != ENOTEMPTY) return fail("create");
  }
  // Swap the new bundle and the old one in one step; the old one then sits in the
  // temporary place and goes.
  if (::renameat2(AT_FDCWD, built.constData(), AT_FDCWD, target.constData(), RENAME_EXCHANGE) == 0) {
    QFileInfo old(builtPath);
    if (old.isDir() && !old.isSymLink()) QDir(builtPath).removeRecursively();
    else QFile::remove(builtPath);
    return true;
  }
  if (errno != EINVAL && errno != ENOSYS) return fail("replace");
  // No atomic exchange on this file system: move the old bundle aside first.
  const QString aside = builtPath + QStringLiteral(".old");
  if (::rename(target.constData(), QFile::encodeName(aside).constData()) != 0) return fail("move aside");
  if (::rename(built.constData(), target.constData()) != 0) {
    const int saved = errno;
    ::rename(QFile::encodeName(aside).constData(), target.constData());
    errno = saved;
    return fail("replace");
  }
  QDir(aside).removeRecursively();
  QFile::remove(aside);
  return true;
}

QList<ImportResult> importDictionaries(const QStringList& paths, const QString& destinationFolder,
                                       const QStringList& standardPlaces) {
  InterruptCleanup cleanup;
  Importer importer(destinationFolder);
  if (paths.isEmpty()) {
    for (const QString& place : standardPlaces) importer.importPath(place, false);
  } else {
    for (const QString& path : paths) importer.importPath(path, true);
  }
  return importer.results();
}

QList<ImportResult> importDictionaries(const QStringList& paths, const QString& destinationFolder) {
  return importDictionaries(paths, destinationFolder, standardDictionaryPlaces());
}

QList<ImportResult> importDictionaries(const QString& destinationFolder) {
  return importDictionaries({}, destinationFolder, standardDictionaryPlaces());
}

}  // namespace dictionary
