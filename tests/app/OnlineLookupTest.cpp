// SPDX-License-Identifier: GPL-3.0-or-later
// The online lookup with the real web window, offscreen, against a small web server of the
// test's own on 127.0.0.1; the escaping of the query; the web links, caught before a browser.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <functional>
#include <optional>
#include <ostream>

#include "app/Interface.h"
#include "app/LexoraAppDelegate.h"
#include "app/OnlineLookup.h"
#include "platform/cf/CFQt.h"
#include "platform/cf/PropertyList.h"
#include "platform/cocoa/Application.h"
#include "platform/cocoa/Bundle.h"
#include "platform/cocoa/ProgressIndicator.h"
#include "platform/cocoa/UserDefaults.h"
#include "tests/TestEnvironment.h"

// Failures show strings as text.
void PrintTo(const QString& string, std::ostream* out) { *out << '"' << string.toStdString() << '"'; }

namespace {

// CreateURLEscapedString on a Qt string: the escaped text, or nothing for a null result.
std::optional<QString> escaped(const QString& text) {
  CFStringRef string = CFStringCreateWithQString(text);
  CFStringRef result = CreateURLEscapedString(string);
  CFRelease(string);
  if (!result) return std::nullopt;
  const QString value = CFStringToQString(result);
  CFRelease(result);
  return value;
}

TEST(CreateURLEscapedString, TrimsTheEndsThenEscapesEachCharacterOnce) {
  EXPECT_EQ(escaped("  café au lait \n"), "caf%C3%A9%20au%20lait");
  EXPECT_EQ(escaped("\t two\nlines\r\n"), "two%0Alines");
  // Reserved characters stay, so "/" and "?" act as the site reads them.
  EXPECT_EQ(escaped("AC/DC?x=1&y=a+b:c"), "AC/DC?x=1&y=a+b:c");
  EXPECT_EQ(escaped(" \n\t "), "");  // nothing but blanks is an empty query, not a failure
  // Escapes already in the text are decoded first, so they end up escaped once.
  EXPECT_EQ(escaped("caf%C3%A9 au%20lait 100%25"), "caf%C3%A9%20au%20lait%20100%25");
  EXPECT_EQ(escaped("%2f%3F"), "/?");
  EXPECT_EQ(escaped(*escaped("caf\u00e9 100%25 sure")), escaped("caf\u00e9 100%25 sure"));

  // The caller's string is copied, not trimmed in place.
  CFMutableStringRef text = CFStringCreateMutableCopy(kCFAllocatorDefault, 0, CFSTR("  a b  "));
  CFStringRef result = CreateURLEscapedString(text);
  EXPECT_EQ(CFStringToQString(text), "  a b  ");
  EXPECT_EQ(CFStringToQString(result), "a%20b");
  CFRelease(result);
  CFRelease(text);
}

TEST(CreateURLEscapedString, AnEscapeThatDoesNotDecodeGivesNothing) {
  for (const char* text : {"100%zz", "%E9", "caf%C3", "ends in %", "%4"})
    EXPECT_EQ(escaped(QString::fromUtf8(text)), std::nullopt) << text;
  EXPECT_EQ(CreateURLEscapedString(nullptr), nullptr);
}

// A web server answering every GET with a small page titled after the path asked for, and
// keeping the request targets in the order they came.
class PageServer {
 public:
  PageServer() {
    server_.listen(QHostAddress::LocalHost, 0);
    QObject::connect(&server_, &QTcpServer::newConnection, [this] {
      while (QTcpSocket* socket = server_.nextPendingConnection()) {
        QObject::connect(socket, &QTcpSocket::disconnected, socket, [this, socket] {
          pending_.remove(socket);
          socket->deleteLater();
        });
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { serve(socket); });
      }
    });
  }

  bool isListening() const { return server_.isListening(); }
  QString address() const { return QStringLiteral("http://127.0.0.1:%1").arg(server_.serverPort()); }
  QStringList targets;

 private:
  void serve(QTcpSocket* socket) {
    QByteArray& request = pending_[socket];
    request += socket->readAll();
    if (!request.contains("\r\n\r\n")) return;
    const QList<QByteArray> requestLine = request.left(request.indexOf("\r\n")).split(' ');
    pending_.remove(socket);
    const QString target = requestLine.size() == 3 ? QString::fromLatin1(requestLine[1]) : QString();
    targets << target;
    // An empty icon link keeps the engine from asking for /favicon.ico.
    const QByteArray body = "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><link rel=\"icon\" href=\"data:,\">"
                            "<title>" + target.toHtmlEscaped().toUtf8() + "</title></head><body>page</body></html>";
    socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nConnection: close\r\n"
                  "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body);
    socket->disconnectFromHost();
  }

