#include "platform/jsontext.h"

#include <QJsonObject>
#include <QtTest>

// Outside JSON in which an object names a key twice is refused (Qt 5.15 would
// leak the earlier value); everything else reads as Qt reads it.
class TestJsonText : public QObject
{
    Q_OBJECT
private slots:
    void texts_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("repeatedAt");

        QTest::newRow("plain") << QByteArray("{\"success\":true,\"content\":{\"id\":1}}") << -1;
        QTest::newRow("same key in different objects")
            << QByteArray("{\"a\":{\"a\":1},\"b\":[{\"a\":1},{\"a\":2}]}") << -1;
        QTest::newRow("key text inside a value") << QByteArray("{\"a\":\"\\\"a\\\":1,\",\"b\":\"a\"}") << -1;
        QTest::newRow("repeated, object first") << QByteArray("{\"a\":{\"b\":1},\"a\":1}") << 13;
        QTest::newRow("repeated, array first") << QByteArray("{\"a\":[1,2],\"a\":1}") << 11;
        QTest::newRow("repeated scalar") << QByteArray("{\"a\":1,\"a\":2}") << 7;
        QTest::newRow("repeated in a nested object") << QByteArray("{\"content\":{\"x\":{},\"x\":{}}}") << 19;
        QTest::newRow("repeated through an escape") << QByteArray("{\"ab\":[],\"\\u0061b\":1}") << 9;
        QTest::newRow("not JSON") << QByteArray("<html>502</html>") << -1;
    }

    void texts()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, repeatedAt);

        QCOMPARE(CJsonText::repeatedKey(text), repeatedAt);
        QJsonParseError error;
        const QJsonDocument document = CJsonText::parse(text, &error);
        if (repeatedAt >= 0) {
            QVERIFY(document.isNull());
            QCOMPARE(error.offset, repeatedAt);
            QVERIFY(error.error != QJsonParseError::NoError);
        } else {
            QCOMPARE(document, QJsonDocument::fromJson(text));
        }
    }
};

QTEST_GUILESS_MAIN(TestJsonText)
#include "tst_jsontext.moc"
