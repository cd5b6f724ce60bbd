#include "core/cipher.h"
#include "support/testdeployment.h"
#include "support/testenvironment.h"

#include <QTemporaryFile>
#include <QtTest>

// Known answers come from RFC 4231 and from the openssl command line, never
// from our own code.
class TestCipher : public QObject
{
    Q_OBJECT
public:
    static void initMain() { TestEnvironment::isolateClient(); }

private slots:
    void cleanup() { CCipher::instance(true); }

    void hmacMatchesRfc4231_data()
    {
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QByteArray>("mac");
        QTest::newRow("case 1") << QByteArray(20, '\x0b') << QByteArray("Hi There")
                                << QByteArray(
                                       "b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7");
        QTest::newRow("case 2") << QByteArray("Jefe") << QByteArray("what do ya want for nothing?")
                                << QByteArray(
                                       "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843");
        QTest::newRow("case 3") << QByteArray(20, '\xaa') << QByteArray(50, '\xdd')
                                << QByteArray(
                                       "773ea91e36800e46854db8ebd09181a72959098b3ef8c122d9635514ced565fe");
        QTest::newRow("case 4") << QByteArray::fromHex("0102030405060708090a0b0c0d0e0f10111213141516171819")
                                << QByteArray(50, '\xcd')
                                << QByteArray(
                                       "82558a389a443c0ea4cc819899f2083a85f0faa3e578f8077a2e3ff46729665b");
        QTest::newRow("case 6") << QByteArray(131, '\xaa')
                                << QByteArray("Test Using Larger Than Block-Size Key - Hash Key First")
                                << QByteArray(
                                       "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54");
        QTest::newRow("case 7") << QByteArray(131, '\xaa')
                                << QByteArray(
                                       "This is a test using a larger than block-size key and a larger than "
                                       "block-size data. The key needs to be hashed before being used by the "
                                       "HMAC algorithm.")
                                << QByteArray(
                                       "9b09ffa71b942fcb27635fbcd5b0e944bfdc63644f0713938a7f51535c3a35e2");
    }
    void hmacMatchesRfc4231()
    {
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, data);
        QFETCH(QByteArray, mac);
        // The same object is re-keyed for every call: run each case twice,
        // with another key in between.
        for (int round = 0; round < 2; ++round) {
            QByteArray out;
            QVERIFY(CCipher::instance()->hmac(data, out, key));
            QCOMPARE(out.toHex(), mac);
            QVERIFY(CCipher::instance()->hmac("other data", out, "other key"));
        }
    }

    void hmacOfEmptyDataComputesNothing()
    {
        QByteArray out("untouched");
        QVERIFY(!CCipher::instance()->hmac(QByteArray(), out, "key"));
        QCOMPARE(out, QByteArray("untouched"));
    }

    void aesMatchesOpensslCommandLine_data()
    {
        QTest::addColumn<int>("length");
        for (int length : {0, 1, 15, 16, 17, 100, 495, 496, 511, 512, 1000, 4096}) {
            QTest::addRow("%d bytes", length) << length;
        }
    }
    void aesMatchesOpensslCommandLine()
    {
        QFETCH(int, length);
        QByteArray plain(length, Qt::Uninitialized);
        for (int i = 0; i < length; ++i) {
            plain[i] = char((i * 131 + 7) % 256);
        }
        const QByteArray expected = TestDeployment::openssl(
            {"enc", "-aes-256-cbc", "-K", QByteArray(kKeyText).toHex(), "-iv", QByteArray(kIvText).toHex()},
            plain);
        QVERIFY(!expected.isEmpty());
        QByteArray cipherText;
        QVERIFY(CCipher::instance()->encrypt(plain, cipherText));
        QCOMPARE(cipherText.toHex(), expected.toHex());
    }

    void aesRoundTripsEveryLengthUpTo1000()
    {
        const auto& cipher = CCipher::instance();
        QByteArray plain;
        for (int length = 0; length <= 1000; ++length) {
            QByteArray cipherText;
            QByteArray back("stale");
            QVERIFY(cipher->encrypt(plain, cipherText));
            QCOMPARE(cipherText.size(), (length / 16 + 1) * 16);
            QVERIFY(cipher->decrypt(cipherText, back));
            QCOMPARE(back, plain);
            plain.append(char('a' + length % 26));
        }
    }

    void aesRejectsDamagedCipherText_data()
    {
        QTest::addColumn<QByteArray>("cipherText");
        QTest::newRow("not whole blocks") << QByteArray(15, 'x');
        QByteArray wrongPadding;
        QVERIFY(CCipher::instance()->encrypt("sixteen bytes...", wrongPadding));
        wrongPadding.chop(16);
        QTest::newRow("padding block cut off") << wrongPadding;
    }
    void aesRejectsDamagedCipherText()
    {
        QFETCH(QByteArray, cipherText);
        QByteArray out("untouched");
        QVERIFY(!CCipher::instance()->decrypt(cipherText, out));
        QCOMPARE(out, QByteArray("untouched"));
    }

    void rsaOfPhoneNumberDecryptsWithFixturePrivateKey()
    {
        QByteArray data("13812345678");
        QVERIFY(CCipher::instance()->rsaEncrypt(data, data)); // in place, as the login does
        QCOMPARE(data.size(), 128);
        const QByteArray base64 = data.toBase64();
        QCOMPARE(base64.size(), 172);
        QVERIFY(base64.endsWith("=") && !base64.endsWith("=="));

        QTemporaryFile cipherFile;
        QVERIFY(cipherFile.open());
        cipherFile.write(data);
        cipherFile.close();
        const QByteArray plain =
            TestDeployment::openssl({"pkeyutl", "-decrypt", "-inkey", TestDeployment::devPrivateKeyPath(),
                                     "-pkeyopt", "rsa_padding_mode:pkcs1", "-in", cipherFile.fileName()});
        QCOMPARE(plain, QByteArray("13812345678"));

        QString text;
        QVERIFY(CCipher::instance()->rsaEncryptBase64("Passw0rd!", text));
        QCOMPARE(text.size(), 172);
    }

    void rsaFailureNeverHandsBackThePlainText()
    {
        QTest::ignoreMessage(QtDebugMsg, "init RSA public key fail");
        QVERIFY(!CCipher::instance()->loadPublicKey(
            "-----BEGIN PUBLIC KEY-----\nnot a key\n-----END PUBLIC KEY-----\n"));
        QVERIFY(!CCipher::instance()->hasPublicKey());
        QByteArray data("13812345678");
        QVERIFY(!CCipher::instance()->rsaEncrypt(data, data));
        QVERIFY(data.isEmpty());
        QString text = "stale";
        QVERIFY(!CCipher::instance()->rsaEncryptBase64("Passw0rd!", text));
        QVERIFY(text.isEmpty());
    }

    void rsaRefusesEmptyInput()
    {
        QByteArray out("stale");
        QVERIFY(!CCipher::instance()->rsaEncrypt(QByteArray(), out));
        QVERIFY(out.isEmpty());
    }

    // The quit releases the cipher and the settings create it again: the
    // crypto library must still work then.
    void releasedCipherIsCreatedAgainInWorkingOrder()
    {
        for (int round = 0; round < 3; ++round) {
            CCipher::instance(true);
            const auto& cipher = CCipher::instance();
            QVERIFY(cipher->hasPublicKey());
            QByteArray cipherText;
            QByteArray back;
            QVERIFY(cipher->encrypt("Device/path", cipherText));
            QVERIFY(cipher->decrypt(cipherText, back));
            QCOMPARE(back, QByteArray("Device/path"));
            QByteArray rsa;
            QVERIFY(cipher->rsaEncrypt("13812345678", rsa));
            QCOMPARE(rsa.size(), 128);
        }
    }

private:
    // The client's symmetric key and IV, whose ASCII bytes are the key bytes.
    static constexpr char kKeyText[] = "45B95A87AB19488B65823B76C4B65D3A";
    static constexpr char kIvText[] = "B63630711E71F9A8";
};

QTEST_GUILESS_MAIN(TestCipher)
#include "tst_cipher.moc"
