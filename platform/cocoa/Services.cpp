#include "platform/cocoa/Services.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMetaObject>
#include <QProcess>
#include <QStringDecoder>
#include <QThread>
#include <QTimer>
#include <QtEndian>
#include <cerrno>
#include <optional>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "platform/cocoa/Bundle.h"
#include "platform/cocoa/UserDefaults.h"

namespace {

constexpr char kRequestMagic[4] = {'V', 'C', 'B', 'S'};
constexpr char kReplyMagic[4] = {'V', 'C', 'B', 'R'};
constexpr quint8 kVersion = 1;
constexpr quint8 kFlagHasText = 0x01;
constexpr int kRequestHeaderSize = 10;
constexpr int kReplyHeaderSize = 8;
constexpr quint32 kMaximumErrorBytes = 64 * 1024;
// A connection that sends nothing for this long is dropped, so none can hold a slot for ever.
constexpr int kIdleMilliseconds = 10000;
constexpr int kRetryMilliseconds = 100;

bool peerIsSameUser(qintptr descriptor) {
  struct ucred credentials = {};
  socklen_t size = sizeof credentials;
  if (descriptor < 0 ||
      ::getsockopt(int(descriptor), SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0)
    return false;
  return credentials.uid == ::getuid();
}

QString safeIdentifier(QString identifier) {
  for (QChar& c : identifier) {
    const bool plain = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                       (c >= u'0' && c <= u'9') || c == u'.' || c == u'-' || c == u'_';
    if (!plain) c = u'_';
  }
  if (identifier.isEmpty() || identifier.startsWith(u'.')) identifier.prepend(u'_');
  return identifier;
}

// Strict UTF-8: a request with broken text is refused rather than delivered with substitutes.
std::optional<QString> decodeUtf8(QByteArrayView bytes) {
  QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
  QString text = decoder.decode(bytes);
  if (decoder.hasError()) return std::nullopt;
  return text;
}

QByteArray encodeRequest(const QString& text) {
  const QByteArray utf8 = text.toUtf8();
  QByteArray request;
  request.reserve(kRequestHeaderSize + utf8.size());
  request.append(kRequestMagic, 4);
  request.append(char(kVersion));
  request.append(char(text.isEmpty() ? 0 : kFlagHasText));
  char size[4];
  qToBigEndian<quint32>(quint32(utf8.size()), size);
  request.append(size, 4);
  request.append(utf8);
  return request;
}

void writeText(QIODevice* device, const QString& text) {
  if (device) device->write(text.toUtf8());
}

}  // namespace

// One client's request, read to its end, handed over, answered.
class ServicesConnection : public QObject {
 public:
  ServicesConnection(ServicesProvider* owner, QLocalSocket* socket)
      : QObject(owner), owner_(owner), socket_(socket) {
    socket_->setParent(this);
    idle_.setSingleShot(true);
    idle_.setInterval(kIdleMilliseconds);
    connect(&idle_, &QTimer::timeout, this, &ServicesConnection::drop);
    connect(socket_, &QLocalSocket::readyRead, this, &ServicesConnection::onReadyRead);
    connect(socket_, &QLocalSocket::disconnected, this, &ServicesConnection::finish);
    ++owner_->connections_;
    idle_.start();
  }
  ~ServicesConnection() override { --owner_->connections_; }

  void start() {
    if (!peerIsSameUser(socket_->socketDescriptor())) return drop();
    onReadyRead();
  }

