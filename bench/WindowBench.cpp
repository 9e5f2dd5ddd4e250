// SPDX-License-Identifier: GPL-3.0-or-later
// vocabulon-bench-window DICTIONARY TEXT WORDS [RUNS]: the shown window looking up the first
// WORDS words of a text with the dictionary open and warm. It reports the time from Define to
// the last block, the peak memory of the process, the longest pause of the event loop (the
// widest gap between ticks of a 5 ms timer) and, under X11, the longest time a key press waited
// before the window took it: key presses are sent to the window every 10 ms from a second X
// connection, so they queue exactly as a user's would.
//
// vocabulon-bench-window shot DICTIONARY TEXT WORDS FILE [dark] [minimum] [zoomed] [find WORD]:
// a screenshot of the window after such a lookup.
#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QPalette>
#include <QPlainTextEdit>
#include <QScreen>
#include <QStyleFactory>
#include <QTimer>
#include <atomic>
#include <cstdio>
#include <deque>
#include <mutex>
#include <thread>

#ifdef VOCABULON_BENCH_XCB
#include <xcb/xcb.h>
#endif

#include "app/Interface.h"
#include "app/LexoraAppDelegate.h"
#include "bench/Measure.h"
#include "platform/cocoa/UserDefaults.h"

namespace {

// Sends Shift key presses to a window from a thread of its own and records when each was
// sent; the main thread matches each arrival to the oldest press not yet taken.
class InputProbe : public QObject {
 public:
  explicit InputProbe(QWidget* window) {
#ifdef VOCABULON_BENCH_XCB
    if (QGuiApplication::platformName() != QLatin1String("xcb")) return;
    connection_ = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection_)) {
      xcb_disconnect(connection_);
      connection_ = nullptr;
      return;
    }
    window_ = static_cast<xcb_window_t>(window->winId());
    qApp->installEventFilter(this);
#else
    (void)window;
#endif
  }
  ~InputProbe() override {
    stop();
#ifdef VOCABULON_BENCH_XCB
    if (connection_) xcb_disconnect(connection_);
#endif
  }
  bool available() const {
#ifdef VOCABULON_BENCH_XCB
    return connection_ != nullptr;
#else
    return false;
#endif
  }

  void start() {
    if (!available()) return;
    {
      std::lock_guard lock(mutex_);
      sent_.clear();
      longestMs_ = 0;
    }
    running_ = true;
    sender_ = std::thread([this] { sendLoop(); });
  }

  // Stops sending and waits for the presses still queued.
  double stop() {
    if (!sender_.joinable()) return longestMs_;
    running_ = false;
    sender_.join();
    QElapsedTimer drain;
    drain.start();
    while (drain.elapsed() < 2000) {
      {
        std::lock_guard lock(mutex_);
        if (sent_.empty()) break;
      }
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return longestMs_;
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Shift &&
        watched->isWidgetType()) {
      std::lock_guard lock(mutex_);
      if (!sent_.empty()) {
        const double waited = std::chrono::duration<double, std::milli>(Clock::now() - sent_.front()).count();
        longestMs_ = std::max(longestMs_, waited);
        sent_.pop_front();
      }
      return true;
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  void sendLoop() {
#ifdef VOCABULON_BENCH_XCB
    const xcb_setup_t* setup = xcb_get_setup(connection_);
    const xcb_keycode_t shift = 50;  // Shift_L in the X server's default keymap
    (void)setup;
    while (running_) {
      for (const uint8_t type : {uint8_t(XCB_KEY_PRESS), uint8_t(XCB_KEY_RELEASE)}) {
        xcb_key_press_event_t key{};
        key.response_type = type;
        key.detail = shift;
        key.time = XCB_CURRENT_TIME;
        key.root = xcb_setup_roots_iterator(setup).data->root;
        key.event = window_;
        key.same_screen = 1;
        key.state = type == XCB_KEY_RELEASE ? XCB_MOD_MASK_SHIFT : 0;
        if (type == XCB_KEY_PRESS) {
          std::lock_guard lock(mutex_);
          sent_.push_back(Clock::now());
        }
        xcb_send_event(connection_, 0, window_, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&key));
      }
      xcb_flush(connection_);
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
#endif
  }

#ifdef VOCABULON_BENCH_XCB
  xcb_connection_t* connection_ = nullptr;
  xcb_window_t window_ = 0;
#endif
  std::thread sender_;
  std::atomic<bool> running_{false};
  std::mutex mutex_;
  std::deque<Clock::time_point> sent_;
  double longestMs_ = 0;
};

// The widest gap between ticks of a fast timer: how long the event loop went unserved.
class LoopWatch : public QObject {
 public:
  LoopWatch() {
    timer_.setInterval(5);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, [this] {
      longestMs_ = std::max(longestMs_, sinceTick_.nsecsElapsed() / 1e6);
      sinceTick_.restart();
    });
  }
  void start() {
    longestMs_ = 0;
    sinceTick_.start();
    timer_.start();
  }
  double stop() {
    longestMs_ = std::max(longestMs_, sinceTick_.nsecsElapsed() / 1e6);
    timer_.stop();
    return longestMs_;
  }

 private:
  QTimer timer_;
  QElapsedTimer sinceTick_;
  double longestMs_ = 0;
};