  QTcpServer server_;
  QHash<QTcpSocket*, QByteArray> pending_;
};

// Takes the URLs that QDesktopServices would hand to the browser.
class UrlCatcher : public QObject {
  Q_OBJECT
 public:
  UrlCatcher() {
    QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "open");
    QDesktopServices::setUrlHandler(QStringLiteral("http"), this, "open");
  }
  ~UrlCatcher() override {
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
  }
  QStringList urls;

 public slots:
  void open(const QUrl& url) { urls << url.toString(); }
};

// Processes events until the condition holds; false if it still does not after a minute,
// which only a hung engine takes.
bool waitUntil(const std::function<bool()>& condition) {
  for (int waited = 0; waited < 60000 && !condition(); waited += 20) QTest::qWait(20);
  return condition();
}

class OnlineLookup : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.isListening());
    oldBundle = qgetenv("VOCABULON_MAIN_BUNDLE");
    hadBundle = qEnvironmentVariableIsSet("VOCABULON_MAIN_BUNDLE");
    UserDefaults::resetStandardUserDefaults();
  }

  void TearDown() override {
    if (controller) {
      delete controller->webWindow.data();
      delete controller->window();
      delete controller;
    }
    if (hadBundle) qputenv("VOCABULON_MAIN_BUNDLE", oldBundle);
    else qunsetenv("VOCABULON_MAIN_BUNDLE");
    UserDefaults::resetStandardUserDefaults();
  }

  // A main bundle of the test's own: the build's Info.plist (so name and identifier stay the
  // application's), with the addresses given.
  void writeMainBundle(const QVariantMap& addresses, const QString& name = QStringLiteral("Vocabulon.app")) {
    const std::optional<QVariant> built =
        plist::readFile(QStringLiteral(VOCABULON_BINARY_DIR "/Vocabulon.app/Contents/Info.plist"));
    ASSERT_TRUE(built.has_value());
    QVariantMap info = built->toMap();
    for (const char* key : {kOnlineDictionarySiteKey, kEncyclopediaSiteKey, kWebsiteURLKey, kStoreURLKey, kHelpURLKey})
      info.remove(QString::fromLatin1(key));
    for (auto it = addresses.begin(); it != addresses.end(); ++it) info.insert(it.key(), it.value());
    const QString bundle = env.path() + "/" + name;
    ASSERT_TRUE(QDir().mkpath(bundle + "/Contents"));
    ASSERT_TRUE(plist::writeFile(bundle + "/Contents/Info.plist", info));
    qputenv("VOCABULON_MAIN_BUNDLE", bundle.toLocal8Bit());
  }

  void pointSitesAt(const QString& address) {
    writeMainBundle({{kOnlineDictionarySiteKey, address}, {kEncyclopediaSiteKey, address + "/"}});
  }

  void loadInterface() {
    controller = loadMainInterface();
    Application::shared().setDelegate(controller);
  }

  template <typename T>
  T* control(const char* name) const {
    return controller->window()->findChild<T*>(QString::fromLatin1(name));
  }

  // Clicks a button of the main window with the query in the query view.
  void click(const char* button, const QString& query) {
    controller->query_textView->setPlainText(query);
    control<QAbstractButton>(button)->click();
  }

  bool spinnerShown() const { return controller->frameLoadSpinner->isAnimating() && !controller->frameLoadTextField->isHidden(); }
  bool spinnerGone() const { return !controller->frameLoadSpinner->isAnimating() && controller->frameLoadTextField->isHidden(); }

  TestEnvironment env;
  PageServer server;
  LexoraAppDelegate* controller = nullptr;
  QByteArray oldBundle;
  bool hadBundle = false;
};

TEST_F(OnlineLookup, AddressesComeFromTheMainBundleElseTheApplicationsOwn) {
  const Bundle application(QStringLiteral(VOCABULON_BINARY_DIR "/Vocabulon.app"));
  // A value that is no string, or an empty one, counts as absent; absent keys take the
  // addresses the application's own Info.plist gives, https both of them. The product's own
  // pages have none: the manual stands in for them, and the store is the software centre.
  writeMainBundle({{kOnlineDictionarySiteKey, " http://127.0.0.1:9/ "}, {kStoreURLKey, 42}, {kHelpURLKey, ""}});
  EXPECT_EQ(onlineAddress(kOnlineDictionarySiteKey), "http://127.0.0.1:9/");
  const QString shipped = application.objectForInfoDictionaryKey(QString::fromLatin1(kEncyclopediaSiteKey)).toString();
  EXPECT_TRUE(shipped.startsWith("https://"));
  EXPECT_EQ(onlineAddress(kEncyclopediaSiteKey), shipped);
  for (const char* key : {kWebsiteURLKey, kHelpURLKey}) {
    EXPECT_FALSE(application.objectForInfoDictionaryKey(QString::fromLatin1(key)).isValid()) << key;
    EXPECT_EQ(onlineAddress(key), "") << key;
  }
  EXPECT_EQ(onlineAddress(kStoreURLKey), "appstream:org.vocabulon.Vocabulon");
}