 private:
  void onReadyRead() {
    if (answered_) return;
    idle_.start();
    buffer_.append(socket_->readAll());
    if (buffer_.size() < kRequestHeaderSize) return;
    if (!buffer_.startsWith(QByteArrayView(kRequestMagic, 4)) ||
        quint8(buffer_.at(4)) != kVersion || (quint8(buffer_.at(5)) & ~kFlagHasText) != 0)
      return drop();
    const bool hasText = quint8(buffer_.at(5)) & kFlagHasText;
    const quint32 size = qFromBigEndian<quint32>(buffer_.constData() + 6);
    if (size > ServicesProvider::kMaximumTextBytes || (!hasText && size != 0)) return drop();
    const qint64 total = kRequestHeaderSize + qint64(size);
    if (buffer_.size() < total) return;
    if (buffer_.size() > total) return drop();  // nothing may follow the request

    const std::optional<QString> text =
        decodeUtf8(QByteArrayView(buffer_).sliced(kRequestHeaderSize));
    if (!text) return drop();
    buffer_.clear();
    buffer_.squeeze();
    answered_ = true;
    idle_.stop();

    Pasteboard pasteboard = Pasteboard::withText(hasText ? *text : QString());
    QString error;
    QPointer<ServicesConnection> self(this);
    QPointer<ServicesProvider> owner(owner_);
    owner_->deliver(pasteboard, &error);
    if (owner) emit owner->requestHandled();
    if (!self) return;

    const QByteArray message = error.toUtf8().left(kMaximumErrorBytes);
    QByteArray reply(kReplyMagic, 4);
    char size32[4];
    qToBigEndian<quint32>(quint32(message.size()), size32);
    reply.append(size32, 4);
    reply.append(message);
    socket_->write(reply);
    socket_->disconnectFromServer();  // after the reply has been written
  }

  void drop() {
    socket_->abort();
    finish();
  }

  void finish() {
    idle_.stop();
    disconnect(socket_, nullptr, this, nullptr);
    deleteLater();
  }

