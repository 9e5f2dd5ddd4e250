// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The application controller: holds the application's state and receives every action of
// its interface. Its methods are spread over one source per concern:
//   ApplicationController.cpp  start-up, set-up, shut-down, preferences
//   MultiWordLookup.cpp        the lookup (buttonClicked, getDefinitionOfWord)
//   LookupWorkflowBuilder.cpp  the generated lookup workflow (buildWorkflow)
//   DictionaryMenu.cpp         the dictionary pop-up menu
//   RecentMenu.cpp             the recent-queries pop-up menu
//   QueryEntry.cpp             leaving the query view, the Services request
//   ResultExport.cpp           copying and saving the results
//   OnlineLookup.cpp           the web window and the product's web links
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QUrl>
#include <QVariant>

#include <QAbstractButton>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QPlainTextEdit>
#include <functional>
#if VOCABULON_WEB
#include <QWebEngineView>
#else
class QWebEngineView;  // built without Qt WebEngine: online lookups open in the browser
Q_DECLARE_OPAQUE_POINTER(QWebEngineView*)
#endif

#include "platform/cocoa/PopUpButton.h"
#include "platform/cocoa/ProgressIndicator.h"

class Pasteboard;

class LexoraAppDelegate : public QObject {
  Q_OBJECT

 public:
  explicit LexoraAppDelegate(QObject* parent = nullptr);
  ~LexoraAppDelegate() override;

  QMainWindow* window() const { return window_; }
  void setWindow(QMainWindow* window) { window_ = window; }

  // Lifecycle, sent by the application object.
  Q_INVOKABLE void awakeFromNib();
  Q_INVOKABLE void applicationDidFinishLaunching(QObject* notification);
  Q_INVOKABLE void applicationWillTerminate(QObject* notification);
  void setup();

  // Preferences, read afresh at every call.
  bool resetTextView() const;
  bool rememberQuery() const;
  bool lookupOnlyWhenDefineIsClicked() const;
  bool sortResultsLikeTheFinder() const;
  bool includeRemoveSubmenusInRecentMenu() const;
  // "lookUpEachWordOnlyOnce": a word repeated in the query gets one block. Off when absent.
  bool lookUpEachWordOnlyOnce() const;
  Q_INVOKABLE void preferencesItemChanged(QObject* sender);

  // The lookup.
  Q_INVOKABLE void buttonClicked(QObject* sender);
  QVariant getDefinitionOfWord(const QString& word);
  // Ends the running lookup after the current word, and drops the lookups waiting for it; the
  // blocks written so far stay.
  Q_INVOKABLE void stopLookup(QObject* sender);
  bool isLookingUp() const;

  // The workflow.
  void buildWorkflow();

  // The dictionary menu.
  void buildDictionaryMenu();
  Q_INVOKABLE void selItemDictionaryNamesMenu(QObject* sender);
  QString selectedDictionaryName() const;

  // The recent-queries menu.
  void buildRecentMenu();
  Q_INVOKABLE void selItemRecentMenu(QObject* sender);
  Q_INVOKABLE void selItemRemove(QObject* sender);
  Q_INVOKABLE void selItemClearMenu(QObject* sender);

  // Query entry and Services.
  void textDidEndEditing(QObject* textView);
  Q_INVOKABLE void handleMenuSelection(Pasteboard& pasteboard, const QString& userData, QString* error);
  Q_INVOKABLE void handleMenuSelectionTimerAction(QObject* timer);

  // Result export (ResultExport.cpp).
  Q_INVOKABLE void clipboardButtonClicked(QObject* sender);
  Q_INVOKABLE void saveButtonClicked(QObject* sender);

