#include "core/cipher.h"
#include "core/deviceidentity.h"
#include "core/localconfig.h"
#include "support/testenvironment.h"

#include <QFile>
#include <QSettings>
#include <QtTest>

// The settings file: one spelling per key, encrypted entries, and the check
// that wipes a file carried to another computer and another place.
class TestLocalConfig : public QObject
{
    Q_OBJECT
public:
    static void initMain() { TestEnvironment::isolateClient(); }

private slots:
    void init()
    {
        CDeviceIdentity::Sources sources;
        sources.activeInterfaces = [] {
            CDeviceIdentity::Interface ethernet;
            ethernet.humanReadableName = "Ethernet";
            ethernet.hardwareAddress = kThisDevice;
            ethernet.addresses = {QHostAddress("192.168.1.20")};
            return QList<CDeviceIdentity::Interface>{ethernet};
        };
        CDeviceIdentity::setSourcesForTesting(sources);
        QFile::remove(filePath());
    }
    void cleanup()
    {
        CLocalConfig::instance(true);
        CDeviceIdentity::setSourcesForTesting({});
    }

    void keysIgnoreLetterCase()
    {
        const auto& config = CLocalConfig::instance();
        config->setValue("LoginDlg/autologin", true);
        QCOMPARE(config->value("LOGINDLG/AUTOLOGIN", false).toBool(), true);
        config->setValue("logindlg/AutoLogin", false);
        QCOMPARE(config->value(CLocalConfig::kAutoLogin, true).toBool(), false);
        config->setEncryptedValue("logindlg/USERPHONE1", "13812345678");
        QCOMPARE(config->encryptedValue("LoginDlg/userPhone1"), QString("13812345678"));
        // Keys outside the table keep their first spelling and join their group.
        config->setValue("LoginDlg/LastPage", 1);
        config->setValue("LOGINDLG/lastpage", 2);
        QCOMPARE(config->value("loginDlg/lastPage").toInt(), 2);
        config->remove("LOGINDLG/LASTPAGE");
        QVERIFY(!config->value("LoginDlg/LastPage").isValid());

        const QByteArray file = fileText();
        QCOMPARE(file.count("[LoginDlg]"), 1);
        QCOMPARE(file.count("autoLogin="), 1);
        QCOMPARE(file.count("userPhone1="), 1);
        QVERIFY(!file.contains("autologin=") && !file.contains("AutoLogin=") && !file.contains("USERPHONE1"));
        QVERIFY(!file.contains("13812345678"));
    }

    void emptyStringIsStoredWithoutTheCipher()
    {
        const auto& config = CLocalConfig::instance();
        config->setEncryptedValue(CLocalConfig::kUserPswd, "");
        QCOMPARE(rawValue(CLocalConfig::kUserPswd), QString(""));
        QCOMPARE(config->encryptedValue(CLocalConfig::kUserPswd, "none"), QString(""));
        QCOMPARE(config->encryptedValue(CLocalConfig::kUserPhone2, "none"), QString("none"));
    }

    void encryptedValuesRoundTrip_data()
    {
        QTest::addColumn<QString>("value");
        QTest::newRow("phone") << "13812345678";
        QTest::newRow("full-width digits") << QString::fromUtf8("１３８１２３４５６７８");
        QTest::newRow("non-ASCII path") << QString::fromUtf8("/home/张三/文档 (2)/vantelor.ini");
        QTest::newRow("emoji") << QString::fromUtf8("密码🔒");
        QTest::newRow("RSA text") << QString(172, 'A').replace(171, 1, '=');
        QTest::newRow("long") << QString(2000, QChar(0x4e2d));
    }
    void encryptedValuesRoundTrip()
    {
        QFETCH(QString, value);
        CLocalConfig::instance()->setEncryptedValue(CLocalConfig::kUserPhone1, value);
        const QString stored = rawValue(CLocalConfig::kUserPhone1);
        QVERIFY(!stored.isEmpty() && stored != value);
        QByteArray plain;
        QVERIFY(CCipher::instance()->decrypt(QByteArray::fromBase64(stored.toLatin1()), plain));
        QCOMPARE(QString::fromUtf8(plain), value);
        // Read back by the next run as well.
        CLocalConfig::instance(true);
        QCOMPARE(CLocalConfig::instance()->encryptedValue(CLocalConfig::kUserPhone1), value);
    }

    void writesAreOnDiskAtOnce()
    {
        const auto& config = CLocalConfig::instance();
        config->setValue(CLocalConfig::kRememberPswd, true);
        QCOMPARE(QSettings(filePath(), QSettings::IniFormat).value(CLocalConfig::kRememberPswd).toBool(),
                 true);

        QSettings other(filePath(), QSettings::IniFormat);
        other.setValue(CLocalConfig::kAutoLogin, true);
        other.sync();
        QCOMPARE(config->value("loginDlg/autoLogin", false).toBool(), true);
    }

