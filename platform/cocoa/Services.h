#pragma once
// The Services path on Linux: the running application listens on a local socket named after
// its bundle identifier and user; `vocabulon lookup-selection` sends it text, and the provider
// receives that text on a Pasteboard through handleMenuSelection, on the main thread.
//
// Wire format (all integers big-endian):
//   request: "VCBS", version byte 1, flags byte (bit 0: text follows), uint32 byte count,
//            that many bytes of UTF-8 text (count 0 when there is no text)
//   reply:   "VCBR", uint32 byte count, the provider's error message in UTF-8 (usually none)
// A request that is malformed, not UTF-8, larger than kMaximumTextBytes, from another user, or
// stalled is dropped without an answer and without reaching the provider.
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <functional>

#include "platform/cocoa/Pasteboard.h"

class QIODevice;
class QLocalServer;

class ServicesProvider : public QObject {
  Q_OBJECT
 public:
  // The provider's method: handleMenuSelection(Pasteboard&, const QString& userData,
  // QString* error); the error, when written, goes back to the sender.
  using Handler = std::function<void(Pasteboard&, const QString& userData, QString* error)>;

  static constexpr qint64 kMaximumTextBytes = 16 * 1024 * 1024;
  static constexpr int kMaximumConnections = 8;

  explicit ServicesProvider(QObject* parent = nullptr);
  ~ServicesProvider() override;

  // "<runtime folder>/<bundle identifier>.services.<uid>": the runtime folder is
  // $XDG_RUNTIME_DIR when it is set, else the temporary folder; the identifier is the main
  // bundle's, else "org.vocabulon.Vocabulon".
  static QString defaultServerName();

  // Makes `provider` the receiver and starts listening: `provider` must have a public slot or
  // Q_INVOKABLE handleMenuSelection(Pasteboard&, const QString&, QString*). False when another
  // instance already listens under the name or the socket cannot be made; a socket left by an
  // instance that ended without closing it is replaced.
  bool registerProvider(QObject* provider, const QString& serverName = QString());
  // The same with a function as the receiver.
  bool registerHandler(Handler handler, const QString& serverName = QString());
  // Stops listening and removes the socket.
  void unregister();

  bool isListening() const;
  QString serverName() const;  // full path of the socket while listening
  QObject* provider() const { return provider_; }

 signals:
  // After each request has been handed to the receiver.
  void requestHandled();

 private:
  friend class ServicesConnection;
  bool listen(const QString& serverName);
  void onNewConnection();
  void deliver(Pasteboard& pasteboard, QString* error);

  QLocalServer* server_;
  QPointer<QObject> provider_;
  Handler handler_;
  int connections_ = 0;
};

enum class ServicesSendResult {
  Delivered,   // the running instance took the request
  NotRunning,  // nobody listens under the name
  Failed,      // someone listens but the exchange failed (see the error)
};

// Sends `text` to the running instance: a null or empty text sends a pasteboard without text
// (the receiver then only comes to the front). Blocks for at most about `timeoutMs`. Must not
// run on the thread of the receiving ServicesProvider.
ServicesSendResult sendToRunningInstance(const QString& text, int timeoutMs, QString* error,
                                         const QString& serverName = QString());
// True when delivered; `error` gets the reason otherwise, or the receiver's message.
bool sendSelectionToRunningInstance(const QString& text, int timeoutMs, QString* error,
                                    const QString& serverName = QString());

struct LookupSelectionOptions {
  QString serverName;        // empty: ServicesProvider::defaultServerName()
  QString program;           // started when no instance runs; empty: this executable
  QStringList arguments;     // its arguments (none by default)
  int launchTimeoutMs = 10000;  // how long a started instance has to begin listening
  int requestTimeoutMs = 5000;
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
