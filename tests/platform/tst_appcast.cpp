#include "platform/appcast.h"
#include "platform/ed25519signature.h"
#include "support/testdeployment.h"
#include "support/testenvironment.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {
const QByteArray kSignature = QByteArray(64, 'S').toBase64();

QByteArray item(const QString& version, const QByteArray& signature = kSignature, qint64 length = 1000,
                const QString& url = QString())
{
    const QString address = url.isEmpty() ? "http://127.0.0.1:1/vantelor_" + version + "_amd64.deb" : url;
    QByteArray out = "<item><title>Vantelor " + version.toUtf8() + "</title>" + "<sparkle:version>" +
                     version.toUtf8() + "</sparkle:version>" + "<description><![CDATA[notes of " +
                     version.toUtf8() + "]]></description>" + "<enclosure url=\"" + address.toUtf8() +
                     "\" length=\"" + QByteArray::number(length) + "\" type=\"application/octet-stream\"";
    if (!signature.isEmpty()) {
        out += " sparkle:edSignature=\"" + signature + "\"";
    }
    return out + "/></item>";
}

QByteArray feed(const QByteArray& items)
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
           "<rss version=\"2.0\" xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/sparkle\">"
           "<channel><title>Vantelor</title>" +
           items + "</channel></rss>";
}

QByteArray publicKeyPem(const QString& privateKeyPath)
{
    return TestDeployment::openssl({"pkey", "-in", privateKeyPath, "-pubout"});
}
} // namespace

