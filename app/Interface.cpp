// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Interface.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QAbstractTextDocumentLayout>
#include <QPaintDevice>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QWheelEvent>
#include <QVBoxLayout>
#if VOCABULON_WEB
#include <QWebEngineView>
#endif

#include "app/LexoraAppDelegate.h"
#include "platform/cocoa/Application.h"
#include "platform/cocoa/UserDefaults.h"
#include "ui_MainWindow.h"
#include "ui_PreferencesPanel.h"
#include "ui_WebWindow.h"

namespace {

// Kept beside the application's own keys, under a name of its own.
const QString kWindowGeometryKey = QStringLiteral("VocabulonMainWindowGeometry");

void wire(QAbstractButton* button, const char* selector) {
  QObject::connect(button, &QAbstractButton::clicked, button,
                   [button, selector] { Application::shared().sendAction(selector, button); });
}

void wire(QAction* action, const char* selector) {
  QObject::connect(action, &QAction::triggered, action,
                   [action, selector] { Application::shared().sendAction(selector, action); });
}

// Saves the window's size and place when it closes.
class GeometryKeeper : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Close || event->type() == QEvent::Hide) {
      UserDefaults::standardUserDefaults().setObject(static_cast<QWidget*>(watched)->saveGeometry(),
                                                     kWindowGeometryKey);
    }
    return QObject::eventFilter(watched, event);
  }
};

// The result view's zoom. The headword and definition formats carry fixed point sizes, so a
// larger document font would enlarge only the text without a format of its own (the colons).
// Instead the view lays its text out for a device of a higher or lower resolution: every point
// size then takes more or fewer pixels, and the document itself stays as it is.
class ResultZoom : public QObject, public QPaintDevice {
 public:
  static constexpr int kSteps[] = {50, 67, 80, 90, 100, 110, 125, 150, 175, 200, 250, 300};
  static constexpr int kActualSize = 4;

  explicit ResultZoom(QPlainTextEdit* view)
      : QObject(view), view_(view), layout_(view->document()->documentLayout()) {
    layout_->setPaintDevice(this);
    view->viewport()->installEventFilter(this);
  }
  ~ResultZoom() override {
    // The view's text may outlive this object by a moment while the view is taken apart.
    if (layout_ && layout_->paintDevice() == this) layout_->setPaintDevice(nullptr);
  }

  int percent() const { return kSteps[step_]; }
  void zoomBy(int steps) { setStep(std::clamp(step_ + steps, 0, int(std::size(kSteps)) - 1)); }
  void actualSize() { setStep(kActualSize); }
  QPaintEngine* paintEngine() const override { return nullptr; }

 protected:
  int metric(PaintDeviceMetric metric) const override {
    const qreal scale = kSteps[step_] / 100.0;
    switch (metric) {
      case PdmDpiX:
      case PdmPhysicalDpiX:
        return qRound(view_->logicalDpiX() * scale);
      case PdmDpiY:
      case PdmPhysicalDpiY:
        return qRound(view_->logicalDpiY() * scale);
      case PdmWidth:
        return view_->viewport()->width();
      case PdmHeight:
        return view_->viewport()->height();
      case PdmWidthMM:
        return view_->widthMM();
      case PdmHeightMM:
        return view_->heightMM();
      case PdmDevicePixelRatio:
        return qRound(view_->devicePixelRatioF());
      case PdmDevicePixelRatioScaled:
        return qRound(view_->devicePixelRatioF() * devicePixelRatioFScale());
      case PdmNumColors:
        return INT_MAX;
      case PdmDepth:
        return 32;
    }
    return 0;
  }

  // Ctrl with the wheel zooms; the wheel alone scrolls, as ever.
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Wheel) {
      auto* wheel = static_cast<QWheelEvent*>(event);
      if (wheel->modifiers() & Qt::ControlModifier) {
        wheelAngle_ += wheel->angleDelta().y();
        const int steps = wheelAngle_ / QWheelEvent::DefaultDeltasPerStep;
        wheelAngle_ -= steps * QWheelEvent::DefaultDeltasPerStep;
        if (steps) zoomBy(steps);
        return true;
      }
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  void setStep(int step) {
    if (step == step_) return;
    // The block at the top stays there; the scroll bar counts lines, which the new size changes.
    QTextDocument* document = view_->document();
    const int top = view_->cursorForPosition(QPoint(0, 0)).blockNumber();
    step_ = step;
    document->markContentsDirty(0, document->characterCount());
    view_->verticalScrollBar()->setValue(document->findBlockByNumber(top).firstLineNumber());
    view_->viewport()->update();
  }

  QPlainTextEdit* view_;
  QPointer<QAbstractTextDocumentLayout> layout_;
  int step_ = kActualSize;
  int wheelAngle_ = 0;
};

// Keeps an action enabled exactly while a widget is.
class EnabledFollower : public QObject {
 public:
  EnabledFollower(QAction* action, QWidget* widget) : QObject(widget), action_(action) {
    action->setEnabled(widget->isEnabled());
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::EnabledChange && action_)
      action_->setEnabled(static_cast<QWidget*>(watched)->isEnabled());
    return QObject::eventFilter(watched, event);
  }

 private:
  QPointer<QAction> action_;
};

