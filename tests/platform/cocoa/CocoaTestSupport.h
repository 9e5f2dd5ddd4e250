// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Helpers shared by the tests of the user-interface stand-ins.
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QStringList>
#include <chrono>
#include <functional>
#include <future>
#include <ostream>

#include "platform/cocoa/Application.h"

inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

// Processes events until `done` holds; the bound only keeps a broken test from hanging.
inline bool processEventsUntil(const std::function<bool()>& done) {
  const QDeadlineTimer bound(20000);
  while (!done() && !bound.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  return done();
}

inline void flushDeferredDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

// Runs a blocking call on another thread while this one keeps its event loop turning.
template <class F>
auto runBeside(F call) {
  auto future = std::async(std::launch::async, std::move(call));
  while (future.wait_for(std::chrono::milliseconds(2)) != std::future_status::ready)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  return future.get();
}

class ScopedDelegate {
 public:
  explicit ScopedDelegate(QObject* delegate) { Application::shared().setDelegate(delegate); }
  ~ScopedDelegate() { Application::shared().setDelegate(nullptr); }
};

class ScopedVariable {
 public:
  ScopedVariable(const char* name, const QString& value)
      : name_(name), wasSet_(qEnvironmentVariableIsSet(name)), old_(qgetenv(name)) {
    qputenv(name, value.toLocal8Bit());
  }
  ~ScopedVariable() { wasSet_ ? void(qputenv(name_, old_)) : void(qunsetenv(name_)); }

 private:
  const char* name_;
  bool wasSet_;
  QByteArray old_;
};

// An application bundle folder under `parent` whose Info.plist names `identifier`.
inline QString makeBundle(const QString& parent, const QString& identifier) {
  const QString path = parent + QStringLiteral("/Vocabulon.app");
  QDir().mkpath(path + QStringLiteral("/Contents"));
  QFile info(path + QStringLiteral("/Contents/Info.plist"));
  if (info.open(QIODevice::WriteOnly))
    info.write(QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                              "<key>CFBundleIdentifier</key><string>%1</string></dict></plist>\n")
                   .arg(identifier).toUtf8());
  return path;
}
