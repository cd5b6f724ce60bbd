#include "account/logininfo.h"
#include "account/loginmanager.h"
#include "account/printbridge.h"
#include "core/deployment.h"
#include "core/netstatewathcer.h"
#include "core/singlenetworkmanger.h"
#include "support/accountfixture.h"
#include "support/misbehavingserver.h"
#include "support/testdeployment.h"
#include "support/testenvironment.h"
#include "weather/weather.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QtEndian>
#include <QtTest>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <zlib.h>

namespace {
// TCP_NODELAY of each of this process's sockets connected to the port.
QList<int> lowDelayTowards(quint16 port)
{
    QList<int> states;
    for (const QString& name :
         QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::AllEntries | QDir::System)) {
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        const int fd = name.toInt();
        if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) == 0 && peer.sin_family == AF_INET &&
            ntohs(peer.sin_port) == port) {
            int on = 0;
            socklen_t size = sizeof on;
            getsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, &size);
            states << on;
        }
    }
    return states;
}

constexpr qint64 kOffered = 64 * 1024 * 1024;
// What may pass before the client gives up on an oversized answer: its cap
// plus what the kernel's socket buffers hold.
constexpr qint64 kReceivedBound = 16 * 1024 * 1024;

QByteArray pngChunk(const char* type, const QByteArray& data)
{
    QByteArray chunk(4, '\0');
    qToBigEndian<quint32>(quint32(data.size()), chunk.data());
    const QByteArray typed = QByteArray(type) + data;
    chunk += typed;
    QByteArray crc(4, '\0');
    qToBigEndian<quint32>(
        quint32(crc32(0, reinterpret_cast<const Bytef*>(typed.constData()), uInt(typed.size()))), crc.data());
    return chunk + crc;
}

// A valid grey PNG of side x side black pixels: small as a file, huge once decoded.
QByteArray blackPng(int side)
{
    QByteArray header(13, '\0');
    qToBigEndian<quint32>(quint32(side), header.data());
    qToBigEndian<quint32>(quint32(side), header.data() + 4);
    header[8] = 8; // bit depth
    header[9] = 0; // greyscale
    z_stream stream{};
    deflateInit(&stream, Z_BEST_COMPRESSION);
    const QByteArray row(side + 1, '\0'); // filter byte, then the pixels
    QByteArray out;
    QByteArray buffer(256 * 1024, '\0');
    for (int y = 0; y < side; ++y) {
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(row.constData()));
        stream.avail_in = uInt(row.size());
        const int flush = y + 1 == side ? Z_FINISH : Z_NO_FLUSH;
        do {
            stream.next_out = reinterpret_cast<Bytef*>(buffer.data());
            stream.avail_out = uInt(buffer.size());
            deflate(&stream, flush);
            out.append(buffer.constData(), buffer.size() - int(stream.avail_out));
        } while (stream.avail_out == 0);
    }
    deflateEnd(&stream);
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", header) + pngChunk("IDAT", out) +
           pngChunk("IEND", QByteArray());
}
} // namespace

// Every request of the client goes through one network access object, which
// ends answers that take too long or grow too large; each caller then takes
// its usual failure path.
class TestSingleNetworkManger : public QObject
{
    Q_OBJECT
public:
    static void initMain() { TestEnvironment::isolateClient(); }

private:
    std::unique_ptr<LocalServiceProcess> m_service;

    enum Target
    {
        PasswordSignIn,
        Forecast,
        PrintInformation,
        UserPhoto,
    };

    // The local deployment with one part moved to the misbehaving server.
    void useDeployment(Target target, const QString& origin)
    {
        QJsonObject deployment = TestDeployment::local(quint16(m_service->port()));
        QJsonObject service = deployment.value("service").toObject();
        QJsonObject weather = deployment.value("weather").toObject();
        switch (target) {
        case PasswordSignIn:
            service.insert("baseUrl", origin);
            break;
        case Forecast:
            weather.insert("weatherOrigin", origin);
            break;
        case PrintInformation:
            service.insert("printInfoUrl", origin + "/print/online/info");
            break;
        case UserPhoto:
            break;
        }
        deployment.insert("service", service);
        deployment.insert("weather", weather);
        QString error;
        QVERIFY2(CDeployment::loadForTesting(deployment, &error), qPrintable(error));
        TestDeployment::useFixedDeviceIdentity();
    }

