#include "app/Interface.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QKeySequence>
#include <QMainWindow>
#include <QVBoxLayout>
#include <QWebEngineView>

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
  const QVariant geometry = UserDefaults::standardUserDefaults().objectForKey(kWindowGeometryKey);
  if (geometry.typeId() == QMetaType::QByteArray) window->restoreGeometry(geometry.toByteArray());
  window->installEventFilter(new GeometryKeeper(window));

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

  auto* preferences = new QDialog(window);
  Ui::PreferencesPanel preferencesUi;
  preferencesUi.setupUi(preferences);

  controller->setWindow(window);
  controller->webWindow = webWindow;
  controller->webView = webView;
  controller->query_textView = mainUi.query_textView;
  controller->result_textView = mainUi.result_textView;
  controller->statusTextField = mainUi.statusTextField;
  controller->recentPopUpButton = mainUi.recentPopUpButton;
  controller->dictionariesPopUpButton = mainUi.dictionariesPopUpButton;
  controller->busy = mainUi.busy;
  controller->frameLoadSpinner = webUi.frameLoadSpinner;
  controller->frameLoadTextField = webUi.frameLoadTextField;
  controller->includeRemoveSubmenusInRecentMenuButton = preferencesUi.includeRemoveSubmenusInRecentMenuButton;

  // The controller is the web view's load delegate. Qt WebEngine reports loads of the main
  // frame only, and no single resource, so each callback takes the nearest signal:
  //   didStartProvisionalLoadForFrame          <- loadStarted (a navigation begins)
  //   didFailProvisionalLoadWithError:forFrame <- loadFinished(false) (failed, stopped, or
  //                                              superseded by another load)
  //   resource:didFinishLoadingFromDataSource  <- loadProgress reaching 100 (the page's last
  //                                              resource is in; nothing tells of the first)
  //   didFinishLoadForFrame                    <- loadFinished(true)
  QObject::connect(webView, &QWebEngineView::loadStarted, controller,
                   [controller, webView] { controller->webViewDidStartProvisionalLoadForFrame(webView); });
  QObject::connect(webView, &QWebEngineView::loadProgress, controller, [controller, webView](int progress) {
    if (progress >= 100) controller->webViewResourceDidFinishLoadingFromDataSource(webView);
  });
  QObject::connect(webView, &QWebEngineView::loadFinished, controller, [controller, webView](bool ok) {
    if (ok) controller->webViewDidFinishLoadForFrame(webView);
    else controller->webViewDidFailProvisionalLoadWithErrorForFrame(webView);
  });

  wire(mainUi.defineButton, "buttonClicked");
  wire(mainUi.defineAction, "buttonClicked");
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
