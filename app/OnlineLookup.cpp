// SPDX-License-Identifier: GPL-3.0-or-later
// The online lookup: the query opened on an online dictionary or the encyclopedia in the
// application's web window, the web window's load feedback, and the product's web links.
#include "app/OnlineLookup.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QUrl>
#if VOCABULON_WEB
#include <QWebEngineHttpRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#endif

#include "app/LexoraAppDelegate.h"
#include "platform/cf/CFBundle.h"
#include "platform/cf/CFQt.h"
#include "platform/cf/CFURL.h"
#include "platform/cocoa/Bundle.h"

CFStringRef CreateURLEscapedString(CFStringRef text) {
  CFStringRef copy = CFStringCreateCopy(kCFAllocatorDefault, text);
  if (!copy) return nullptr;
  CFMutableStringRef trimmed = CFStringCreateMutableCopy(kCFAllocatorDefault, 0, copy);
  CFRelease(copy);
  if (!trimmed) return nullptr;
  CFStringTrimWhitespace(trimmed);
  // Decoding everything first keeps an escape the user typed from being escaped twice.
  CFStringRef decoded = CFURLCreateStringByReplacingPercentEscapes(kCFAllocatorDefault, trimmed, CFSTR(""));
  CFRelease(trimmed);
  if (!decoded) return nullptr;
  CFStringRef escaped = CFURLCreateStringByAddingPercentEscapes(kCFAllocatorDefault, decoded, nullptr, nullptr,
                                                                kCFStringEncodingUTF8);
  CFRelease(decoded);
  return escaped;
}

namespace {

struct AddressDefault {
  const char* key;
  const char* value;
};

// https throughout: the query is the user's own text, and plain http would show it to anyone
// on the way. The product's own pages have no address of their own unless one is configured:
// they come with the application (the manual) or from the desktop's software centre.
constexpr AddressDefault kAddressDefaults[] = {
    {kOnlineDictionarySiteKey, "https://www.dictionary.com"},
    {kEncyclopediaSiteKey, "https://en.wikipedia.org"},
    {kStoreURLKey, "appstream:org.vocabulon.Vocabulon"},
};

// A page of the manual in the main bundle's resources; empty when it is not installed.
QUrl manualPage(const QString& page) {
  const QString path = Bundle::main().resourcePath() + QStringLiteral("/manual/") + page;
  return QFileInfo(path).isFile() ? QUrl::fromLocalFile(path) : QUrl();
}

void makeKeyAndOrderFront(QWidget* window) {
  if (window->isMinimized()) window->showNormal();
  else window->show();
  window->raise();
  window->activateWindow();
}

void openWithDesktop(const QUrl& url);

#if VOCABULON_WEB
// The view's page, made at the first online lookup rather than with the interface: the first
// page starts the whole web engine, which launching the application should not pay for. Its
// profile is off the record, so that pages leave no cookies, cache or history in the home.
void preparePage(QWebEngineView* view) {
  static const QString kPageName = QStringLiteral("vocabulonPrivatePage");
  if (view->findChild<QWebEnginePage*>(kPageName, Qt::FindDirectChildrenOnly)) return;
  auto* profile = new QWebEngineProfile;  // no storage name: off the record
  auto* page = new QWebEnginePage(profile, view);
  page->setObjectName(kPageName);
  // A profile must outlive its pages; as the page's child it is deleted right after it.
  profile->setParent(page);
  view->setPage(page);
}
#endif

void lookUpOnline(LexoraAppDelegate& controller, const char* siteKey, QLatin1String path) {
  if (!controller.query_textView) return;
  const QString query = controller.query_textView->toPlainText();
  CFStringRef text = CFStringCreateWithQString(query);
  CFStringRef escaped = CreateURLEscapedString(text);
  CFRelease(text);
  if (!escaped) return;

  if (controller.webWindow) controller.webWindow->setWindowTitle(query);
  QString site = onlineAddress(siteKey);
  while (site.endsWith(QLatin1Char('/'))) site.chop(1);
  const QString urlString = site + path + CFStringToQString(escaped);
#if VOCABULON_WEB
  if (controller.webWindow) makeKeyAndOrderFront(controller.webWindow);
  if (QWebEngineView* view = controller.webView) {
    preparePage(view);
    view->setUrl(QUrl(urlString));
    view->load(QWebEngineHttpRequest(QUrl(urlString)));
  }
#else
  openWithDesktop(QUrl(urlString));
#endif
  CFRelease(escaped);
}

// The desktop's opener (xdg-open, through Qt) takes the address to the program that handles
// it: the browser, the software centre. Tests name a program of their own instead.
void openWithDesktop(const QUrl& url) {
  const QString opener = qEnvironmentVariable("VOCABULON_URL_OPENER");
  if (!opener.isEmpty()) QProcess::startDetached(opener, {url.toString(QUrl::FullyEncoded)});
  else QDesktopServices::openUrl(url);
}

// The configured address of `key`, else the manual's `page`; the status line says when
// neither exists.
void openAddressOrManual(LexoraAppDelegate& controller, const char* key, const QString& page) {
  const QString address = onlineAddress(key);
  const QUrl url = address.isEmpty() ? manualPage(page) : QUrl(address);
  if (url.isValid() && !url.isEmpty()) openWithDesktop(url);
  else if (controller.statusTextField)
    controller.statusTextField->setText(QStringLiteral("The user manual is not installed."));
}

}  // namespace