// The find bar over the results: incremental, letter case ignored, wrapping at either end.
class FindBar : public QObject {
 public:
  FindBar(Ui::MainWindow& ui, QObject* parent)
      : QObject(parent), bar_(ui.findBar), field_(ui.findField), status_(ui.findStatusField), view_(ui.result_textView) {
    connect(field_, &QLineEdit::textEdited, this, [this] { find(FromSelectionStart); });
    connect(ui.findNextButton, &QAbstractButton::clicked, this, [this] { find(Forward); });
    connect(ui.findPreviousButton, &QAbstractButton::clicked, this, [this] { find(Backward); });
    connect(ui.findCloseButton, &QAbstractButton::clicked, this, &FindBar::close);
    field_->installEventFilter(this);
  }

  void open() {
    bar_->show();
    field_->setFocus(Qt::ShortcutFocusReason);
    field_->selectAll();
  }

  void close() {
    bar_->hide();
    status_->clear();
    view_->setFocus(Qt::OtherFocusReason);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::KeyPress) {
      auto* key = static_cast<QKeyEvent*>(event);
      if (key->key() == Qt::Key_Escape) {
        close();
        return true;
      }
      if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
        find(key->modifiers() & Qt::ShiftModifier ? Backward : Forward);
        return true;
      }
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  enum Direction { FromSelectionStart, Forward, Backward };

  void find(Direction direction) {
    const QString text = field_->text();
    if (text.isEmpty()) {
      status_->clear();
      return;
    }
    QTextCursor cursor = view_->textCursor();
    if (direction == FromSelectionStart) cursor.setPosition(cursor.selectionStart());
    const QTextDocument::FindFlags flags = direction == Backward ? QTextDocument::FindBackward : QTextDocument::FindFlags();
    QTextDocument* document = view_->document();
    QTextCursor found = document->find(text, cursor, flags);
    if (found.isNull()) {  // on from the other end
      QTextCursor end(document);
      if (direction == Backward) end.movePosition(QTextCursor::End);
      found = document->find(text, end, flags);
    }
    if (found.isNull()) {
      status_->setText(QStringLiteral("Not found"));
      return;
    }
    status_->clear();
    view_->setTextCursor(found);
  }

  QWidget* bar_;
  QLineEdit* field_;
  QLabel* status_;
  QPlainTextEdit* view_;
};

// The headword and definition colours are fixed (blue and black), so the results keep a light
// paper under any theme; the query view follows the theme.
void givePaper(QPlainTextEdit* view) {
  QPalette palette = view->palette();
  for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    palette.setColor(group, QPalette::Base, QColor(0xfd, 0xfb, 0xf4));
    palette.setColor(group, QPalette::Text, Qt::black);
    palette.setColor(group, QPalette::PlaceholderText, QColor(0x80, 0x80, 0x80));
  }
  palette.setColor(QPalette::Inactive, QPalette::Highlight, QColor(0xc8, 0xd4, 0xe6));
  palette.setColor(QPalette::Inactive, QPalette::HighlightedText, Qt::black);
  view->setPalette(palette);
}

}  // namespace

LexoraAppDelegate* loadMainInterface() {
  auto* controller = new LexoraAppDelegate(&Application::shared());

  auto* window = new QMainWindow;
  window->setAttribute(Qt::WA_DeleteOnClose, false);
  Ui::MainWindow mainUi;
  mainUi.setupUi(window);
  mainUi.splitter->setStretchFactor(0, 1);
  mainUi.splitter->setStretchFactor(1, 3);
  mainUi.defineAction->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)});
  // The toolbar keeps every control whole: the window gets no narrower than its layout needs.
  window->setMinimumSize(window->minimumSize().expandedTo(window->minimumSizeHint()));
  givePaper(mainUi.result_textView);
  auto* zoom = new ResultZoom(mainUi.result_textView);
  mainUi.zoomInAction->setShortcuts({QKeySequence::ZoomIn, QKeySequence(Qt::CTRL | Qt::Key_Equal)});
  mainUi.zoomOutAction->setShortcuts({QKeySequence::ZoomOut});
  QObject::connect(mainUi.zoomInAction, &QAction::triggered, zoom, [zoom] { zoom->zoomBy(1); });
  QObject::connect(mainUi.zoomOutAction, &QAction::triggered, zoom, [zoom] { zoom->zoomBy(-1); });
  QObject::connect(mainUi.actualSizeAction, &QAction::triggered, zoom, [zoom] { zoom->actualSize(); });
  auto* findBar = new FindBar(mainUi, window);
  QObject::connect(mainUi.findAction, &QAction::triggered, findBar, [findBar] { findBar->open(); });
  // At launch the keyboard is in the query view.
  mainUi.query_textView->setFocus(Qt::OtherFocusReason);
  const QVariant geometry = UserDefaults::standardUserDefaults().objectForKey(kWindowGeometryKey);
  if (geometry.typeId() == QMetaType::QByteArray) window->restoreGeometry(geometry.toByteArray());
  window->installEventFilter(new GeometryKeeper(window));