  ServicesProvider* owner_;
  QLocalSocket* socket_;
  QByteArray buffer_;
  QTimer idle_;
  bool answered_ = false;
};

ServicesProvider::ServicesProvider(QObject* parent)
    : QObject(parent), server_(new QLocalServer(this)) {
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  connect(server_, &QLocalServer::newConnection, this, &ServicesProvider::onNewConnection);
}

ServicesProvider::~ServicesProvider() {
  unregister();
  // Connections still open go with their children before the counter they update.
  const auto children = findChildren<ServicesConnection*>(Qt::FindDirectChildrenOnly);
  for (ServicesConnection* connection : children) delete connection;
}

QString ServicesProvider::defaultServerName() {
  // Named like the defaults file: an identifier that would leave the folder is not used.
  QString identifier = Bundle::main().bundleIdentifier();
  if (identifier.isEmpty() || identifier.contains(u'/') || identifier.startsWith(u'.'))
    identifier = QString::fromLatin1(UserDefaults::kFallbackIdentifier);
  const QString file = safeIdentifier(identifier) + QStringLiteral(".services.") +
                       QString::number(::getuid());
  QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (folder.isEmpty() || !QDir::isAbsolutePath(folder) || !QFileInfo(folder).isDir())
    folder = QDir::tempPath();
  QString path = QDir(folder).filePath(file);
  // A socket path must fit in sockaddr_un.
  if (QFile::encodeName(path).size() >= qsizetype(sizeof(sockaddr_un::sun_path)))
    path = QDir(QDir::tempPath()).filePath(file.right(80));
  return path;
}

bool ServicesProvider::registerProvider(QObject* provider, const QString& serverName) {
  if (!provider) return false;
  provider_ = provider;
  handler_ = nullptr;
  return listen(serverName);
}

bool ServicesProvider::registerHandler(Handler handler, const QString& serverName) {
  if (!handler) return false;
  handler_ = std::move(handler);
  provider_ = nullptr;
  return listen(serverName);
}

void ServicesProvider::unregister() {
  if (server_->isListening()) server_->close();
}

bool ServicesProvider::isListening() const { return server_->isListening(); }

QString ServicesProvider::serverName() const { return server_->fullServerName(); }

bool ServicesProvider::listen(const QString& requestedName) {
  const QString name = requestedName.isEmpty() ? defaultServerName() : requestedName;
  if (server_->isListening()) {
    if (server_->fullServerName() == name || server_->serverName() == name) return true;
    server_->close();
  }
  // Listening replaces whatever file bears the name, so first make sure that no instance
  // answers there; what a crashed instance left is removed, anything else is left alone.
  QLocalSocket probe;
  probe.connectToServer(name);
  if (probe.waitForConnected(1000)) {
    probe.abort();
    return false;
  }
  const QByteArray path = QFile::encodeName(name);
  struct stat status = {};
  if (::lstat(path.constData(), &status) == 0) {
    if (!S_ISSOCK(status.st_mode) || status.st_uid != ::getuid()) return false;
    ::unlink(path.constData());
  }
  return server_->listen(name);
}

void ServicesProvider::onNewConnection() {
  while (QLocalSocket* socket = server_->nextPendingConnection()) {
    if (connections_ >= kMaximumConnections) {
      socket->abort();
      socket->deleteLater();
      continue;
    }
    auto* connection = new ServicesConnection(this, socket);
    connection->start();
  }
}

void ServicesProvider::deliver(Pasteboard& pasteboard, QString* error) {
  const QString userData;
  if (handler_) {
    handler_(pasteboard, userData, error);
    return;
  }
  if (!provider_) return;
  if (!QMetaObject::invokeMethod(provider_, "handleMenuSelection", Qt::DirectConnection,
                                 Q_ARG(Pasteboard&, pasteboard), Q_ARG(QString, userData),
                                 Q_ARG(QString*, error)))
    qWarning("The Services provider has no handleMenuSelection(Pasteboard&,QString,QString*)");
}

ServicesSendResult sendToRunningInstance(const QString& text, int timeoutMs, QString* error,
                                         const QString& serverName) {
  auto fail = [error](const QString& why) {
    if (error) *error = why;
    return ServicesSendResult::Failed;
  };
  const QByteArray request = encodeRequest(text);
  if (request.size() - kRequestHeaderSize > ServicesProvider::kMaximumTextBytes)
    return fail(QStringLiteral("the text is longer than %1 MiB")
                    .arg(ServicesProvider::kMaximumTextBytes >> 20));

  const QString name = serverName.isEmpty() ? ServicesProvider::defaultServerName() : serverName;
  const QDeadlineTimer deadline(qMax(0, timeoutMs));
  QLocalSocket socket;
  socket.connectToServer(name);
  if (!socket.waitForConnected(int(qMax<qint64>(0, deadline.remainingTime())))) {
    const auto cause = socket.error();
    if (cause == QLocalSocket::ServerNotFoundError || cause == QLocalSocket::ConnectionRefusedError) {
      if (error) *error = QStringLiteral("no running instance listens at %1").arg(name);
      return ServicesSendResult::NotRunning;
    }
    return fail(socket.errorString());
  }
  if (!peerIsSameUser(socket.socketDescriptor()))
    return fail(QStringLiteral("%1 belongs to another user").arg(name));

  socket.write(request);
  while (socket.bytesToWrite() > 0) {
    if (deadline.hasExpired() ||
        !socket.waitForBytesWritten(int(qMax<qint64>(1, deadline.remainingTime()))))
      return fail(QStringLiteral("the running instance did not take the text"));
  }
  QByteArray reply;
  for (;;) {
    reply.append(socket.readAll());
    if (reply.size() >= kReplyHeaderSize) {
      if (!reply.startsWith(QByteArrayView(kReplyMagic, 4)))
        return fail(QStringLiteral("the running instance gave an unknown answer"));
      const quint32 size = qFromBigEndian<quint32>(reply.constData() + 4);
      if (size > kMaximumErrorBytes)
        return fail(QStringLiteral("the running instance gave an unknown answer"));
      if (reply.size() >= kReplyHeaderSize + qint64(size)) {
        if (error) *error = QString::fromUtf8(reply.sliced(kReplyHeaderSize, size));
        return ServicesSendResult::Delivered;
      }
    }
    if (socket.state() != QLocalSocket::ConnectedState && socket.bytesAvailable() == 0)
      return fail(QStringLiteral("the running instance refused the request"));
    if (deadline.hasExpired())
      return fail(QStringLiteral("the running instance did not answer in time"));
    socket.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
  }
}

bool sendSelectionToRunningInstance(const QString& text, int timeoutMs, QString* error,
                                    const QString& serverName) {
  QString message;
  const ServicesSendResult result = sendToRunningInstance(text, timeoutMs, &message, serverName);
  if (error) *error = message;
  return result == ServicesSendResult::Delivered;
}

QString lookupSelectionText(const QStringList& arguments, QIODevice* standardInput,
                            bool* tooLong) {
  if (tooLong) *tooLong = false;
  if (!arguments.isEmpty()) return arguments.join(u' ');

  bool terminal = true;
  if (standardInput && standardInput->isReadable()) {
    const auto* file = qobject_cast<QFile*>(standardInput);
    terminal = file && file->handle() >= 0 && ::isatty(file->handle());
  }
  if (!terminal) {
    QByteArray bytes;
    for (;;) {
      const QByteArray chunk = standardInput->read(64 * 1024);
      if (chunk.isEmpty()) break;
      bytes.append(chunk);
      if (bytes.size() > ServicesProvider::kMaximumTextBytes) {
        if (tooLong) *tooLong = true;
        return QString();
      }
    }
    QString text = QString::fromUtf8(bytes);
    while (text.endsWith(u'\n') || text.endsWith(u'\r')) text.chop(1);
    if (!text.isEmpty()) return text;
  }

  if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (clipboard->supportsSelection()) {
      const QString selection = clipboard->text(QClipboard::Selection);
      if (!selection.isEmpty()) return selection;
    }
    return clipboard->text(QClipboard::Clipboard);
  }
  return QString();
}