LexoraAppDelegate* launch(const QString& title, const QStringList& words) {
  UserDefaults::standardUserDefaults().setObject(title, QStringLiteral("LastDictionaryUsed"));
  UserDefaults::standardUserDefaults().setObject(true, QStringLiteral("lookupOnlyWhenDefineIsClicked"));
  LexoraAppDelegate* controller = loadMainInterface();
  controller->awakeFromNib();
  controller->applicationDidFinishLaunching(nullptr);
  controller->window()->show();
  // Opens the dictionary and warms its caches.
  controller->query_textView->setPlainText(words.mid(0, 50).join(' '));
  controller->buttonClicked(nullptr);
  controller->query_textView->setPlainText(words.join(' '));
  return controller;
}

int windowCommand(const QString& title, const QString& textPath, int count, int runCount) {
  QStringList words = readWords(textPath);
  if (words.size() > count) words = words.mid(0, count);
  LexoraAppDelegate* controller = launch(title, words);
  QWidget* window = controller->window();
  QCoreApplication::processEvents();
  InputProbe probe(window);
  LoopWatch watch;

  std::vector<double> runs, pauses, inputPauses;
  for (int i = 0; i < runCount; ++i) {
    controller->result_textView->clear();
    QCoreApplication::processEvents();
    watch.start();
    probe.start();
    const auto start = Clock::now();
    controller->buttonClicked(nullptr);
    runs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    pauses.push_back(watch.stop());
    inputPauses.push_back(probe.stop());
  }
  const auto longest = [](const std::vector<double>& values) { return *std::max_element(values.begin(), values.end()); };
  std::printf("words=%lld window_ms median=%.1f max=%.1f loop_pause_ms=%.1f", static_cast<long long>(words.size()),
              stats(runs).median, longest(runs), longest(pauses));
  if (probe.available()) std::printf(" input_wait_ms=%.1f", longest(inputPauses));
  std::printf(" result_chars=%lld text_blocks=%d peak_mib=%.1f\n",
              static_cast<long long>(controller->result_textView->toPlainText().size()),
              controller->result_textView->document()->blockCount(), peakMemoryMiB(RUSAGE_SELF));
  return 0;
}

// Qt's own dark palette for the Fusion style, as a dark desktop theme gives it.
QPalette darkPalette() {
  QPalette palette;
  const QColor window(0x35, 0x35, 0x35), base(0x23, 0x23, 0x23), text(0xe6, 0xe6, 0xe6);
  palette.setColor(QPalette::Window, window);
  palette.setColor(QPalette::WindowText, text);
  palette.setColor(QPalette::Base, base);
  palette.setColor(QPalette::AlternateBase, window);
  palette.setColor(QPalette::Text, text);
  palette.setColor(QPalette::Button, window);
  palette.setColor(QPalette::ButtonText, text);
  palette.setColor(QPalette::ToolTipBase, base);
  palette.setColor(QPalette::ToolTipText, text);
  palette.setColor(QPalette::PlaceholderText, QColor(0x90, 0x90, 0x90));
  palette.setColor(QPalette::Highlight, QColor(0x2a, 0x82, 0xda));
  palette.setColor(QPalette::HighlightedText, Qt::white);
  palette.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x80, 0x80, 0x80));
  palette.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x80, 0x80, 0x80));
  return palette;
}

int shotCommand(const QStringList& args) {
  const bool dark = args.contains(QStringLiteral("dark")), minimum = args.contains(QStringLiteral("minimum"));
  QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  if (dark) QApplication::setPalette(darkPalette());
  QStringList words = readWords(args[1]);
  if (words.size() > args[2].toInt()) words = words.mid(0, args[2].toInt());
  LexoraAppDelegate* controller = launch(args[0], words);
  QWidget* window = controller->window();
  if (minimum) window->resize(window->minimumSize());
  controller->buttonClicked(nullptr);
  controller->query_textView->setFocus();
  // Optional: zoomed in twice, and the find bar looking for a word.
  if (args.contains(QStringLiteral("zoomed"))) {
    for (int i = 0; i < 2; ++i) window->findChild<QAction*>(QStringLiteral("zoomInAction"))->trigger();
  }
  const qsizetype find = args.indexOf(QStringLiteral("find"));
  if (find >= 0 && find + 1 < args.size()) {
    window->findChild<QAction*>(QStringLiteral("findAction"))->trigger();
    auto* field = window->findChild<QLineEdit*>(QStringLiteral("findField"));
    field->setText(args[find + 1]);
    QMetaObject::invokeMethod(field, "textEdited", Q_ARG(QString, args[find + 1]));
  }
  QElapsedTimer settle;
  settle.start();
  while (settle.elapsed() < 300) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  QPixmap image = window->screen() ? window->screen()->grabWindow(window->winId()) : QPixmap();
  if (image.isNull() || image.size() != window->size() * window->devicePixelRatio()) image = window->grab();
  return image.save(args[3]) ? 0 : 1;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", qEnvironmentVariableIsSet("DISPLAY") ? "xcb" : "offscreen");
  QApplication application(argc, argv);
  const QStringList args = application.arguments().mid(1);
  if (args.size() >= 5 && args[0] == QLatin1String("shot")) return shotCommand(args.mid(1));
  if (args.size() != 3 && args.size() != 4) {
    std::fprintf(stderr,
                 "usage: vocabulon-bench-window DICTIONARY TEXT WORDS [RUNS]\n"
                 "       vocabulon-bench-window shot DICTIONARY TEXT WORDS FILE [dark] [minimum] [zoomed] [find WORD]\n");
    return 2;
  }
  return windowCommand(args[0], args[1], args[2].toInt(), args.size() == 4 ? std::max(1, args[3].toInt()) : 3);
}