#if VOCABULON_WEB
  auto* webWindow = new QWidget;
  Ui::WebWindow webUi;
  webUi.setupUi(webWindow);
  // The bare view starts nothing; its page, and with it the web engine, comes with the first
  // online lookup.
  auto* webView = new QWebEngineView(webUi.webViewHost);
  webView->setObjectName(QStringLiteral("webView"));
  webUi.webViewHostLayout->addWidget(webView);
  // The web window ends with the event loop: a page still alive when the web engine shuts
  // down outlives its profile.
  QObject::connect(qApp, &QCoreApplication::aboutToQuit, webWindow, [webWindow] { delete webWindow; });
#endif

  auto* preferences = new QDialog(window);
  Ui::PreferencesPanel preferencesUi;
  preferencesUi.setupUi(preferences);

  controller->setWindow(window);
#if VOCABULON_WEB
  controller->webWindow = webWindow;
  controller->webView = webView;
  controller->frameLoadSpinner = webUi.frameLoadSpinner;
  controller->frameLoadTextField = webUi.frameLoadTextField;
#endif
  controller->query_textView = mainUi.query_textView;
  controller->result_textView = mainUi.result_textView;
  controller->statusTextField = mainUi.statusTextField;
  controller->recentPopUpButton = mainUi.recentPopUpButton;
  controller->dictionariesPopUpButton = mainUi.dictionariesPopUpButton;
  controller->busy = mainUi.busy;
  controller->includeRemoveSubmenusInRecentMenuButton = preferencesUi.includeRemoveSubmenusInRecentMenuButton;
  controller->lookupProgressField = mainUi.lookupProgressField;
  controller->stopButton = mainUi.stopButton;
  // Escape stops a lookup only while one runs (the Stop button is enabled just as long);
  // otherwise it is free for the find bar.
  mainUi.stopButton->installEventFilter(new EnabledFollower(mainUi.stopAction, mainUi.stopButton));

  // The controller is the web view's load delegate. Qt WebEngine reports loads of the main
  // frame only, and no single resource, so each callback takes the nearest signal:
  //   didStartProvisionalLoadForFrame          <- loadStarted (a navigation begins)
  //   didFailProvisionalLoadWithError:forFrame <- loadFinished(false) (failed, stopped, or
  //                                              superseded by another load)
  //   resource:didFinishLoadingFromDataSource  <- loadProgress reaching 100 (the page's last
  //                                              resource is in; nothing tells of the first)
  //   didFinishLoadForFrame                    <- loadFinished(true)
#if VOCABULON_WEB
  QObject::connect(webView, &QWebEngineView::loadStarted, controller,
                   [controller, webView] { controller->webViewDidStartProvisionalLoadForFrame(webView); });
  QObject::connect(webView, &QWebEngineView::loadProgress, controller, [controller, webView](int progress) {
    if (progress >= 100) controller->webViewResourceDidFinishLoadingFromDataSource(webView);
  });
  QObject::connect(webView, &QWebEngineView::loadFinished, controller, [controller, webView](bool ok) {
    if (ok) controller->webViewDidFinishLoadForFrame(webView);
    else controller->webViewDidFailProvisionalLoadWithErrorForFrame(webView);
  });
#endif

  wire(mainUi.defineButton, "buttonClicked");
  wire(mainUi.defineAction, "buttonClicked");
  wire(mainUi.stopButton, "stopLookup");
  wire(mainUi.stopAction, "stopLookup");
  wire(mainUi.clipboardButton, "clipboardButtonClicked");
  wire(mainUi.copyResultsAction, "clipboardButtonClicked");
  wire(mainUi.saveButton, "saveButtonClicked");
  wire(mainUi.saveAction, "saveButtonClicked");
  wire(mainUi.onlineButton, "onlineButtonClicked");
  wire(mainUi.onlineAction, "onlineButtonClicked");
  wire(mainUi.wikiOnlineButton, "wikiOnlineButtonClicked");
  wire(mainUi.wikiOnlineAction, "wikiOnlineButtonClicked");
  wire(mainUi.websiteAction, "goToWebsite");
  wire(mainUi.storeAction, "goToMAS");
  wire(mainUi.helpAction, "openHelpURL");
  mainUi.helpMenu->addSeparator();
  QAction* aboutAction = mainUi.helpMenu->addAction(QStringLiteral("&About Vocabulon"));
  aboutAction->setObjectName(QStringLiteral("aboutAction"));
  aboutAction->setMenuRole(QAction::AboutRole);
  wire(aboutAction, "orderFrontStandardAboutPanel");
  QObject::connect(mainUi.quitAction, &QAction::triggered, [] { Application::shared().terminate(); });
  QObject::connect(mainUi.preferencesAction, &QAction::triggered, preferences, [preferences] {
    preferences->show();
    preferences->raise();
    preferences->activateWindow();
  });

  Application::shared().setMainWindow(window);
  return controller;
}
