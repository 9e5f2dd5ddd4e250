// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Services path on Linux: the running application listens on a local socket named after
// its bundle identifier, in a folder that only its user can reach; `vocabulon lookup-selection`
// sends it text, and the provider receives that text on a Pasteboard through
// handleMenuSelection, on the main thread. A lock file beside the socket makes the instance
// that holds it the only one: a second launch hands its request over instead of opening a
// second window.
//
// Wire format (all integers big-endian):
//   request: "VCBS", version byte 1, flags byte (bit 0: text follows), uint32 byte count,
//            that many bytes of UTF-8 text (count 0 when there is no text)
//   reply:   "VCBR" (taken) or "VCBX" (refused), uint32 byte count, a message in UTF-8: the
//            provider's error message (usually none), or why the request was refused
// A request that is malformed, not UTF-8, from another user, or stalled is dropped without an
// answer and without reaching the provider; one that announces more than kMaximumTextBytes is
// refused with a message.
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <map>
#include <memory>

#include "platform/cocoa/Pasteboard.h"

class QIODevice;
class QLocalServer;
class QLocalSocket;
class QTimer;

class ServicesProvider : public QObject {
  Q_OBJECT
 public:
  // The provider's method: handleMenuSelection(Pasteboard&, const QString& userData,
  // QString* error); the error, when written, goes back to the sender.
  using Handler = std::function<void(Pasteboard&, const QString& userData, QString* error)>;

  // The most text one request may carry: about 170,000 words, a book of 500 pages, far more
  // than a person selects to read the definitions of, and already a lookup of over a minute.
  static constexpr qint64 kMaximumTextBytes = 1024 * 1024;
  // Connections read at the same time; more wait, unread, in the queue of the socket.
  static constexpr int kMaximumConnections = 64;
  // A connection that sends nothing for this long, or has not finished its request after
  // kRequestMilliseconds, is dropped, so that silent clients cannot hold the others off.
  static constexpr int kIdleMilliseconds = 2000;
  static constexpr int kRequestMilliseconds = 5000;

  explicit ServicesProvider(QObject* parent = nullptr);
  ~ServicesProvider() override;

  // "<private folder>/<bundle identifier>.services", where the private folder is the first
  // that is ours alone (owned by this user, no access for anyone else): $XDG_RUNTIME_DIR; else
  // "vocabulon-<uid>" in the temporary folder, created with mode 0700; else "vocabulon" in the
  // user's cache folder, created likewise. Empty when none is usable. The identifier is the
  // main bundle's, else "org.vocabulon.Vocabulon".
  static QString defaultServerName();

  // Takes the single-instance lock of the name for this provider (kept until unregister() or
  // destruction). False when another live instance holds it.
  bool claim(const QString& serverName = QString());
  bool hasClaim() const { return lockDescriptor_ >= 0; }
  // True when some process holds the lock of the name: an instance runs, or is starting.
  static bool instanceHoldsLock(const QString& serverName = QString());

  // Makes `provider` the receiver and starts listening: `provider` must have a public slot or
  // Q_INVOKABLE handleMenuSelection(Pasteboard&, const QString&, QString*). False when another
  // instance holds the name or the socket cannot be made; a socket that an instance left
  // behind when it ended is replaced, anything else under the name is left alone.
  bool registerProvider(QObject* provider, const QString& serverName = QString());
  // The same with a function as the receiver.
  bool registerHandler(Handler handler, const QString& serverName = QString());
  // Stops listening, removes the socket and gives up the lock.
  void unregister();

  // Hands `text` to the receiver as a request of this process would arrive (after those
  // already waiting); a null text carries no text.
  void deliverLocally(const QString& text);

  bool isListening() const;
  QString serverName() const;  // full path of the socket while listening
  QObject* provider() const { return provider_; }

 signals:
  // After each request has been handed to the receiver.
  void requestHandled();

 private:
  struct Connection;
  struct Request {
    quint64 connection = 0;  // 0: from this process, nobody to answer
    QString text;            // null when the request carries no text
  };

  bool listen(const QString& serverName);
  void releaseClaim();
  void acceptConnections();
  void readFrom(quint64 id);
  void answer(quint64 id, const char* magic, const QString& message);
  void close(quint64 id);
  void sweep();
  void deliverQueued();
  void deliver(Pasteboard& pasteboard, QString* error);

  QLocalServer* server_;
  QTimer* sweepTimer_;
  QPointer<QObject> provider_;
  Handler handler_;
  QString claimedName_;
  int lockDescriptor_ = -1;
  quint64 nextConnection_ = 1;
  std::map<quint64, std::unique_ptr<Connection>> connections_;
  std::deque<Request> queue_;
  bool delivering_ = false;
};

enum class ServicesSendResult {
  Delivered,   // the running instance took the request
  NotRunning,  // nobody listens under the name
  Failed,      // someone listens but the exchange failed, or the request was refused
};

// Sends `text` to the running instance: a null or empty text sends a pasteboard without text
// (the receiver then only comes to the front). A listener whose queue is full is tried again,
// with growing pauses, until about `timeoutMs` have passed. Must not run on the thread of the
// receiving ServicesProvider.
ServicesSendResult sendToRunningInstance(const QString& text, int timeoutMs, QString* error,
                                         const QString& serverName = QString());
// True when delivered; `error` gets the reason otherwise, or the receiver's message.
bool sendSelectionToRunningInstance(const QString& text, int timeoutMs, QString* error,
                                    const QString& serverName = QString());

// The message for a text of `bytes` UTF-8 bytes that is too long to send.
QString servicesTextTooLongMessage(qint64 bytes);

struct LookupSelectionOptions {
  QString serverName;        // empty: ServicesProvider::defaultServerName()
  QString program;           // started when no instance runs; empty: this executable
  QStringList arguments;     // its arguments (none by default)
  int launchTimeoutMs = 15000;  // how long a started instance has to begin listening
  int requestTimeoutMs = 10000;
};

// The text to send: the arguments joined by spaces; else standard input when it is not a
// terminal (read to its end, trailing line breaks dropped; at most kMaximumTextBytes, else
// `tooLong` is set); else, with a QGuiApplication, the primary selection, else the clipboard.
QString lookupSelectionText(const QStringList& arguments, QIODevice* standardInput,
                            bool* tooLong = nullptr);

// The command `vocabulon lookup-selection [WORDS...]`: sends the text to the running instance,
// starting one when none runs and waiting (boundedly) until it listens. Messages go to
// `errorOutput`. 0 on success, 1 on failure.
int lookupSelection(const QStringList& arguments, QIODevice* standardInput,
                    QIODevice* errorOutput, const LookupSelectionOptions& options = {});

// A second launch of the window: while another instance holds the name, hands it `text` (a
// null text only brings its window to the front) and answers true with `*exitCode` set (0
// delivered, 1 failed, with a message on `errorOutput`). Answers false when this process is
// the only instance: `provider` then holds the claim and the window is to be opened.
bool handOverToRunningInstance(ServicesProvider& provider, const QString& text,
                               QIODevice* errorOutput, int* exitCode, int timeoutMs = 15000);