  // Online lookup and web links (OnlineLookup.cpp).
  Q_INVOKABLE void onlineButtonClicked(QObject* sender);
  Q_INVOKABLE void wikiOnlineButtonClicked(QObject* sender);
  // The web view's load events (see Interface.cpp for the signal behind each); Qt tells
  // neither the frame, the error nor the resource, only the view.
  Q_INVOKABLE void webViewDidStartProvisionalLoadForFrame(QWebEngineView* sender);
  Q_INVOKABLE void webViewDidFailProvisionalLoadWithErrorForFrame(QWebEngineView* sender);
  Q_INVOKABLE void webViewResourceDidFinishLoadingFromDataSource(QWebEngineView* sender);
  Q_INVOKABLE void webViewDidFinishLoadForFrame(QWebEngineView* sender);
  Q_INVOKABLE void goToWebsite(QObject* sender);
  Q_INVOKABLE void goToMAS(QObject* sender);
  Q_INVOKABLE void openHelpURL(QObject* sender);
  // Help > About Vocabulon: the version and the licence.
  Q_INVOKABLE void orderFrontStandardAboutPanel(QObject* sender);

  // What the stored recent list and last query may hold: a store read at every launch (and by
  // every `define`) must stay small whatever was looked up.
  static constexpr qsizetype kMaximumRecentEntries = 100;
  static constexpr qsizetype kMaximumRecentEntryLength = 1000;   // UTF-16 units, ellipsis included
  static constexpr qsizetype kMaximumStoredQueryLength = 20000;  // UTF-16 units, ellipsis included
  // `text` when it holds at most `maximumLength` units; else its start, cut after a word where
  // one ends in the second half of the room, followed by an ellipsis.
  static QString shortenedForStorage(const QString& text, qsizetype maximumLength);

  // Outlets, connected by the interface loader; not owned.
  QPointer<QMainWindow> window_;
  QPointer<QWidget> webWindow;
  QPointer<QWebEngineView> webView;
  QPointer<QPlainTextEdit> query_textView;
  // A plain-text view lays out only what it shows, so long results stay fast; it keeps the
  // character formats of headwords and definitions all the same.
  QPointer<QPlainTextEdit> result_textView;
  QPointer<QLabel> statusTextField;
  QPointer<PopUpButton> recentPopUpButton;
  QPointer<QMenu> recentMenu;
  QPointer<PopUpButton> dictionariesPopUpButton;
  QPointer<QMenu> dictionariesMenu;
  QPointer<ProgressIndicator> busy;
  QPointer<ProgressIndicator> frameLoadSpinner;
  QPointer<QLabel> frameLoadTextField;
  QPointer<QAbstractButton> includeRemoveSubmenusInRecentMenuButton;
  // Beside the status line: how far the running lookup is, and the control that stops it.
  QPointer<QLabel> lookupProgressField;
  QPointer<QAbstractButton> stopButton;

  // Owned state.
  QTextCharFormat boldAttributes;
  QTextCharFormat regularAttributes;
  QStringList recentWords;
  QStringList dictionaryNames;
  QUrl workflowURL;          // empty while no workflow has been written
  QString theQueryString;    // null until the first lookup

 private:
  void setStatus(const QString& text);
  void setLookupProgress(const QString& text);
  bool stopRequested_ = false;
  // Shortens entries, drops those that became equal to an earlier one (letter case ignored)
  // and then the oldest beyond the maximum. True when the list changed.
  bool boundRecentWords();
  void storeRecentWords();
  // Leaving the query view: the focus moving from it to another text view of the window ends
  // the editing; moving to a button or pop-up of the window, or to another window, does not.
  void watchQueryViewEditing();
  void queryViewFocusChanged(QWidget* from, QWidget* to);
  // Services requests and deferred lookups that arrive while the save panel is open wait in
  // order and run after it has closed and the save has been written.
  bool deferWhileSavePanelOpen(std::function<void()> work);
  void runDeferredWork();

  bool queryEditingOpen_ = false;  // the focus left the query view for a control of its window
  bool watchingQueryView_ = false;
  bool savePanelOpen_ = false;
  QList<std::function<void()>> deferredWork_;
  void insertText(QTextCursor& cursor, const QString& text, const QTextCharFormat* attributes);
  QTextCharFormat typingAttributes_;
};