    static bool signIn() { return AccountFixture::signInWithPrintBridge(); }

    // Runs what target does and checks that it ended in its failure path.
    void expectFailurePath(Target target)
    {
        switch (target) {
        case PasswordSignIn: {
            CLoginManager* login = CLoginManager::instance().get();
            QSignalSpy state(login, &CLoginManager::signalLogState);
            login->loginPswd(LocalServiceProcess::demoPhone, LocalServiceProcess::password);
            QTRY_VERIFY_WITH_TIMEOUT(state.count() > 0, 30000);
            QVERIFY(state.first().at(0).toString() != "0");
            QVERIFY(!login->isLoggedIn());
            QVERIFY(CLoginInfo::instance()->authCode.isEmpty());
            QVERIFY(CLoginInfo::instance()->accessToken.isEmpty());
            break;
        }
        case Forecast: {
            CWeather* weather = CWeather::instance().get();
            QSignalSpy ready(weather, &CWeather::weaDataReady);
            QVERIFY(weather->startLocate());
            QTRY_VERIFY_WITH_TIMEOUT(ready.count() > 0, 30000);
            QCOMPARE(weather->weatherData().city, QString("深圳"));
            QCOMPARE(weather->weatherData().days.first().weather, QString("未知"));
            QVERIFY(!weather->isFresh());
            break;
        }
        case PrintInformation: {
            QVERIFY(signIn());
            QTcpSocket driver;
            QByteArray received;
            connect(&driver, &QTcpSocket::readyRead, [&] { received += driver.readAll(); });
            driver.connectToHost(QHostAddress::LocalHost, CLoginManager::kPrintPort);
            QVERIFY(driver.waitForConnected(2000));
            QTRY_VERIFY_WITH_TIMEOUT(driver.state() == QAbstractSocket::UnconnectedState, 20000);
            QVERIFY(received.isEmpty());
            QVERIFY(CLoginInfo::instance()->printInfo.isEmpty());
            break;
        }
        case UserPhoto: {
            CLoginManager* login = CLoginManager::instance().get();
            QSignalSpy photo(login, &CLoginManager::signalUserPhotoChange);
            QVERIFY(signIn());
            QTRY_VERIFY_WITH_TIMEOUT(photo.count() > 0, 15000);
            QVERIFY(CLoginInfo::instance()->photo.isNull());
            break;
        }
        }
    }

private slots:
    void initTestCase() { QVERIFY(AccountFixture::start(m_service)); }

    void init()
    {
        QVERIFY(AccountFixture::reset(*m_service));
        CWeather::instance(true);
        QFile::remove(CWeather::cacheFilePath());
    }

    void cleanup()
    {
        CSingleNetworkManger::setTimeLimitForTesting(0);
        CLoginManager::setPrintFetchLimitForTesting(0);
        CLoginManager::instance(true);
        CWeather::instance(true);
        CNetStateWathcer::instance(true);
        CSingleNetworkManger::instance(true);
    }

    // A server that keeps sending, one byte at a time, is cut off at the time
    // limit even though the connection never falls silent.
    void tricklingAnswerEndsAtTheTimeLimit_data()
    {
        QTest::addColumn<int>("target");
        QTest::newRow("password sign-in") << int(PasswordSignIn);
        QTest::newRow("weather forecast") << int(Forecast);
    }

    void tricklingAnswerEndsAtTheTimeLimit()
    {
        QFETCH(int, target);
        MisbehavingServer server(MisbehavingServer::Trickle);
        server.setTrickleIntervalMs(50);
        QVERIFY(server.listen());
        useDeployment(Target(target), server.origin());
        CSingleNetworkManger::setTimeLimitForTesting(1000);

        expectFailurePath(Target(target));
        if (QTest::currentTestFailed()) {
            return;
        }
        QCOMPARE(server.requestCount(), 1);
        QVERIFY(server.bodyBytesSent() > 0);
        // Cut off by the client, long before the server would have given up.
        QTRY_COMPARE(server.answersCutOff(), 1);
    }

