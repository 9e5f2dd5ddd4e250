// SPDX-License-Identifier: GPL-3.0-or-later
// The controller's start-up, set-up and shut-down sequences and its preferences.
#include <QCoreApplication>
#include <QFont>
#include <QLabel>
#include <QMainWindow>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QTextBoundaryFinder>

#include "app/LexoraAppDelegate.h"
#include "app/core/MultiWordLookup.h"
#include "platform/cocoa/Application.h"
#include "platform/cocoa/Bundle.h"
#include "platform/cocoa/PopUpButton.h"
#include "platform/cocoa/UserDefaults.h"

namespace {

bool boolPreference(const char* key, bool whenAbsent) {
  const QVariant value = UserDefaults::standardUserDefaults().objectForKey(QString::fromLatin1(key));
  return value.isValid() ? UserDefaults::boolValue(value) : whenAbsent;
}

QTextCharFormat textAttributes(const QString& family, bool bold, const QColor& colour) {
  QFont font(family);
  font.setPointSizeF(12.0);
  font.setBold(bold);
  QTextCharFormat format;
  format.setFont(font);
  format.setForeground(colour);
  return format;
}

// Kept beside the application's own keys, under names of their own; the interface restores
// the window's geometry from the first.
const QString kWindowGeometryKey = QStringLiteral("VocabulonMainWindowGeometry");
const QString kSplitterStateKey = QStringLiteral("VocabulonMainWindowSplitter");

QSplitter* mainSplitter(QMainWindow* window) {
  return window ? window->findChild<QSplitter*>(QStringLiteral("splitter")) : nullptr;
}

}  // namespace

QString LexoraAppDelegate::shortenedForStorage(const QString& text, qsizetype maximumLength) {
  if (text.size() <= maximumLength) return text;
  if (maximumLength <= 1) return QString();
  const qsizetype room = maximumLength - 1;  // the ellipsis takes one unit
  QTextBoundaryFinder words(QTextBoundaryFinder::Word, text);
  words.setPosition(room);
  qsizetype cut = -1;
  // The last end of a word inside the room, when it keeps at least half of it.
  for (qsizetype at = words.isAtBoundary() ? room : words.toPreviousBoundary(); at > room / 2;
       at = words.toPreviousBoundary()) {
    if (words.boundaryReasons() & QTextBoundaryFinder::EndOfItem) {
      cut = at;
      break;
    }
  }
  if (cut < 0) {
    // One long run without a word's end: cut between characters, never inside one.
    QTextBoundaryFinder characters(QTextBoundaryFinder::Grapheme, text);
    characters.setPosition(room);
    cut = characters.isAtBoundary() ? room : characters.toPreviousBoundary();
    if (cut < 0) cut = 0;
  }
  return text.left(cut) + QChar(0x2026);
}

bool LexoraAppDelegate::boundRecentWords() {
  QStringList bounded;
  for (const QString& entry : std::as_const(recentWords)) {
    const QString kept = shortenedForStorage(entry, kMaximumRecentEntryLength);
    if (!ArrayContainsStringIgnoringCase(bounded, kept)) bounded.append(kept);
  }
  // The oldest go first.
  if (bounded.size() > kMaximumRecentEntries) bounded.remove(0, bounded.size() - kMaximumRecentEntries);
  if (bounded == recentWords) return false;
  recentWords = bounded;
  return true;
}

LexoraAppDelegate::LexoraAppDelegate(QObject* parent) : QObject(parent) {}
LexoraAppDelegate::~LexoraAppDelegate() = default;

void LexoraAppDelegate::setStatus(const QString& text) {
  if (statusTextField) statusTextField->setText(text);
}

void LexoraAppDelegate::awakeFromNib() {
  // The status line shows queries and file names as they are, never as markup.
  if (statusTextField) statusTextField->setTextFormat(Qt::PlainText);
  setStatus(QString());
  if (QSplitter* splitter = mainSplitter(window_)) {
    const QVariant state = UserDefaults::standardUserDefaults().objectForKey(kSplitterStateKey);
    if (state.typeId() == QMetaType::QByteArray) splitter->restoreState(state.toByteArray());
  }
  watchQueryViewEditing();
  recentMenu = recentPopUpButton ? recentPopUpButton->menu() : nullptr;
  dictionariesMenu = dictionariesPopUpButton ? dictionariesPopUpButton->menu() : nullptr;
  theQueryString = QString();
  if (result_textView) typingAttributes_ = result_textView->currentCharFormat();
  if (rememberQuery()) {
    const QVariant lastQuery = UserDefaults::standardUserDefaults().objectForKey(QStringLiteral("lastQuery"));
    if (lastQuery.isValid() && query_textView) query_textView->setPlainText(lastQuery.toString());
  }
}