QString onlineAddress(const char* key) {
  CFStringRef name = CFStringCreateWithCString(kCFAllocatorDefault, key, kCFStringEncodingUTF8);
  CFBundleRef bundle = CFBundleGetMainBundle();
  CFTypeRef value = bundle ? CFBundleGetValueForInfoDictionaryKey(bundle, name) : nullptr;
  CFRelease(name);
  if (value && CFGetTypeID(value) == CFStringGetTypeID()) {
    const QString address = CFStringToQString(static_cast<CFStringRef>(value)).trimmed();
    if (!address.isEmpty()) return address;
  }
  for (const AddressDefault& entry : kAddressDefaults) {
    if (qstrcmp(entry.key, key) == 0) return QString::fromLatin1(entry.value);
  }
  return QString();
}

void LexoraAppDelegate::onlineButtonClicked(QObject*) {
  lookUpOnline(*this, kOnlineDictionarySiteKey, QLatin1String("/browse/"));
}

void LexoraAppDelegate::wikiOnlineButtonClicked(QObject*) {
  lookUpOnline(*this, kEncyclopediaSiteKey, QLatin1String("/wiki/"));
}

// The load feedback looks at no frame, error or resource: every load event counts.
void LexoraAppDelegate::webViewDidStartProvisionalLoadForFrame(QWebEngineView*) {
  if (frameLoadSpinner) frameLoadSpinner->startAnimation(this);
  if (frameLoadTextField) frameLoadTextField->setHidden(false);
}

void LexoraAppDelegate::webViewDidFailProvisionalLoadWithErrorForFrame(QWebEngineView*) {
  if (frameLoadSpinner) frameLoadSpinner->stopAnimation(this);
  if (frameLoadTextField) frameLoadTextField->setHidden(true);
}

void LexoraAppDelegate::webViewResourceDidFinishLoadingFromDataSource(QWebEngineView*) {
  if (frameLoadSpinner) frameLoadSpinner->stopAnimation(this);
  if (frameLoadTextField) frameLoadTextField->setHidden(true);
}

void LexoraAppDelegate::webViewDidFinishLoadForFrame(QWebEngineView*) {
  if (frameLoadSpinner) frameLoadSpinner->stopAnimation(this);
  if (frameLoadTextField) frameLoadTextField->setHidden(true);
}

// The links go to the desktop's opener, never to the web window.
void LexoraAppDelegate::goToWebsite(QObject*) {
  openAddressOrManual(*this, kWebsiteURLKey, QStringLiteral("about.html"));
}

void LexoraAppDelegate::goToMAS(QObject*) { openWithDesktop(QUrl(onlineAddress(kStoreURLKey))); }

void LexoraAppDelegate::openHelpURL(QObject*) {
  openAddressOrManual(*this, kHelpURLKey, QStringLiteral("index.html"));
}