// The update feed as the client reads it, and the package signatures it checks.
class TestAppcast : public QObject
{
    Q_OBJECT
public:
    static void initMain() { TestEnvironment::isolate(); }

private slots:
    void feedOffersOnlyANewerSignedVersion_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<bool>("parses");
        QTest::addColumn<QString>("offered"); // "" offers nothing
        QTest::newRow("valid, newer") << feed(item("2.4.8")) << true << "2.4.8";
        QTest::newRow("older") << feed(item("2.4.6")) << true << "";
        QTest::newRow("equal") << feed(item("2.4.7")) << true << "";
        QTest::newRow("equal with a zero part") << feed(item("2.4.7.0")) << true << "";
        QTest::newRow("newer by a two-digit part") << feed(item("2.4.10")) << true << "2.4.10";
        QTest::newRow("newer major") << feed(item("3")) << true << "3";
        QTest::newRow("several items, newest wins")
            << feed(item("2.4.8") + item("2.5.1") + item("2.4.9") + item("2.5.0")) << true << "2.5.1";
        QTest::newRow("missing signature") << feed(item("2.4.8", QByteArray())) << true << "";
        QTest::newRow("signature of the wrong size")
            << feed(item("2.4.8", QByteArray(63, 'S').toBase64())) << true << "";
        QTest::newRow("signature not Base64") << feed(item("2.4.8", "@@not base64@@")) << true << "";
        QTest::newRow("unsigned newest, signed older: the signed one")
            << feed(item("2.5.0", QByteArray()) + item("2.4.9")) << true << "2.4.9";
        QTest::newRow("no length") << feed(item("2.4.8", kSignature, 0)) << true << "";
        QTest::newRow("not an http address")
            << feed(item("2.4.8", kSignature, 1000, "file:///etc/passwd")) << true << "";
        QTest::newRow("no items") << feed(QByteArray()) << true << "";
        QTest::newRow("malformed") << QByteArray("<rss><channel><item><title>2.4.8</item>") << false << "";
        QTest::newRow("not XML") << QByteArray("503 Service Unavailable") << false << "";
        QTest::newRow("empty") << QByteArray() << false << "";
        QTest::newRow("XML but no channel") << QByteArray("<?xml version=\"1.0\"?><html/>") << false << "";
        QTest::newRow("items but no channel")
            << "<rss xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/sparkle\">" + item("2.4.8") +
                   "</rss>"
            << false << "";
    }
    void feedOffersOnlyANewerSignedVersion()
    {
        QFETCH(QByteArray, xml);
        QFETCH(bool, parses);
        QFETCH(QString, offered);
        CAppcast appcast;
        QCOMPARE(appcast.parse(xml), parses);
        QCOMPARE(appcast.error().isEmpty(), parses);
        CAppcastItem newest;
        QCOMPARE(appcast.newerThan("2.4.7", newest), !offered.isEmpty());
        if (!offered.isEmpty()) {
            QCOMPARE(newest.version, offered);
            QCOMPARE(newest.shortVersion, offered);
            QCOMPARE(newest.notes, "notes of " + offered);
            QCOMPARE(newest.length, qint64(1000));
            QCOMPARE(newest.signature, QByteArray(64, 'S'));
            QCOMPARE(newest.url.fileName(), "vantelor_" + offered + "_amd64.deb");
        }
    }

    void versionsCompareByNumber_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<int>("order");
        QTest::newRow("equal") << "2.4.7"
                               << "2.4.7" << 0;
        QTest::newRow("missing part is zero") << "2.4"
                                              << "2.4.0" << 0;
        QTest::newRow("numeric, not text") << "2.4.10"
                                           << "2.4.9" << 1;
        QTest::newRow("older") << "2.3.99"
                               << "2.4" << -1;
        QTest::newRow("longer is newer") << "2.4.7.1"
                                         << "2.4.7" << 1;
    }
    void versionsCompareByNumber()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(int, order);
        const int result = CAppcast::compareVersions(a, b);
        QCOMPARE((result > 0) - (result < 0), order);
        const int reverse = CAppcast::compareVersions(b, a);
        QCOMPARE((reverse > 0) - (reverse < 0), -order);
    }

    // Signatures made by the openssl command line, an implementation
    // independent of the client's.
    void signatureCheckAcceptsOnlyThePackageSignedWithTheKey_data()
    {
        QTest::addColumn<bool>("tamper");
        QTest::addColumn<bool>("otherKey");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("signed package") << false << false << true;
        QTest::newRow("one byte changed") << true << false << false;
        QTest::newRow("signed with another key") << false << true << false;
    }
    void signatureCheckAcceptsOnlyThePackageSignedWithTheKey()
    {
        QFETCH(bool, tamper);
        QFETCH(bool, otherKey);
        QFETCH(bool, accepted);
        QTemporaryDir dir;
        const QString key = QStringLiteral(VANTELOR_SOURCE_DIR "/standins/localservice/dev-update-key.pem");
        const QString other = dir.filePath("other.pem");
        TestDeployment::openssl({"genpkey", "-algorithm", "ED25519", "-out", other});
        QVERIFY(QFile::exists(other));
        QByteArray package(300000, '\0');
        for (int i = 0; i < package.size(); ++i) {
            package[i] = char(i * 7);
        }
        const QString packagePath = dir.filePath("package.deb");
        QFile file(packagePath);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(package);
        file.close();
        const QByteArray signature = TestDeployment::openssl(
            {"pkeyutl", "-sign", "-rawin", "-inkey", otherKey ? other : key, "-in", packagePath});
        QCOMPARE(signature.size(), 64);
        if (tamper) {
            QVERIFY(file.open(QIODevice::ReadWrite));
            file.seek(150000);
            file.write("x");
            file.close();
        }
        QString error;
        QCOMPARE(Ed25519Signature::verifyFile(packagePath, signature, publicKeyPem(key), &error), accepted);
        QCOMPARE(error.isEmpty(), accepted);
    }

    void signatureCheckRefusesAnRsaKeyOrShortSignature()
    {
        const QByteArray rsaKey =
            TestDeployment::openssl({"pkey", "-in", TestDeployment::devPrivateKeyPath(), "-pubout"});
        QVERIFY(rsaKey.contains("PUBLIC KEY"));
        QVERIFY(!Ed25519Signature::verify("data", QByteArray(64, 'x'), rsaKey));
        const QByteArray key =
            publicKeyPem(QStringLiteral(VANTELOR_SOURCE_DIR "/standins/localservice/dev-update-key.pem"));
        QVERIFY(!Ed25519Signature::verify("data", QByteArray(63, 'x'), key));
        QVERIFY(!Ed25519Signature::verifyFile("/nonexistent/package.deb", QByteArray(64, 'x'), key));
    }
};

QTEST_GUILESS_MAIN(TestAppcast)
#include "tst_appcast.moc"