    // Answers far larger than their content can be are cut off early and fail
    // the way a broken answer fails; an image that would decode to a huge
    // picture is not decoded.
    void oversizedAnswerIsRefused_data()
    {
        QTest::addColumn<int>("target");
        QTest::addColumn<QByteArray>("prefix");
        QTest::addColumn<QByteArray>("suffix");

        // Complete, well-formed answers: accepted whole, each would be used.
        const QByteArray today = QDate::currentDate().toString("yyyy-MM-dd").toLatin1();
        QTest::newRow("weather answer")
            << int(Forecast)
            << QByteArray("{\"status\":\"1\",\"forecasts\":[{\"casts\":[{\"date\":\"" + today +
                          "\",\"dayweather\":\"晴\",\"daytemp\":\"20\"}],\"city\":\"")
            << QByteArray("\"}]}");
        QTest::newRow("authorization-code answer")
            << int(PasswordSignIn) << QByteArray("{\"success\":true,\"content\":\"") << QByteArray("\"}");
        QTest::newRow("print-information answer")
            << int(PrintInformation) << QByteArray("{\"success\":true,\"content\":{\"data\":{\"queue\":\"")
            << QByteArray("\"}}}");
        QTest::newRow("photo decoding to 20000x20000") << int(UserPhoto) << QByteArray() << QByteArray();
    }

    void oversizedAnswerIsRefused()
    {
        QFETCH(int, target);
        QFETCH(QByteArray, prefix);
        QFETCH(QByteArray, suffix);
        const bool photo = target == UserPhoto;
        MisbehavingServer server(photo ? MisbehavingServer::Whole : MisbehavingServer::Huge);
        if (photo) {
            server.setBody(blackPng(20000), "image/png");
        } else {
            server.setHugeBody(prefix, kOffered, suffix);
        }
        QVERIFY(server.listen());
        useDeployment(Target(target), server.origin());
        CLoginManager::setPrintFetchLimitForTesting(3000);
        if (photo) {
            const QJsonObject person{{"id", 10001},
                                     {"name", "林晓雨"},
                                     {"avatarUrl", server.origin() + "/static/avatar/10001.png"}};
            QVERIFY(m_service->setFault(
                {{"endpoint", "personDetail"},
                 {"mode", "raw"},
                 {"body", QString::fromUtf8(QJsonDocument(QJsonObject{{"success", true}, {"content", person}})
                                                .toJson(QJsonDocument::Compact))}}));
        }

        expectFailurePath(Target(target));
        if (QTest::currentTestFailed()) {
            return;
        }
        if (photo) {
            QCOMPARE(server.requestCount(), 1);
        } else {
            // The print information is tried twice; nothing follows a refused authorization code.
            QCOMPARE(server.requestCount(), target == PrintInformation ? 2 : 1);
            QTRY_COMPARE(server.answersCutOff(), server.requestCount());
            qDebug("offered %lld bytes per answer, sent %lld in all", kOffered, server.bodyBytesSent());
            QVERIFY2(server.bodyBytesSent() < server.requestCount() * kReceivedBound,
                     qPrintable(QString::number(server.bodyBytesSent())));
        }
    }

    // Qt writes a request's header and body in two writes: on a kept-alive
    // connection, with Nagle's algorithm on, the body would wait for the
    // server's delayed acknowledgement of the header on every further call.
    void keptAliveConnectionSendsWithoutNagleDelay()
    {
        QNetworkRequest request(QUrl(m_service->origin() + QStringLiteral("/api/unknown")));
        request.setHeader(QNetworkRequest::ContentTypeHeader, "application/x-www-form-urlencoded");
        for (int call = 0; call < 2; ++call) {
            std::unique_ptr<QNetworkReply> reply(
                CSingleNetworkManger::instance()->manager()->post(request, QByteArray("a=1&b=2")));
            QSignalSpy finished(reply.get(), &QNetworkReply::finished);
            QVERIFY(finished.wait(10000));
        }
        const QList<int> states = lowDelayTowards(quint16(m_service->port()));
        QVERIFY(!states.isEmpty());
        QVERIFY2(!states.contains(0), "a connection to the service still delays small writes");
    }
};

QTEST_GUILESS_MAIN(TestSingleNetworkManger)
#include "tst_singlenetworkmanger.moc"