TEST_F(OnlineLookup, QueriesLoadInTheWebWindowWithItsSpinnerTurning) {
  pointSitesAt(server.address());
  loadInterface();
  QWebEngineView* view = controller->webView;
  ASSERT_NE(view, nullptr);
  QList<bool> duringLoad;
  QObject::connect(view, &QWebEngineView::loadStarted, [&] { duringLoad << spinnerShown(); });
  QSignalSpy finished(view, &QWebEngineView::loadFinished);
  const auto loadDone = [&] { return !finished.isEmpty() && finished.last().at(0).toBool(); };
  EXPECT_TRUE(spinnerGone());  // as the interface made it

  const QString query = "  café au lait  ";
  click("onlineButton", query);
  EXPECT_TRUE(controller->webWindow->isVisible());
  EXPECT_EQ(controller->webWindow->windowTitle(), query);
  ASSERT_TRUE(waitUntil(loadDone));
  EXPECT_EQ(server.targets.value(0), "/browse/caf%C3%A9%20au%20lait");
  EXPECT_EQ(server.targets.count("/browse/caf%C3%A9%20au%20lait"), server.targets.size()) << server.targets.join(' ').toStdString();
  EXPECT_EQ(view->url().toString(QUrl::FullyEncoded), server.address() + "/browse/caf%C3%A9%20au%20lait");
  EXPECT_TRUE(waitUntil([&] { return view->title() == "/browse/caf%C3%A9%20au%20lait"; }));
  ASSERT_FALSE(duringLoad.isEmpty());
  EXPECT_FALSE(duringLoad.contains(false));
  EXPECT_TRUE(spinnerGone());

  // The same window takes the encyclopedia's page; "/" and "?" stay, a typed escape is kept
  // once, the inner line break is escaped.
  server.targets.clear();
  duringLoad.clear();
  finished.clear();
  const QString second = "\nAC/DC caf%C3%A9\nlive?x";
  click("wikiOnlineButton", second);
  EXPECT_EQ(controller->webWindow->windowTitle(), second);
  ASSERT_TRUE(waitUntil(loadDone));
  EXPECT_EQ(server.targets.value(0), "/wiki/AC/DC%20caf%C3%A9%0Alive?x");
  EXPECT_EQ(server.targets.count("/wiki/AC/DC%20caf%C3%A9%0Alive?x"), server.targets.size());
  EXPECT_FALSE(duringLoad.isEmpty());
  EXPECT_FALSE(duringLoad.contains(false));
  EXPECT_TRUE(spinnerGone());

  // Pages keep nothing in the home.
  QStringList files;
  for (QDirIterator it(env.home(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();) files << it.next();
  EXPECT_TRUE(files.isEmpty()) << files.join(' ').toStdString();
}

TEST_F(OnlineLookup, AQueryWhoseEscapesDoNotDecodeDoesNothing) {
  pointSitesAt(server.address());
  loadInterface();
  const QString title = controller->webWindow->windowTitle();
  for (const char* query : {"100%zz", " %E9 "}) {
    click("onlineButton", QString::fromLatin1(query));
    click("wikiOnlineButton", QString::fromLatin1(query));
  }
  QCoreApplication::processEvents();
  EXPECT_FALSE(controller->webWindow->isVisible());
  EXPECT_EQ(controller->webWindow->windowTitle(), title);
  // Nothing was given to the view: it has no page yet, so nothing can be on its way.
  EXPECT_EQ(controller->webView->findChild<QWebEnginePage*>(), nullptr);
  EXPECT_TRUE(server.targets.isEmpty());
  EXPECT_TRUE(spinnerGone());
}

TEST_F(OnlineLookup, AFailedLoadStopsTheSpinner) {
  QTcpServer closed;
  ASSERT_TRUE(closed.listen(QHostAddress::LocalHost, 0));
  const quint16 port = closed.serverPort();
  closed.close();  // nothing listens there now: the connection is refused
  pointSitesAt(QStringLiteral("http://127.0.0.1:%1").arg(port));
  loadInterface();
  QList<bool> duringLoad;
  QObject::connect(controller->webView, &QWebEngineView::loadStarted, [&] { duringLoad << spinnerShown(); });
  QSignalSpy finished(controller->webView, &QWebEngineView::loadFinished);

  click("onlineButton", "word");
  ASSERT_TRUE(waitUntil([&] { return !finished.isEmpty(); }));
  EXPECT_FALSE(finished.last().at(0).toBool());
  EXPECT_FALSE(duringLoad.isEmpty());
  EXPECT_FALSE(duringLoad.contains(false));
  EXPECT_TRUE(spinnerGone());
  EXPECT_EQ(controller->webWindow->windowTitle(), "word");
}

TEST_F(OnlineLookup, LoadSignalsDriveTheSpinnerAndLabel) {
  // The view's signals, sent without a page, so the engine never starts.
  pointSitesAt(server.address());
  loadInterface();
  QWebEngineView* view = controller->webView;
  emit view->loadStarted();
  EXPECT_TRUE(spinnerShown());
  emit view->loadProgress(60);
  EXPECT_TRUE(spinnerShown());
  emit view->loadProgress(100);  // the last resource is in
  EXPECT_TRUE(spinnerGone());
  emit view->loadStarted();
  emit view->loadFinished(false);
  EXPECT_TRUE(spinnerGone());
  emit view->loadStarted();
  emit view->loadFinished(true);
  EXPECT_TRUE(spinnerGone());
  EXPECT_EQ(view->findChild<QWebEnginePage*>(), nullptr);
}

TEST_F(OnlineLookup, WebLinksGoToTheBrowserNotTheWebWindow) {
  writeMainBundle({{kWebsiteURLKey, "https://example.test/vocabulon/"},
                   {kStoreURLKey, "https://store.example.test/app/org.vocabulon.Vocabulon"},
                   {kHelpURLKey, "http://127.0.0.1:9/help?topic=start"}});
  loadInterface();
  UrlCatcher catcher;
  for (const char* action : {"websiteAction", "storeAction", "helpAction"}) control<QAction>(action)->trigger();
  EXPECT_EQ(catcher.urls, (QStringList{"https://example.test/vocabulon/",
                                       "https://store.example.test/app/org.vocabulon.Vocabulon",
                                       "http://127.0.0.1:9/help?topic=start"}));
  EXPECT_FALSE(controller->webWindow->isVisible());
  EXPECT_EQ(controller->webView->findChild<QWebEnginePage*>(), nullptr);
}

TEST_F(OnlineLookup, HelpStoreAndWebsiteOpenTheManualAndTheSoftwareCentre) {
  // The desktop's opener replaced by a program that writes down what it was given.
  const QString log = env.path() + "/opened";
  const QString opener = env.path() + "/opener";
  QFile script(opener);
  ASSERT_TRUE(script.open(QIODevice::WriteOnly));
  script.write(QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$*\" >> '%1'\n").arg(log).toUtf8());
  script.close();
  script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  const QString bundle = QStringLiteral(VOCABULON_BINARY_DIR "/Vocabulon.app");
  qputenv("VOCABULON_MAIN_BUNDLE", bundle.toLocal8Bit());
  qputenv("VOCABULON_URL_OPENER", opener.toLocal8Bit());
  loadInterface();
  for (const char* action : {"helpAction", "storeAction", "websiteAction"}) control<QAction>(action)->trigger();
  const auto opened = [&] {
    QFile file(log);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts)
                                          : QStringList();
  };
  ASSERT_TRUE(waitUntil([&] { return opened().size() == 3; }));
  qunsetenv("VOCABULON_URL_OPENER");
  QStringList urls = opened();
  urls.sort();  // each opener runs on its own
  const QString manual = QUrl::fromLocalFile(bundle + "/Contents/Resources/manual/").toString();
  EXPECT_EQ(urls, (QStringList{"appstream:org.vocabulon.Vocabulon", manual + "about.html", manual + "index.html"}));
  // The pages are there, and the About page names the licence.
  for (const char* page : {"index.html", "about.html", "manual.css"})
    EXPECT_TRUE(QFileInfo(bundle + "/Contents/Resources/manual/" + page).isFile()) << page;
  QFile about(bundle + "/Contents/Resources/manual/about.html");
  ASSERT_TRUE(about.open(QIODevice::ReadOnly));
  EXPECT_TRUE(about.readAll().contains("GPL-3.0-or-later"));
  EXPECT_FALSE(controller->webWindow->isVisible());
}

}  // namespace

int main(int argc, char** argv) {
  // Test discovery runs this without the test environment; the window never needs a display.
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // Chromium will not run as root with its sandbox on, and offscreen there is no GPU to use.
  qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox --disable-gpu --disable-gpu-compositing");
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

#include "OnlineLookupTest.moc"
