// The controller's start-up, set-up and shut-down sequences and its preferences.
#include <QFont>
#include <QLabel>
#include <QMainWindow>
#include <QPlainTextEdit>

#include "app/LexoraAppDelegate.h"
#include "platform/cocoa/Application.h"
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

}  // namespace

LexoraAppDelegate::LexoraAppDelegate(QObject* parent) : QObject(parent) {}
LexoraAppDelegate::~LexoraAppDelegate() = default;

void LexoraAppDelegate::setStatus(const QString& text) {
  if (statusTextField) statusTextField->setText(text);
}

void LexoraAppDelegate::awakeFromNib() {
  setStatus(QString());
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
    for (const QVariant& entry : saved.toList()) recentWords.append(entry.toString());
  }
  setup();
  Application::shared().setServicesProvider(this);
}

void LexoraAppDelegate::applicationWillTerminate(QObject*) {
  UserDefaults& defaults = UserDefaults::standardUserDefaults();
  if (query_textView) defaults.setObject(query_textView->toPlainText(), QStringLiteral("lastQuery"));
  defaults.setObject(QVariant(recentWords), QStringLiteral("SavedRecentWords"));
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
