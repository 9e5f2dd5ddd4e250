#include "platform/cocoa/Services.h"

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QLocalSocket>
#include <QtEndian>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "tests/TestEnvironment.h"
#include "tests/platform/cocoa/CocoaTestSupport.h"

namespace {

class MenuSelectionProvider : public QObject {
  Q_OBJECT
 public:
  QStringList received;  // a null string for a request without text
  Q_INVOKABLE void handleMenuSelection(Pasteboard& pasteboard, const QString&, QString* error) {
    received << pasteboard.stringForType(NSStringPboardType);
    if (received.last() == QStringLiteral("complain")) *error = QStringLiteral("no definition");
  }
};

class ServicesTest : public testing::Test {
 protected:
  void SetUp() override { QDir().mkpath(runtime_); }
  bool listen(ServicesProvider& provider) { return provider.registerProvider(&controller_, name_); }
  bool send(const QString& text, QString* error = nullptr) {
    return runBeside([=, this] { return sendSelectionToRunningInstance(text, 20000, error, name_); });
  }

  TestEnvironment environment_;
  QString runtime_ = environment_.path() + QStringLiteral("/run");
  ScopedVariable runtimeVariable_{"XDG_RUNTIME_DIR", runtime_};
  QString name_ = runtime_ + QStringLiteral("/test.services");
  MenuSelectionProvider controller_;
  QStringList& received_ = controller_.received;
};

TEST_F(ServicesTest, TheProviderGetsTheExactTextOnAPasteboard) {
  ServicesProvider provider;
  ASSERT_TRUE(listen(provider));
  QString large;
  while (large.size() < 3 * 1024 * 1024)
    large += QString::fromUtf8("m\xC3\xB6t \xE2\x80\x94 \xE8\xA9\x9E \xF0\x9F\x93\x96\r\n");
  const QStringList texts = {QStringLiteral("word"), QStringLiteral("  spaced  \n"),
                             QString::fromUtf8("Gr\xC3\xBC\xC3\x9F" "e \xE2\x80\x9Cna\xC3\xAFve\xE2\x80\x9D"),
                             large};  // about 9 MB of UTF-8
  for (const QString& text : texts) {
    QString error = QStringLiteral("untouched");
    ASSERT_TRUE(send(text, &error)) << error.toStdString();
    EXPECT_TRUE(error.isEmpty());
    EXPECT_TRUE(received_.last() == text) << received_.last().size() << " vs " << text.size();
  }
  // Without text the provider still hears of the request, with nothing on the pasteboard.
  ASSERT_TRUE(send(QString()));
  EXPECT_TRUE(received_.last().isNull());
  QString error;  // an error the provider writes goes back to the sender
  ASSERT_TRUE(send(QStringLiteral("complain"), &error));
  EXPECT_EQ(error, QStringLiteral("no definition"));
  EXPECT_FALSE(send(QString(ServicesProvider::kMaximumTextBytes + 1, u'a'), &error));  // too much
  EXPECT_EQ(received_.size(), texts.size() + 2);
}

QByteArray request(quint8 version, quint8 flags, quint32 size, const QByteArray& payload) {
  char header[10] = {'V', 'C', 'B', 'S', char(version), char(flags)};
  qToBigEndian(size, header + 6);
  return QByteArray(header, 10) + payload;
}

TEST_F(ServicesTest, MalformedRequestsAreDroppedQuietly) {
  ServicesProvider provider;
  ASSERT_TRUE(listen(provider));
  for (const QByteArray& bytes :
       {QByteArray("GET / HTTP/1.0\r\n\r\n"), request(2, 1, 4, "word"), request(1, 3, 4, "word"),
        request(1, 0, 4, "word"), request(1, 1, 4, "wo\xFF\xFE"), request(1, 1, 1, "\xC3"),
        request(1, 1, 4, "word and more"), request(1, 1, 17 * 1024 * 1024, "refused on the header")}) {
    // The server closes the connection without a word.
    const QByteArray answer = runBeside([&] {
      QLocalSocket socket;
      socket.connectToServer(name_);
      if (!socket.waitForConnected(10000)) return QByteArray("no connection");
      socket.write(bytes);
      QByteArray all;
      while (socket.waitForReadyRead(10000)) all += socket.readAll();
      return all + socket.readAll();
    });
    EXPECT_TRUE(answer.isEmpty()) << bytes.left(12).toHex().constData();
  }
  EXPECT_TRUE(received_.isEmpty());
  ASSERT_TRUE(send(QStringLiteral("after")));  // and still serves
  EXPECT_EQ(received_, QStringList{QStringLiteral("after")});
}

TEST_F(ServicesTest, OneInstanceListensAndWhatACrashLeftIsReplaced) {
  const QByteArray path = QFile::encodeName(name_);
  const int stale = ::socket(AF_UNIX, SOCK_STREAM, 0);  // bound, then left behind
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.constData(), path.size());
  ASSERT_EQ(::bind(stale, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ::close(stale);
  EXPECT_EQ(runBeside([&] { return sendToRunningInstance(QStringLiteral("x"), 5000, nullptr, name_); }),
            ServicesSendResult::NotRunning);

  ServicesProvider first, second;
  ASSERT_TRUE(listen(first));
  struct stat status = {};
  ASSERT_EQ(::stat(path.constData(), &status), 0);
  EXPECT_EQ(status.st_mode & 077, 0u);  // nobody else may connect
  EXPECT_FALSE(listen(second));
  ASSERT_TRUE(send(QStringLiteral("to the first")));
  first.unregister();
  EXPECT_FALSE(QFileInfo::exists(name_));

  QFile other(name_);  // a file that is not a socket is nobody's to remove
  ASSERT_TRUE(other.open(QIODevice::WriteOnly) && other.write("data") == 4);
  other.close();
  EXPECT_FALSE(listen(second));
  EXPECT_EQ(QFileInfo(name_).size(), 4);
}

TEST_F(ServicesTest, LookupSelectionTakesArgumentsThenInputThenTheClipboard) {
  QGuiApplication::clipboard()->setText(QStringLiteral("from the clipboard"));
  EXPECT_EQ(lookupSelectionText({QStringLiteral("two"), QStringLiteral("words")}, nullptr),
            QStringLiteral("two words"));
  QByteArray piped = "piped \xC3\xA9\n\n", nothing, huge(ServicesProvider::kMaximumTextBytes + 1, 'a');
  QBuffer input(&piped), empty(&nothing), hugeInput(&huge);
  for (QBuffer* buffer : {&input, &empty, &hugeInput}) buffer->open(QIODevice::ReadOnly);
  EXPECT_EQ(lookupSelectionText({}, &input), QString::fromUtf8("piped \xC3\xA9"));
  EXPECT_EQ(lookupSelectionText({}, &empty), QStringLiteral("from the clipboard"));
  bool tooLong = false;
  EXPECT_TRUE(lookupSelectionText({}, &hugeInput, &tooLong).isEmpty());
  EXPECT_TRUE(tooLong);
  QGuiApplication::clipboard()->clear();
}

TEST_F(ServicesTest, LookupSelectionStartsAnInstanceWhenNoneRuns) {
  ScopedVariable bundle("VOCABULON_MAIN_BUNDLE", makeBundle(environment_.path(), QStringLiteral("org.vocabulon.tests.lookup")));
  const QString output = environment_.path() + QStringLiteral("/received.txt");
  QByteArray messages;
  QBuffer errors(&messages);
  errors.open(QIODevice::WriteOnly);
  LookupSelectionOptions options;
  options.program = QStringLiteral(VOCABULON_COCOA_TEST_HELPER);
  options.arguments = {QStringLiteral("serve"), output};
  options.launchTimeoutMs = 30000;
  const QString text = QString::fromUtf8("started on demand \xE2\x9C\x93");
  EXPECT_EQ(lookupSelection({text}, nullptr, &errors, options), 0) << messages.constData();
  ASSERT_TRUE(processEventsUntil([&] { return QFileInfo::exists(output); }));
  QFile file(output);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(QString::fromUtf8(file.readAll()), text);

  options.program = environment_.path() + QStringLiteral("/missing-program");
  EXPECT_EQ(lookupSelection({text}, nullptr, &errors, options), 1);
  EXPECT_TRUE(messages.contains("lookup-selection: cannot start"));
}

}  // namespace

#include "ServicesTest.moc"
