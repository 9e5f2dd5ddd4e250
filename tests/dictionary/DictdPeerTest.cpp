// Every word of the test text gets from our reader exactly the definitions a real dictd
// serving the same WordNet files returns.
#include <gtest/gtest.h>

#include <QFileInfo>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include "dictionary/DictdDictionary.h"
#include "tests/dictionary/Fixtures.h"
#include "tests/dictionary/PeerSupport.h"

namespace {

constexpr char kDictd[] = "/usr/sbin/dictd";
constexpr char kIndex[] = "/usr/share/dictd/wn.index";
constexpr char kData[] = "/usr/share/dictd/wn.dict.dz";

// A dictd in the foreground on 127.0.0.1, stopped when this goes away.
class DictdServer {
 public:
  ~DictdServer() { stop(); }

  bool start(QString* problem) {
    const QString config = dir_.filePath(QStringLiteral("dictd.conf"));
    fixtures::writeBytes(config, QStringLiteral("database wn { data \"%1\" index \"%2\" }\n")
                                     .arg(QLatin1String(kData), QLatin1String(kIndex)).toUtf8());
    // dictd refuses a configuration file that others cannot read.
    const auto readable = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther;
    QFile::setPermissions(dir_.path(), readable | QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther);
    QFile::setPermissions(config, readable);
    for (int attempt = 0; attempt < 3; ++attempt) {
      port_ = freePort();
      process_.setProcessChannelMode(QProcess::MergedChannels);
      process_.start(QLatin1String(kDictd),
                     {QStringLiteral("-c"), config, QStringLiteral("-p"), QString::number(port_),
                      QStringLiteral("--listen-to"), QStringLiteral("127.0.0.1"), QStringLiteral("-d"),
                      QStringLiteral("nodetach"), QStringLiteral("--pid-file"), dir_.filePath(QStringLiteral("dictd.pid"))});
      if (!process_.waitForStarted(10000)) {
        *problem = process_.errorString();
        return false;
      }
      // Ready once it accepts a connection.
      for (int wait = 0; wait < 100 && process_.state() == QProcess::Running; ++wait) {
        QTcpSocket probe;
        probe.connectToHost(QStringLiteral("127.0.0.1"), port_);
        if (probe.waitForConnected(200)) return true;
        QThread::msleep(100);
      }
      process_.waitForFinished(1000);
      *problem = QString::fromLocal8Bit(process_.readAll());
      stop();
    }
    return false;
  }

  void stop() {
    if (process_.state() == QProcess::NotRunning) return;
    process_.terminate();
    if (!process_.waitForFinished(5000)) {
      process_.kill();
      process_.waitForFinished(5000);
    }
  }

  quint16 port() const { return port_; }

 private:
  static quint16 freePort() {
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
  }

  QTemporaryDir dir_;
  QProcess process_;
  quint16 port_ = 0;
};

// The client side of the DICT protocol (RFC 2229), just DEFINE.
class DictClient {
 public:
  bool connect(quint16 port, QString* problem) {
    socket_.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!socket_.waitForConnected(5000)) {
      *problem = socket_.errorString();
      return false;
    }
    const QByteArray banner = readLine();
    if (!banner.startsWith("220")) {
      *problem = QStringLiteral("unexpected greeting: %1").arg(QString::fromUtf8(banner));
      return false;
    }
    return true;
  }

  ~DictClient() {
    if (socket_.state() == QAbstractSocket::ConnectedState) {
      socket_.write("QUIT\r\n");
      socket_.waitForBytesWritten(1000);
      socket_.disconnectFromHost();
    }
  }

  // Sends the DEFINE commands of all the words at once; the answers come in order.
  void sendDefines(const QStringList& words) {
    socket_.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    QByteArray commands;
    for (const QString& word : words) commands += "DEFINE wn \"" + word.toUtf8() + "\"\r\n";
    socket_.write(commands);
  }

  // The bodies of every definition found for the next word (an empty list for none);
  // nothing on a protocol error.
  std::optional<QStringList> nextAnswer(QString* problem) {
    const QByteArray status = readLine();
    if (status.startsWith("552")) return QStringList();
    if (!status.startsWith("150")) {
      *problem = QString::fromUtf8(status);
      return std::nullopt;
    }
    QStringList bodies;
    for (;;) {
      const QByteArray line = readLine();
      if (line.startsWith("250")) return bodies;
      if (!line.startsWith("151")) {
        *problem = QString::fromUtf8(line);
        return std::nullopt;
      }
      QByteArray body;
      for (QByteArray text = readLine(); text != "."; text = readLine()) {
        if (text.isNull()) {
          *problem = QStringLiteral("connection lost");
          return std::nullopt;
        }
        if (text.startsWith("..")) text.remove(0, 1);  // undo the dot-stuffing
        body += text + '\n';
      }
      bodies.append(peers::trimmedEnd(QString::fromUtf8(body)));
    }
  }

 private:
  // One line without its CRLF; a null array when the server goes quiet.
  QByteArray readLine() {
    while (!socket_.canReadLine()) {
      if (!socket_.waitForReadyRead(10000)) return QByteArray();
    }
    QByteArray line = socket_.readLine();
    while (line.endsWith('\n') || line.endsWith('\r')) line.chop(1);
    return line.isNull() ? QByteArray("") : line;
  }

  QTcpSocket socket_;
};

TEST(DictdPeer, EveryWordOfTheTextGetsTheDefinitionsDictdReturns) {
  if (!QFileInfo::exists(QLatin1String(kDictd)) || !QFileInfo::exists(QLatin1String(kIndex)) ||
      !QFileInfo::exists(QLatin1String(kData))) {
    GTEST_SKIP() << "dictd or the WordNet dictionary (dict-wn) is not installed";
  }
  QString textPath;
  const QStringList words = peers::textWords(&textPath);
  ASSERT_FALSE(words.isEmpty()) << "cannot read " << textPath.toStdString();

  QString problem;
  auto ours = dictionary::DictdDictionary::open(QLatin1String(kIndex), QLatin1String(kData), &problem);
  ASSERT_TRUE(ours) << problem.toStdString();

  DictdServer server;
  ASSERT_TRUE(server.start(&problem)) << "dictd did not start: " << problem.toStdString();
  DictClient client;
  ASSERT_TRUE(client.connect(server.port(), &problem)) << problem.toStdString();

  int defined = 0;
  QStringList mismatches;
  client.sendDefines(words);
  for (const QString& word : words) {
    const std::optional<QStringList> bodies = client.nextAnswer(&problem);
    ASSERT_TRUE(bodies) << word.toStdString() << ": " << problem.toStdString();
    const std::optional<QString> expected =
        bodies->isEmpty() ? std::nullopt : std::optional<QString>(bodies->join(QStringLiteral("\n\n")));
    QString error;
    const std::optional<QString> actual = ours->define(word, &error);
    EXPECT_TRUE(error.isEmpty()) << word.toStdString() << ": " << error.toStdString();
    if (expected) ++defined;
    if (actual != expected) {
      mismatches.append(QStringLiteral("%1: dictd %2 definitions, ours %3")
                            .arg(word).arg(bodies->size()).arg(actual ? QStringLiteral("differ") : QStringLiteral("none")));
    }
  }
  EXPECT_TRUE(mismatches.isEmpty()) << mismatches.size() << " of " << words.size() << " words differ:\n"
                                    << mismatches.mid(0, 20).join(QLatin1Char('\n')).toStdString();
  // WordNet knows most words of ordinary English prose; fewer means the comparison saw nothing.
  EXPECT_GT(defined, words.size() / 2);
}

}  // namespace