    void carriedFileIsWipedOnlyWhenBothDiffer_data()
    {
        QTest::addColumn<QString>("storedDevice");
        QTest::addColumn<bool>("samePath");
        QTest::addColumn<bool>("kept");
        QTest::newRow("same computer, same place") << QString(kThisDevice) << true << true;
        QTest::newRow("another computer, same place") << "A4:B1:C1:00:00:02" << true << true;
        QTest::newRow("same computer, another place") << QString(kThisDevice) << false << true;
        QTest::newRow("another computer, another place") << "A4:B1:C1:00:00:02" << false << false;
    }
    void carriedFileIsWipedOnlyWhenBothDiffer()
    {
        QFETCH(QString, storedDevice);
        QFETCH(bool, samePath);
        QFETCH(bool, kept);
        {
            QSettings file(filePath(), QSettings::IniFormat);
            file.setIniCodec("UTF-8");
            file.setValue(CLocalConfig::kDeviceId, encrypted(storedDevice));
            file.setValue(
                CLocalConfig::kDevicePath,
                encrypted(samePath ? filePath() : QString("D:/Users/someone/AppData/vantelor.ini")));
            file.setValue(CLocalConfig::kUserPhone1, encrypted("13812345678"));
            file.setValue(CLocalConfig::kRememberPswd, true);
        }
        const auto& config = CLocalConfig::instance();
        QCOMPARE(config->encryptedValue(CLocalConfig::kUserPhone1),
                 kept ? QString("13812345678") : QString());
        QCOMPARE(config->value(CLocalConfig::kRememberPswd, false).toBool(), kept);

        // The release records this computer and this place, even after the
        // cipher was released before it, as at quit.
        CCipher::instance(true);
        CLocalConfig::instance(true);
        QCOMPARE(decrypted(rawValue(CLocalConfig::kDeviceId)), QString(kThisDevice));
        QCOMPARE(decrypted(rawValue(CLocalConfig::kDevicePath)), filePath());
    }

    void rememberedPasswordFreshness_data()
    {
        QTest::addColumn<QDateTime>("storedAt");
        QTest::addColumn<bool>("autoLogin");
        QTest::addColumn<bool>("dialog");
        // Midnights count, not hours: 23:59 to 00:01 is a day.
        const QDateTime now(QDate(2026, 12, 11), QTime(0, 1));
        QTest::newRow("14 days") << now.addDays(-14) << true << true;
        QTest::newRow("15 days: auto sign-in only") << now.addDays(-15) << true << false;
        QTest::newRow("15 midnights, 2 minutes")
            << QDateTime(QDate(2026, 11, 26), QTime(23, 59)) << true << false;
        QTest::newRow("16 days") << now.addDays(-16) << false << false;
        QTest::newRow("in the future") << now.addDays(3) << true << true;
        QTest::newRow("unreadable") << QDateTime() << false << false;
    }
    void rememberedPasswordFreshness()
    {
        QFETCH(QDateTime, storedAt);
        const QDateTime now(QDate(2026, 12, 11), QTime(0, 1));
        QTEST(CLocalConfig::rememberedForAutoLogin(storedAt, now), "autoLogin");
        QTEST(CLocalConfig::rememberedForDialog(storedAt, now), "dialog");
    }

    void firstRunRecordsTheDevice()
    {
        QVERIFY(!QFile::exists(filePath()));
        CLocalConfig::instance();
        CLocalConfig::instance(true);
        QCOMPARE(decrypted(rawValue(CLocalConfig::kDeviceId)), QString(kThisDevice));
        QCOMPARE(decrypted(rawValue(CLocalConfig::kDevicePath)), filePath());
        // The next start on this computer keeps what the user stores.
        CLocalConfig::instance()->setValue(CLocalConfig::kAutoLogin, true);
        CLocalConfig::instance(true);
        QCOMPARE(CLocalConfig::instance()->value(CLocalConfig::kAutoLogin, false).toBool(), true);
    }

private:
    static constexpr const char* kThisDevice = "3C:7C:3F:12:34:56";

    static QString filePath()
    {
        return QSettings(QSettings::IniFormat, QSettings::UserScope, "vantelor", "vantelor").fileName();
    }
    static QByteArray fileText()
    {
        QFile file(filePath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    static QString rawValue(const QString& key)
    {
        QSettings file(filePath(), QSettings::IniFormat);
        file.setIniCodec("UTF-8");
        return file.value(key).toString();
    }
    static QString encrypted(const QString& value)
    {
        QByteArray cipherText;
        CCipher::instance()->encrypt(value.toUtf8(), cipherText);
        return QString::fromLatin1(cipherText.toBase64());
    }
    static QString decrypted(const QString& stored)
    {
        QByteArray plain;
        CCipher::instance()->decrypt(QByteArray::fromBase64(stored.toLatin1()), plain);
        return QString::fromUtf8(plain);
    }
};

QTEST_GUILESS_MAIN(TestLocalConfig)
#include "tst_localconfig.moc"