void LexoraAppDelegate::applicationDidFinishLaunching(QObject*) {
  workflowURL = QUrl();
  dictionaryNames.clear();
  dictionaryNames.reserve(50);
  // Helvetica is found through fontconfig's metric-compatible substitutes on Linux.
  boldAttributes = textAttributes(QStringLiteral("Helvetica"), true, Qt::blue);
  regularAttributes = textAttributes(QStringLiteral("Helvetica"), false, Qt::black);
  recentWords.clear();
  recentWords.reserve(50);
  const QVariant saved = UserDefaults::standardUserDefaults().objectForKey(QStringLiteral("SavedRecentWords"));
  if (saved.isValid()) {
    // A stored item that is not a string would be an entry without a title: it is left out.
    for (const QVariant& entry : saved.toList())
      if (entry.typeId() == QMetaType::QString) recentWords.append(entry.toString());
  }
  boundRecentWords();
  setup();
  Application::shared().setServicesProvider(this);
}

void LexoraAppDelegate::applicationWillTerminate(QObject*) {
  UserDefaults& defaults = UserDefaults::standardUserDefaults();
  if (query_textView)
    defaults.setObject(shortenedForStorage(query_textView->toPlainText(), kMaximumStoredQueryLength),
                       QStringLiteral("lastQuery"));
  boundRecentWords();
  defaults.setObject(QVariant(recentWords), QStringLiteral("SavedRecentWords"));
  // Every way out passes here (the Quit item, Ctrl+Q, closing the window, a session's SIGTERM),
  // so the window's size and its division are kept whichever one was taken.
  if (window_) defaults.setObject(window_->saveGeometry(), kWindowGeometryKey);
  if (QSplitter* splitter = mainSplitter(window_)) defaults.setObject(splitter->saveState(), kSplitterStateKey);
}

void LexoraAppDelegate::orderFrontStandardAboutPanel(QObject*) {
  const Bundle bundle = Bundle::main();
  QString version = bundle.objectForInfoDictionaryKey(QStringLiteral("CFBundleShortVersionString")).toString();
  if (version.isEmpty()) version = QCoreApplication::applicationVersion();
  auto* about = new QMessageBox(window_);
  about->setAttribute(Qt::WA_DeleteOnClose);
  about->setObjectName(QStringLiteral("aboutPanel"));
  about->setWindowTitle(QStringLiteral("About Vocabulon"));
  about->setIcon(QMessageBox::Information);
  about->setTextFormat(Qt::PlainText);
  about->setText(QStringLiteral("Vocabulon %1").arg(version));
  about->setInformativeText(QStringLiteral(
      "Looks up the definitions of many words at once in the dictionaries installed on this computer.\n\n"
      "Licence: GNU General Public License, version 3 or later (GPL-3.0-or-later). "
      "Vocabulon comes with no warranty."));
  about->setStandardButtons(QMessageBox::Close);
  about->setModal(false);
  about->show();
}

void LexoraAppDelegate::setup() {
  setStatus(QStringLiteral("Setting up\u2026"));
  UserDefaults::standardUserDefaults().synchronize();
  buildRecentMenu();
  buildDictionaryMenu();
  buildWorkflow();
  if (window_) Application::orderFront(window_);
  setStatus(QString());
  if (!lookupOnlyWhenDefineIsClicked()) buttonClicked(this);
}

bool LexoraAppDelegate::resetTextView() const { return boolPreference("resetWindowOnLookup", true); }
bool LexoraAppDelegate::rememberQuery() const { return boolPreference("rememberQuery", true); }
bool LexoraAppDelegate::lookupOnlyWhenDefineIsClicked() const {
  return boolPreference("lookupOnlyWhenDefineIsClicked", false);
}
bool LexoraAppDelegate::sortResultsLikeTheFinder() const {
  return boolPreference("sortResultsLikeTheFinder", false);
}
bool LexoraAppDelegate::includeRemoveSubmenusInRecentMenu() const {
  return boolPreference("includeRemoveSubmenusInRecentMenu", false);
}
bool LexoraAppDelegate::lookUpEachWordOnlyOnce() const { return boolPreference("lookUpEachWordOnlyOnce", false); }

void LexoraAppDelegate::preferencesItemChanged(QObject* sender) {
  if (sender && sender == includeRemoveSubmenusInRecentMenuButton.data()) buildRecentMenu();
}
