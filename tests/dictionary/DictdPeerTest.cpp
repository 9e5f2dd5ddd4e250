// SPDX-License-Identifier: GPL-3.0-or-later
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
#include "dictionary/DictdWriter.h"
#include "tests/dictionary/Fixtures.h"
#include "tests/dictionary/PeerSupport.h"

namespace {

constexpr char kDictd[] = "/usr/sbin/dictd";
constexpr char kIndex[] = "/usr/share/dictd/wn.index";
constexpr char kData[] = "/usr/share/dictd/wn.dict.dz";

struct Database {
  QString name, data, index;
};

// A dictd in the foreground on 127.0.0.1, stopped when this goes away.
class DictdServer {
 public:
  ~DictdServer() { stop(); }

  // A folder dictd may read, for dictionaries written by the test.
  QString folder() const { return dir_.path(); }

  bool start(const QList<Database>& databases, QString* problem) {
    const QString config = dir_.filePath(QStringLiteral("dictd.conf"));
    QString text;
    for (const Database& database : databases) {
      text += QStringLiteral("database %1 { data \"%2\" index \"%3\" }\n").arg(database.name, database.data, database.index);
    }
    fixtures::writeBytes(config, text.toUtf8());
    // dictd refuses a configuration file that others cannot read.
    const auto readable = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther;
    QFile::setPermissions(dir_.path(), readable | QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther);
    QFile::setPermissions(config, readable);
    for (int attempt = 0; attempt < 3; ++attempt) {
      port_ = freePort();
      // dictd logs every query; a file never fills up as a pipe would.
      process_.setProcessChannelMode(QProcess::MergedChannels);
      process_.setStandardOutputFile(dir_.filePath(QStringLiteral("dictd.log")));
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
      *problem = QString::fromLocal8Bit(fixtures::readBytes(dir_.filePath(QStringLiteral("dictd.log"))));
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
  void sendDefines(const QByteArray& database, const QStringList& words) {
    socket_.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    QByteArray commands;
    for (const QString& word : words) commands += "DEFINE " + database + " \"" + word.toUtf8() + "\"\r\n";
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

// Our answers for the words against dictd's; the mismatches, and how many words dictd defined.
QStringList compare(DictClient& client, const QByteArray& database, const dictionary::Dictionary& ours,
                    const QStringList& words, int* defined) {
  QStringList mismatches;
  client.sendDefines(database, words);
  for (const QString& word : words) {
    QString problem;
    const std::optional<QStringList> bodies = client.nextAnswer(&problem);
    if (!bodies) return {QStringLiteral("%1: protocol error %2").arg(word, problem)};
    const std::optional<QString> expected =
        bodies->isEmpty() ? std::nullopt : std::optional<QString>(bodies->join(QStringLiteral("\n\n")));
    QString error;
    const std::optional<QString> actual = ours.define(word, &error);
    if (!error.isEmpty()) mismatches.append(QStringLiteral("%1: %2").arg(word, error));
    if (expected) ++*defined;
    if (actual != expected) {
      mismatches.append(QStringLiteral("%1: dictd %2 definitions, ours %3")
                            .arg(word).arg(bodies->size()).arg(actual ? QStringLiteral("differ") : QStringLiteral("none")));
    }
  }
  return mismatches;
}

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
  ASSERT_TRUE(server.start({{QStringLiteral("wn"), QLatin1String(kData), QLatin1String(kIndex)}}, &problem))
      << "dictd did not start: " << problem.toStdString();
  DictClient client;
  ASSERT_TRUE(client.connect(server.port(), &problem)) << problem.toStdString();

  int defined = 0;
  const QStringList mismatches = compare(client, "wn", *ours, words, &defined);
  EXPECT_TRUE(mismatches.isEmpty()) << mismatches.size() << " of " << words.size() << " words differ:\n"
                                    << mismatches.mid(0, 20).join(QLatin1Char('\n')).toStdString();
  // WordNet knows most words of ordinary English prose; fewer means the comparison saw nothing.
  EXPECT_GT(defined, words.size() / 2);
}

// dictd serves what our writer makes (order, dictzip chunks, special entries) as we read it.
TEST(DictdPeer, DictdReadsOurWriterTheWayWeDo) {
  if (!QFileInfo::exists(QLatin1String(kDictd))) GTEST_SKIP() << "dictd is not installed";
  DictdServer server;
  QList<dictionary::DictdEntry> entries;
  QStringList words;
  for (int i = 0; i < 400; ++i) {
    // Repeated headwords in several spellings, punctuation that does not count, varied lengths.
    const QString word = QStringLiteral("%1%2").arg(QLatin1String(i % 3 ? "item" : "Item-")).arg(i % 150);
    entries.append({word, word + QLatin1Char('\n') + QString::fromUtf8(fixtures::proseBytes(20 + (i * 37) % 700, i))});
    words << word << word.toUpper();
  }
  words << QStringLiteral("item") << QStringLiteral("nothing") << QStringLiteral("00-database-short");
  dictionary::DictdWriterOptions options;
  options.shortName = QStringLiteral("Items");
  options.utf8 = false;  // dictd in the C locale refuses utf8 dictionaries
  options.chunkLength = 1000;
  dictionary::DictdFiles files;
  QString problem;
  ASSERT_TRUE(dictionary::writeDictd(server.folder() + QStringLiteral("/items"), entries, options, &files, &problem))
      << problem.toStdString();
  auto ours = dictionary::DictdDictionary::open(files.index, files.data, &problem);
  ASSERT_TRUE(ours) << problem.toStdString();
  EXPECT_TRUE(ours->indexWasSorted());

  ASSERT_TRUE(server.start({{QStringLiteral("items"), files.data, files.index}}, &problem))
      << "dictd did not start: " << problem.toStdString();
  DictClient client;
  ASSERT_TRUE(client.connect(server.port(), &problem)) << problem.toStdString();
  int defined = 0;
  const QStringList mismatches = compare(client, "items", *ours, words, &defined);
  EXPECT_TRUE(mismatches.isEmpty()) << mismatches.mid(0, 20).join(QLatin1Char('\n')).toStdString();
  EXPECT_EQ(defined, words.size() - 2);  // all but "item" and "nothing"
}

}  // namespace