int lookupSelection(const QStringList& arguments, QIODevice* standardInput,
                    QIODevice* errorOutput, const LookupSelectionOptions& options) {
  bool tooLong = false;
  const QString text = lookupSelectionText(arguments, standardInput, &tooLong);
  if (tooLong) {
    writeText(errorOutput, QStringLiteral("lookup-selection: the text is longer than %1 MiB\n")
                               .arg(ServicesProvider::kMaximumTextBytes >> 20));
    return 1;
  }
  const QString name =
      options.serverName.isEmpty() ? ServicesProvider::defaultServerName() : options.serverName;

  QString error;
  ServicesSendResult result = sendToRunningInstance(text, options.requestTimeoutMs, &error, name);
  if (result == ServicesSendResult::NotRunning) {
    QProcess process;
    process.setProgram(options.program.isEmpty() ? QCoreApplication::applicationFilePath()
                                                 : options.program);
    process.setArguments(options.arguments);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    qint64 pid = 0;
    if (!process.startDetached(&pid)) {
      writeText(errorOutput, QStringLiteral("lookup-selection: cannot start %1\n")
                                 .arg(process.program()));
      return 1;
    }
    // Wait, boundedly, for the new instance to begin listening.
    const QDeadlineTimer deadline(qMax(0, options.launchTimeoutMs));
    while (result == ServicesSendResult::NotRunning && !deadline.hasExpired()) {
      QThread::msleep(kRetryMilliseconds);
      result = sendToRunningInstance(text, options.requestTimeoutMs, &error, name);
      if (result == ServicesSendResult::NotRunning && pid > 0 && ::kill(pid_t(pid), 0) != 0 &&
          errno == ESRCH) {
        error = QStringLiteral("%1 ended before it could take the text").arg(process.program());
        break;
      }
    }
  }
  if (result == ServicesSendResult::Delivered) {
    if (!error.isEmpty()) writeText(errorOutput, QStringLiteral("lookup-selection: %1\n").arg(error));
    return 0;
  }
  writeText(errorOutput, QStringLiteral("lookup-selection: %1\n").arg(error));
  return 1;
}
