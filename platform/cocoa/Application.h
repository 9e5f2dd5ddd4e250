// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The application object: its delegate, the action dispatch of menus and controls, the main
// routine that runs the event loop, and an orderly end on quit, window close or a session's
// termination signals.
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <functional>

class ServicesProvider;
class QSocketNotifier;

class Application : public QObject {
  Q_OBJECT
 public:
  // Loads the interface (windows, controls, the controller) and returns the delegate, or
  // nullptr when nothing could be loaded.
  using InterfaceLoader = std::function<QObject*()>;

  static Application& shared();

  void setDelegate(QObject* delegate);
  QObject* delegate() const { return delegate_; }

  // The window whose closing ends the application, and which activation brings forward.
  void setMainWindow(QWidget* window);
  QWidget* mainWindow() const { return mainWindow_; }

  // Delivers an action, named like a selector ("buttonClicked" or "buttonClicked:"), to the
  // first of the application and its delegate that has a public slot or Q_INVOKABLE method of
  // that name taking one QObject*; called directly on the current thread. False when nothing
  // took it.
  bool sendAction(const char* selector, QObject* sender);

  // The application main routine, with a QApplication already constructed. Sends awakeFromNib
  // and applicationDidFinishLaunching(QObject*) to the delegate that the loader returns, runs
  // the event loop, then sends applicationWillTerminate(QObject*) and writes the user defaults
  // to disk. Returns the event loop's exit code, or 1 when the loader returns nothing.
  int run(const InterfaceLoader& loadInterface);
  // The same, constructing the QApplication from the program's arguments.
  static int applicationMain(int& argc, char** argv, const InterfaceLoader& loadInterface);

  // Ends the event loop (at once when it runs, else as soon as it starts).
  Q_INVOKABLE void terminate(QObject* sender = nullptr);
  bool isRunning() const { return running_; }

  // Shows, raises and activates the main window, restoring it when minimized.
  void activateIgnoringOtherApps(bool flag);
  // Shows and raises a window, without taking the focus.
  static void orderFront(QWidget* window);

  // The receiver of Services requests (created on first use, owned by the application).
  ServicesProvider& servicesProvider();
  // Makes `provider` the receiver of Services requests and starts listening for them.
  bool setServicesProvider(QObject* provider);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  Application();
  ~Application() override;
  void installTerminationSignals();
  void restoreTerminationSignals();
  void onTerminationSignal();

  QPointer<QObject> delegate_;
  QPointer<QWidget> mainWindow_;
  ServicesProvider* services_ = nullptr;
  QSocketNotifier* signalNotifier_ = nullptr;
  bool running_ = false;       // inside run(), from launching to the end of termination
  bool inEventLoop_ = false;
  bool quitRequested_ = false;  // terminate() came before the event loop started
};
