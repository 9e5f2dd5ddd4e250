// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/cocoa/SystemLog.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <syslog.h>
#include <thread>

namespace {

void writeToSystemLog(const QByteArray& line) {
  static const bool opened = [] {
    openlog("vocabulon", LOG_PID | LOG_NDELAY, LOG_USER);
    return true;
  }();
  (void)opened;
  syslog(LOG_INFO, "%s", line.constData());
}

class LogWriter {
 public:
  // Past this many queued characters the caller waits: a bound on memory, never a loss.
  static constexpr qsizetype kMaxQueuedChars = 2 * 1024 * 1024;

  LogWriter() : thread_([this] { run(); }) {}

  ~LogWriter() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }

  void append(const QString& line) {
    std::unique_lock lock(mutex_);
    drained_.wait(lock, [this] { return queuedChars_ < kMaxQueuedChars; });
    queue_.push_back(line);
    queuedChars_ += line.size();
    if (queue_.size() == 1) wake_.notify_one();
  }

  void flush() {
    std::unique_lock lock(mutex_);
    drained_.wait(lock, [this] { return queue_.empty() && !writing_; });
  }

  void setSink(std::function<void(const QByteArray&)> sink) {
    std::unique_lock lock(mutex_);
    drained_.wait(lock, [this] { return queue_.empty() && !writing_; });
    sink_ = sink ? std::move(sink) : writeToSystemLog;
  }

 private:
  void run() {
    std::unique_lock lock(mutex_);
    for (;;) {
      wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
      if (queue_.empty()) return;  // stopping, with everything written
      std::deque<QString> batch;
      batch.swap(queue_);
      queuedChars_ = 0;
      writing_ = true;
      const auto sink = sink_;
      lock.unlock();
      drained_.notify_all();
      for (const QString& line : batch) sink(line.toUtf8());
      lock.lock();
      writing_ = false;
      drained_.notify_all();
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_, drained_;
  std::deque<QString> queue_;
  qsizetype queuedChars_ = 0;
  bool writing_ = false;
  bool stopping_ = false;
  std::function<void(const QByteArray&)> sink_ = writeToSystemLog;
  std::thread thread_;  // last, so that it starts with everything above in place
};

LogWriter& writer() {
  static LogWriter instance;
  return instance;
}

}  // namespace

void NSLog(const QString& line) { writer().append(line); }

void NSLogFlush() { writer().flush(); }

void setSystemLogSink(std::function<void(const QByteArray& line)> sink) { writer().setSink(std::move(sink)); }
