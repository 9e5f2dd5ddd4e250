// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/cocoa/Services.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMetaObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QStringDecoder>
#include <QThread>
#include <QTimer>
#include <QtEndian>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "platform/cocoa/Bundle.h"
#include "platform/cocoa/UserDefaults.h"

namespace {

constexpr char kRequestMagic[4] = {'V', 'C', 'B', 'S'};
constexpr char kReplyMagic[4] = {'V', 'C', 'B', 'R'};
constexpr char kRefusalMagic[4] = {'V', 'C', 'B', 'X'};
constexpr quint8 kVersion = 1;
constexpr quint8 kFlagHasText = 0x01;
constexpr int kRequestHeaderSize = 10;
constexpr int kReplyHeaderSize = 8;
constexpr quint32 kMaximumReplyBytes = 64 * 1024;
// Room in the kernel's queue for clients the provider has not accepted yet; a client that
// still finds it full tries again.
constexpr int kListenBacklog = 1024;
constexpr int kSweepMilliseconds = 250;
constexpr int kLaunchPollMilliseconds = 50;
constexpr int kLongestRetryPause = 100;

bool peerIsSameUser(int descriptor) {
  struct ucred credentials = {};
  socklen_t size = sizeof credentials;
  if (descriptor < 0 || ::getsockopt(descriptor, SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0)
    return false;
  return credentials.uid == ::geteuid();
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

// A folder is ours alone when it is a real folder (not a link), owned by this user, and
// closed to everyone else; only then can nobody else bind, connect or read inside it.
bool isPrivateFolder(const QString& path) {
  struct stat status = {};
  if (path.isEmpty() || ::lstat(QFile::encodeName(path).constData(), &status) != 0) return false;
  return S_ISDIR(status.st_mode) && status.st_uid == ::geteuid() && (status.st_mode & 077) == 0;
}

// Makes `path` with mode 0700 when it is missing; what is found there must pass the check,
// whoever made it: a folder another user made first is never used.
bool makePrivateFolder(const QString& path) {
  if (path.isEmpty() || !QDir::isAbsolutePath(path)) return false;
  if (::mkdir(QFile::encodeName(path).constData(), 0700) != 0 && errno != EEXIST) return false;
  return isPrivateFolder(path);
}

bool fitsSocketAddress(const QString& path) {
  return QFile::encodeName(path).size() < qsizetype(sizeof(sockaddr_un::sun_path));
}

// Strict UTF-8: a request with broken text is refused rather than delivered with substitutes.
std::optional<QString> decodeUtf8(QByteArrayView bytes) {
  QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
  QString text = decoder.decode(bytes);
  if (decoder.hasError()) return std::nullopt;
  return text;
}

QByteArray frame(const char magic[4], const QByteArray& payload, std::optional<quint8> flags = {}) {
  QByteArray bytes(magic, 4);
  if (flags) {
    bytes.append(char(kVersion));
    bytes.append(char(*flags));
  }
  char size[4];
  qToBigEndian<quint32>(quint32(payload.size()), size);
  bytes.append(size, 4);
  bytes.append(payload);
  return bytes;
}

void writeText(QIODevice* device, const QString& text) {
  if (device) device->write(text.toUtf8());
}

class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  ~Descriptor() { reset(); }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  void reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

// Waits until `fd` is ready for `events`, at most until the deadline.
bool waitFor(int fd, short events, const QDeadlineTimer& deadline) {
  for (;;) {
    const qint64 remaining = deadline.remainingTime();
    if (remaining == 0) return false;
    pollfd entry = {fd, events, 0};
    const int ready = ::poll(&entry, 1, int(qMin<qint64>(remaining, 1000)));
    if (ready > 0) return true;
    if (ready < 0 && errno != EINTR) return false;
  }
}

void pause(int milliseconds, const QDeadlineTimer& deadline) {
  const qint64 remaining = deadline.remainingTime();
  QThread::msleep(ulong(qMax<qint64>(1, qMin<qint64>(milliseconds, remaining))));
}

}  // namespace

// One client: its socket (owned here, deleted later when the connection ends) and what it
// has sent so far. Callbacks find it by number, so a connection that has ended is never
// touched again.
struct ServicesProvider::Connection {
  QLocalSocket* socket = nullptr;
  QByteArray buffer;
  QElapsedTimer accepted;
  QElapsedTimer lastActivity;
  bool complete = false;  // the whole request has arrived (queued, answered or refused)
  bool answered = false;
};

ServicesProvider::ServicesProvider(QObject* parent)
    : QObject(parent), server_(new QLocalServer(this)), sweepTimer_(new QTimer(this)) {
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  server_->setListenBacklogSize(kListenBacklog);
  // Accepted sockets wait in the server's queue only while all our slots are taken; past
  // this many the server stops accepting and the kernel's queue holds the rest.
  server_->setMaxPendingConnections(kMaximumConnections);
  connect(server_, &QLocalServer::newConnection, this, &ServicesProvider::acceptConnections);
  sweepTimer_->setInterval(kSweepMilliseconds);
  connect(sweepTimer_, &QTimer::timeout, this, &ServicesProvider::sweep);
}

ServicesProvider::~ServicesProvider() {
  unregister();
  for (auto& [id, connection] : connections_) {
    QObject::disconnect(connection->socket, nullptr, this, nullptr);
    connection->socket->abort();
    delete connection->socket;
  }
  connections_.clear();
  releaseClaim();
}

QString ServicesProvider::defaultServerName() {
  // Named like the defaults file: an identifier that would leave the folder is not used.
  QString identifier = Bundle::main().bundleIdentifier();
  if (identifier.isEmpty() || identifier.contains(u'/') || identifier.startsWith(u'.'))
    identifier = QString::fromLatin1(UserDefaults::kFallbackIdentifier);
  const QString file = safeIdentifier(identifier) + QStringLiteral(".services");
  const auto usable = [&file](const QString& folder) {
    return fitsSocketAddress(QDir(folder).filePath(file + QStringLiteral(".lock")));
  };

  const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (QDir::isAbsolutePath(runtime) && isPrivateFolder(runtime) && usable(runtime))
    return QDir(runtime).filePath(file);

  const QString temporary =
      QDir(QDir::tempPath()).filePath(QStringLiteral("vocabulon-%1").arg(::geteuid()));
  if (usable(temporary) && makePrivateFolder(temporary)) return QDir(temporary).filePath(file);

  QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
  if (!QDir::isAbsolutePath(cache)) {
    const QString home = qEnvironmentVariable("HOME");
    cache = QDir::isAbsolutePath(home) ? QDir(home).filePath(QStringLiteral(".cache")) : QString();
  }
  if (!cache.isEmpty()) {
    const QString folder = QDir(cache).filePath(QStringLiteral("vocabulon"));
    if (usable(folder) && QDir().mkpath(cache) && makePrivateFolder(folder))
      return QDir(folder).filePath(file);
  }
  return QString();
}

bool ServicesProvider::claim(const QString& requestedName) {
  const QString name = requestedName.isEmpty() ? defaultServerName() : requestedName;
  if (name.isEmpty()) return false;
  if (lockDescriptor_ >= 0) {
    if (claimedName_ == name) return true;
    if (server_->isListening()) return false;  // still serving under the other name
    releaseClaim();
  }
  const QByteArray path = QFile::encodeName(name + QStringLiteral(".lock"));
  const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return false;
  // The lock goes with the process, however it ends, so a crash leaves nothing to clean.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return false;
  }
  lockDescriptor_ = fd;
  claimedName_ = name;
  return true;
}

void ServicesProvider::releaseClaim() {
  if (lockDescriptor_ < 0) return;
  ::close(lockDescriptor_);  // the file stays: removing it would let two instances lock two files
  lockDescriptor_ = -1;
  claimedName_.clear();
}

bool ServicesProvider::instanceHoldsLock(const QString& requestedName) {
  const QString name = requestedName.isEmpty() ? defaultServerName() : requestedName;
  if (name.isEmpty()) return false;
  const QByteArray path = QFile::encodeName(name + QStringLiteral(".lock"));
  const Descriptor fd(::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  if (fd.get() < 0) return false;
  if (::flock(fd.get(), LOCK_SH | LOCK_NB) == 0) {
    ::flock(fd.get(), LOCK_UN);
    return false;
  }
  return errno == EWOULDBLOCK;
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
  releaseClaim();
}

bool ServicesProvider::isListening() const { return server_->isListening(); }

QString ServicesProvider::serverName() const { return server_->fullServerName(); }

bool ServicesProvider::listen(const QString& requestedName) {
  const QString name = requestedName.isEmpty() ? defaultServerName() : requestedName;
  if (name.isEmpty()) return false;
  if (server_->isListening()) {
    if (server_->fullServerName() == name) return true;
    server_->close();
  }
  if (!claim(name)) return false;
  // Holding the lock, whatever socket of ours bears the name was left by an instance that
  // has ended; anything else is left alone.
  const QByteArray path = QFile::encodeName(name);
  struct stat status = {};
  if (::lstat(path.constData(), &status) == 0) {
    if (!S_ISSOCK(status.st_mode) || status.st_uid != ::geteuid()) {
      releaseClaim();
      return false;
    }
    ::unlink(path.constData());
  }
  if (!server_->listen(name)) {
    releaseClaim();
    return false;
  }
  return true;
}

void ServicesProvider::acceptConnections() {
  while (connections_.size() < std::size_t(kMaximumConnections)) {
    QLocalSocket* socket = server_->nextPendingConnection();
    if (!socket) break;
    if (!peerIsSameUser(int(socket->socketDescriptor()))) {
      socket->abort();
      socket->deleteLater();
      continue;
    }
    const quint64 id = nextConnection_++;
    auto connection = std::make_unique<Connection>();
    connection->socket = socket;
    connection->accepted.start();
    connection->lastActivity.start();
    connections_.emplace(id, std::move(connection));
    connect(socket, &QLocalSocket::readyRead, this, [this, id] { readFrom(id); });
    connect(socket, &QLocalSocket::disconnected, this, [this, id] {
      const auto found = connections_.find(id);
      // A client that sent its whole request and left is still served; the answer is dropped.
      if (found != connections_.end() && !(found->second->complete && !found->second->answered))
        close(id);
    });
    if (!sweepTimer_->isActive()) sweepTimer_->start();
    // What came before the connection was taken is read once this loop is done.
    if (socket->bytesAvailable() > 0)
      QMetaObject::invokeMethod(this, [this, id] { readFrom(id); }, Qt::QueuedConnection);
  }
}

void ServicesProvider::readFrom(quint64 id) {
  const auto found = connections_.find(id);
  if (found == connections_.end()) return;
  Connection& connection = *found->second;
  if (connection.complete) {
    connection.socket->readAll();  // nothing may follow a request; it is ignored
    return;
  }
  connection.buffer.append(connection.socket->readAll());
  connection.lastActivity.start();
  QByteArray& buffer = connection.buffer;
  if (buffer.size() < kRequestHeaderSize) return;
  if (!buffer.startsWith(QByteArrayView(kRequestMagic, 4)) || quint8(buffer.at(4)) != kVersion ||
      (quint8(buffer.at(5)) & ~kFlagHasText) != 0)
    return close(id);
  const bool hasText = quint8(buffer.at(5)) & kFlagHasText;
  const quint32 size = qFromBigEndian<quint32>(buffer.constData() + 6);
  if (!hasText && size != 0) return close(id);
  if (size > kMaximumTextBytes) {
    connection.complete = true;
    buffer.clear();
    return answer(id, kRefusalMagic, servicesTextTooLongMessage(size));
  }
  const qint64 total = kRequestHeaderSize + qint64(size);
  if (buffer.size() < total) return;
  if (buffer.size() > total) return close(id);  // nothing may follow the request

  const std::optional<QString> text = decodeUtf8(QByteArrayView(buffer).sliced(kRequestHeaderSize));
  if (!text) return close(id);
  connection.complete = true;
  buffer = QByteArray();
  queue_.push_back({id, hasText ? *text : QString()});
  deliverQueued();
}

void ServicesProvider::deliverLocally(const QString& text) {
  queue_.push_back({0, text});
  deliverQueued();
}

// One request at a time, in the order in which they arrived: a receiver that turns the event
// loop (a dialog) lets more arrive, and they wait their turn rather than cut in.
void ServicesProvider::deliverQueued() {
  if (delivering_) return;
  delivering_ = true;
  const QPointer<ServicesProvider> self(this);
  while (!queue_.empty()) {
    const Request request = std::move(queue_.front());
    queue_.pop_front();
    Pasteboard pasteboard = Pasteboard::withText(request.text);
    QString error;
    deliver(pasteboard, &error);
    if (!self) return;
    emit requestHandled();
    if (!self) return;
    if (request.connection) answer(request.connection, kReplyMagic, error);
  }
  delivering_ = false;
}

void ServicesProvider::answer(quint64 id, const char* magic, const QString& message) {
  const auto found = connections_.find(id);
  if (found == connections_.end()) return;
  Connection& connection = *found->second;
  connection.answered = true;
  connection.lastActivity.start();
  QLocalSocket* socket = connection.socket;
  if (socket->state() != QLocalSocket::ConnectedState) return close(id);
  socket->write(frame(magic, message.toUtf8().left(kMaximumReplyBytes)));
  socket->disconnectFromServer();  // once the answer is written; may end the connection now
  const auto still = connections_.find(id);
  if (still != connections_.end() && still->second->socket->state() == QLocalSocket::UnconnectedState)
    close(id);
}

void ServicesProvider::close(quint64 id) {
  const auto found = connections_.find(id);
  if (found == connections_.end()) return;
  const std::unique_ptr<Connection> connection = std::move(found->second);
  connections_.erase(found);
  QObject::disconnect(connection->socket, nullptr, this, nullptr);
  if (connection->socket->state() != QLocalSocket::UnconnectedState) connection->socket->abort();
  connection->socket->deleteLater();
  if (connections_.empty()) sweepTimer_->stop();
  // A slot is free: take the next client waiting in the queue.
  QMetaObject::invokeMethod(this, &ServicesProvider::acceptConnections, Qt::QueuedConnection);
}

void ServicesProvider::sweep() {
  std::vector<quint64> stale;
  for (const auto& [id, connection] : connections_) {
    const bool waitingForClient = !connection->complete &&
                                  (connection->lastActivity.hasExpired(kIdleMilliseconds) ||
                                   connection->accepted.hasExpired(kRequestMilliseconds));
    // An answer the client never reads does not keep its slot either.
    const bool unreadAnswer =
        connection->answered && connection->lastActivity.hasExpired(kRequestMilliseconds);
    if (waitingForClient || unreadAnswer) stale.push_back(id);
  }
  for (const quint64 id : stale) close(id);
  if (connections_.empty()) sweepTimer_->stop();
}

void ServicesProvider::deliver(Pasteboard& pasteboard, QString* error) {
  const QString userData;
  if (handler_) {
    const Handler handler = handler_;  // the receiver may replace itself while it runs
    handler(pasteboard, userData, error);
    return;
  }
  if (!provider_) return;
  if (!QMetaObject::invokeMethod(provider_, "handleMenuSelection", Qt::DirectConnection,
                                 Q_ARG(Pasteboard&, pasteboard), Q_ARG(QString, userData),
                                 Q_ARG(QString*, error)))
    qWarning("The Services provider has no handleMenuSelection(Pasteboard&,QString,QString*)");
}

QString servicesTextTooLongMessage(qint64 bytes) {
  const QString limit = QStringLiteral("at most 1 MiB (%1 bytes) can be looked up at once")
                            .arg(ServicesProvider::kMaximumTextBytes);
  if (bytes < 0) return QStringLiteral("the text is longer than 1 MiB; %1").arg(limit);
  return QStringLiteral("the text is %1 bytes long; %2").arg(bytes).arg(limit);
}

ServicesSendResult sendToRunningInstance(const QString& text, int timeoutMs, QString* error,
                                         const QString& serverName) {
  auto fail = [error](const QString& why) {
    if (error) *error = why;
    return ServicesSendResult::Failed;
  };
  const QByteArray utf8 = text.toUtf8();
  if (utf8.size() > ServicesProvider::kMaximumTextBytes) return fail(servicesTextTooLongMessage(utf8.size()));
  const QString name = serverName.isEmpty() ? ServicesProvider::defaultServerName() : serverName;
  if (name.isEmpty())
    return fail(QStringLiteral("no folder of this user's alone to hold the Services socket"));
  const QByteArray path = QFile::encodeName(name);
  if (!fitsSocketAddress(name)) return fail(QStringLiteral("the socket path %1 is too long").arg(name));
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.constData(), std::size_t(path.size()));

  const QDeadlineTimer deadline(qMax(0, timeoutMs));
  Descriptor socket;
  // A full queue (EAGAIN) means the instance is busy, not gone: try again after a pause that
  // grows, with a little jitter so that a crowd of clients does not return all at once.
  int pauseMs = 1;
  for (;;) {
    socket.reset(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (socket.get() < 0) return fail(QString::fromLocal8Bit(std::strerror(errno)));
    if (::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) break;
    const int cause = errno;
    socket.reset();
    if (cause == EAGAIN || cause == EINTR) {
      if (deadline.hasExpired())
        return fail(QStringLiteral("the running instance was too busy to take the text in time"));
      pause(pauseMs + int(QRandomGenerator::global()->bounded(pauseMs + 1)), deadline);
      pauseMs = qMin(pauseMs * 2, kLongestRetryPause);
      continue;
    }
    if (cause == ENOENT || cause == ECONNREFUSED) {
      if (error) *error = QStringLiteral("no running instance listens at %1").arg(name);
      return ServicesSendResult::NotRunning;
    }
    return fail(QStringLiteral("cannot reach %1: %2").arg(name, QString::fromLocal8Bit(std::strerror(cause))));
  }
  if (!peerIsSameUser(socket.get())) return fail(QStringLiteral("%1 belongs to another user").arg(name));

  const QByteArray request = frame(kRequestMagic, utf8, quint8(text.isEmpty() ? 0 : kFlagHasText));
  qsizetype sent = 0;
  while (sent < request.size()) {
    const ssize_t written = ::send(socket.get(), request.constData() + sent,
                                   std::size_t(request.size() - sent), MSG_NOSIGNAL);
    if (written > 0) {
      sent += written;
    } else if (written < 0 && errno == EINTR) {
      continue;
    } else if (written < 0 && errno == EAGAIN) {
      if (!waitFor(socket.get(), POLLOUT, deadline))
        return fail(QStringLiteral("the running instance did not take the text in time"));
    } else {
      break;  // closed on us; its answer, if any, says why
    }
  }

  QByteArray reply;
  for (;;) {
    if (reply.size() >= kReplyHeaderSize) {
      const bool taken = reply.startsWith(QByteArrayView(kReplyMagic, 4));
      const bool refused = reply.startsWith(QByteArrayView(kRefusalMagic, 4));
      const quint32 size = qFromBigEndian<quint32>(reply.constData() + 4);
      if ((!taken && !refused) || size > kMaximumReplyBytes)
        return fail(QStringLiteral("the running instance gave an unknown answer"));
      if (reply.size() >= kReplyHeaderSize + qint64(size)) {
        const QString message = QString::fromUtf8(reply.sliced(kReplyHeaderSize, size));
        if (refused) return fail(message);
        if (error) *error = message;
        return ServicesSendResult::Delivered;
      }
    }
    char chunk[4096];
    const ssize_t received = ::recv(socket.get(), chunk, sizeof chunk, 0);
    if (received > 0) {
      reply.append(chunk, received);
    } else if (received == 0) {
      return fail(QStringLiteral("the running instance refused the request"));
    } else if (errno == EINTR) {
      continue;
    } else if (errno == EAGAIN) {
      if (!waitFor(socket.get(), POLLIN, deadline))
        return fail(QStringLiteral("the running instance did not answer in time"));
    } else {
      return fail(QStringLiteral("the running instance refused the request"));
    }
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
      // Trailing line breaks are dropped below, so allow for a couple before refusing.
      if (bytes.size() > ServicesProvider::kMaximumTextBytes + 2) {
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
  const auto failure = [errorOutput](const QString& message) {
    writeText(errorOutput, QStringLiteral("lookup-selection: %1\n").arg(message));
    return 1;
  };
  bool tooLong = false;
  const QString text = lookupSelectionText(arguments, standardInput, &tooLong);
  const qint64 bytes = tooLong ? -1 : text.toUtf8().size();
  if (tooLong || bytes > ServicesProvider::kMaximumTextBytes)
    return failure(servicesTextTooLongMessage(bytes) + QStringLiteral("; nothing was sent"));
  const QString name =
      options.serverName.isEmpty() ? ServicesProvider::defaultServerName() : options.serverName;
  if (name.isEmpty())
    return failure(QStringLiteral("no folder of this user's alone to hold the Services socket"));

  QString error;
  ServicesSendResult result = sendToRunningInstance(text, options.requestTimeoutMs, &error, name);
  if (result == ServicesSendResult::NotRunning) {
    // An instance that holds the lock is starting and will listen soon: start none of our own.
    const QString program =
        options.program.isEmpty() ? QCoreApplication::applicationFilePath() : options.program;
    qint64 pid = 0;
    bool started = false;
    const QDeadlineTimer deadline(qMax(0, options.launchTimeoutMs));
    while (result == ServicesSendResult::NotRunning) {
      if (!started && !ServicesProvider::instanceHoldsLock(name)) {
        QProcess process;
        process.setProgram(program);
        process.setArguments(options.arguments);
        process.setStandardInputFile(QProcess::nullDevice());
        process.setStandardOutputFile(QProcess::nullDevice());
        if (!process.startDetached(&pid)) return failure(QStringLiteral("cannot start %1").arg(program));
        started = true;
      }
      if (deadline.hasExpired()) break;
      QThread::msleep(kLaunchPollMilliseconds);
      result = sendToRunningInstance(text, options.requestTimeoutMs, &error, name);
      if (result == ServicesSendResult::NotRunning && started && pid > 0 &&
          ::kill(pid_t(pid), 0) != 0 && errno == ESRCH && !ServicesProvider::instanceHoldsLock(name)) {
        error = QStringLiteral("%1 ended before it could take the text").arg(program);
        break;
      }
    }
  }
  if (result == ServicesSendResult::Delivered) {
    if (!error.isEmpty()) writeText(errorOutput, QStringLiteral("lookup-selection: %1\n").arg(error));
    return 0;
  }
  return failure(error);
}

bool handOverToRunningInstance(ServicesProvider& provider, const QString& text,
                               QIODevice* errorOutput, int* exitCode, int timeoutMs) {
  const QString name = ServicesProvider::defaultServerName();
  if (name.isEmpty()) return false;  // no Services at all; the window still opens
  const QDeadlineTimer deadline(qMax(0, timeoutMs));
  for (;;) {
    if (provider.claim(name)) return false;
    // Another instance holds the name; once it listens it takes the request.
    QString error;
    const ServicesSendResult result =
        sendToRunningInstance(text, int(qMax<qint64>(1, deadline.remainingTime())), &error, name);
    if (result != ServicesSendResult::NotRunning || deadline.hasExpired()) {
      if (!error.isEmpty()) writeText(errorOutput, QStringLiteral("vocabulon: %1\n").arg(error));
      *exitCode = result == ServicesSendResult::Delivered ? 0 : 1;
      return true;
    }
    QThread::msleep(kLaunchPollMilliseconds);
  }
}
