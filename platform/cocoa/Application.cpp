// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/cocoa/Application.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QMetaMethod>
#include <QSocketNotifier>
#include <QTimer>
#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

#include "platform/cocoa/Services.h"
#include "platform/cocoa/UserDefaults.h"

namespace {

// The signals with which a session, a terminal or a service manager asks a program to end.
constexpr std::array<int, 3> kTerminationSignals = {SIGTERM, SIGHUP, SIGINT};

// Self-pipe: the handler only writes a byte; the event loop reads it and quits.
int signalPipe[2] = {-1, -1};
struct sigaction savedActions[kTerminationSignals.size()];
bool handlersInstalled = false;
volatile sig_atomic_t signalsReceived = 0;

void onTerminationSignalAsync(int signalNumber) {
  const int savedErrno = errno;
  // A loop that no longer answers must still be stoppable: the third signal ends the process
  // the default way.
  signalsReceived = signalsReceived + 1;
  if (signalsReceived >= 3) {
    ::signal(signalNumber, SIG_DFL);
    ::raise(signalNumber);
  }
  const char byte = static_cast<char>(signalNumber);
  [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
  errno = savedErrno;
}

// A public slot or invokable (never a signal) of `target` with exactly this signature.
QMetaMethod callableMethod(const QObject* target, const QByteArray& signature) {
  const QMetaObject* meta = target->metaObject();
  const int index = meta->indexOfMethod(signature.constData());
  if (index < 0) return {};
  const QMetaMethod method = meta->method(index);
  if (method.methodType() != QMetaMethod::Slot && method.methodType() != QMetaMethod::Method)
    return {};
  if (method.access() != QMetaMethod::Public) return {};
  return method;
}

QByteArray methodName(const char* selector) {
  QByteArray name(selector ? selector : "");
  while (name.endsWith(':')) name.chop(1);
  return name;
}

// Calls name(QObject*) with `argument`, or, when allowed, name().
bool deliver(QObject* target, const QByteArray& name, QObject* argument, bool allowNoArgument) {
  if (!target || name.isEmpty()) return false;
  if (const QMetaMethod m = callableMethod(target, name + "(QObject*)"); m.isValid())
    return m.invoke(target, Qt::DirectConnection, Q_ARG(QObject*, argument));
  if (allowNoArgument) {
    if (const QMetaMethod m = callableMethod(target, name + "()"); m.isValid())
      return m.invoke(target, Qt::DirectConnection);
  }
  return false;
}

}  // namespace

Application& Application::shared() {
  static Application instance;
  return instance;
}

Application::Application() = default;

Application::~Application() { restoreTerminationSignals(); }

void Application::setDelegate(QObject* delegate) { delegate_ = delegate; }

void Application::setMainWindow(QWidget* window) {
  if (mainWindow_ == window) return;
  if (mainWindow_) mainWindow_->removeEventFilter(this);
  mainWindow_ = window;
  if (window) window->installEventFilter(this);
}

bool Application::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Close && watched == mainWindow_ && running_) {
    // The window may still refuse to close; decide once the event has been handled.
    QTimer::singleShot(0, this, [this] {
      if (!mainWindow_ || !mainWindow_->isVisible()) terminate();
    });
  }
  return QObject::eventFilter(watched, event);
}

bool Application::sendAction(const char* selector, QObject* sender) {
  const QByteArray name = methodName(selector);
  // The application object answers first, as it stands before its delegate in the chain.
  if (deliver(this, name, sender, false)) return true;
  return deliver(delegate_, name, sender, false);
}

int Application::run(const InterfaceLoader& loadInterface) {
  if (!QCoreApplication::instance() || running_) return 1;
  running_ = true;
  quitRequested_ = false;
  signalsReceived = 0;
  installTerminationSignals();

  QObject* loaded = loadInterface ? loadInterface() : nullptr;
  if (!loaded) {
    restoreTerminationSignals();
    running_ = false;
    return 1;
  }
  setDelegate(loaded);
  deliver(delegate_, "awakeFromNib", this, true);
  deliver(delegate_, "applicationDidFinishLaunching", this, true);

  int code = 0;
  if (!quitRequested_) {
    inEventLoop_ = true;
    code = QCoreApplication::exec();
    inEventLoop_ = false;
  }

  deliver(delegate_, "applicationWillTerminate", this, true);
  if (services_) services_->unregister();
  // What the delegate stored on its way out must reach the disk.
  UserDefaults::standardUserDefaults().synchronize();
  restoreTerminationSignals();
  running_ = false;
  return code;
}

int Application::applicationMain(int& argc, char** argv, const InterfaceLoader& loadInterface) {
  QApplication application(argc, argv);
  return shared().run(loadInterface);
}

void Application::terminate(QObject*) {
  if (inEventLoop_) QCoreApplication::exit(0);
  else if (running_) quitRequested_ = true;
}

void Application::activateIgnoringOtherApps(bool) {
  QWidget* window = mainWindow_;
  if (!window) window = QApplication::activeWindow();
  if (!window) return;
  if (window->isMinimized())
    window->setWindowState((window->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
  window->show();
  window->raise();
  window->activateWindow();
}

void Application::orderFront(QWidget* window) {
  if (!window) return;
  window->show();
  window->raise();
}

ServicesProvider& Application::servicesProvider() {
  if (!services_) services_ = new ServicesProvider(this);
  return *services_;
}

bool Application::setServicesProvider(QObject* provider) {
  return servicesProvider().registerProvider(provider);
}

void Application::installTerminationSignals() {
  if (handlersInstalled) return;
  if (signalPipe[0] < 0 && ::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    signalPipe[0] = signalPipe[1] = -1;
    return;  // without a pipe the default handling stays in force
  }
  signalNotifier_ = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
  connect(signalNotifier_, &QSocketNotifier::activated, this, &Application::onTerminationSignal);

  struct sigaction action = {};
  action.sa_handler = onTerminationSignalAsync;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (std::size_t i = 0; i < kTerminationSignals.size(); ++i)
    ::sigaction(kTerminationSignals[i], &action, &savedActions[i]);
  handlersInstalled = true;
}

void Application::restoreTerminationSignals() {
  if (!handlersInstalled) return;
  for (std::size_t i = 0; i < kTerminationSignals.size(); ++i)
    ::sigaction(kTerminationSignals[i], &savedActions[i], nullptr);
  handlersInstalled = false;
  delete signalNotifier_;
  signalNotifier_ = nullptr;
  // Drop what a late signal wrote, so that the next run does not quit at once.
  char buffer[64];
  while (::read(signalPipe[0], buffer, sizeof buffer) > 0) {}
}

void Application::onTerminationSignal() {
  char buffer[64];
  bool received = false;
  while (::read(signalPipe[0], buffer, sizeof buffer) > 0) received = true;
  if (received) terminate();
}
