#include "conference/jsonobjectscanner.h"

#include <QtTest>

// The conference process writes JSON objects back to back; reads may cut them
// anywhere or join several.
class TestJsonObjectScanner : public QObject
{
    Q_OBJECT
private slots:
    void objects_data()
    {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<QList<QByteArray>>("objects");
        QTest::addColumn<int>("dropped");

        const QByteArray reply = "{\"type\":10001,\"data\":{\"operation\":\"sharestart\",\"success\":true}}";
        const QByteArray beat = "{\"type\":10000,\"data\":{}}";
        QTest::newRow("one") << reply << QList<QByteArray>{reply} << 0;
        QTest::newRow("two back to back") << reply + beat << QList<QByteArray>{reply, beat} << 0;
        QTest::newRow("indented with blanks between")
            << QByteArray("{\n    \"a\": 1\n}\n  \r\n\t{\"b\": [1, {\"c\": 2}]}\n")
            << QList<QByteArray>{"{\n    \"a\": 1\n}", "{\"b\": [1, {\"c\": 2}]}"} << 0;
        const QByteArray tricky = "{\"errorMsg\":\"a } b { \\\" } \\\\\",\"x\":\"[\",\"y\":\"\\\\\\\"\"}";
        QTest::newRow("braces and escapes in strings")
            << tricky + beat << QList<QByteArray>{tricky, beat} << 0;
        const QByteArray chinese = u8"{\"errorMsg\":\"投屏已停止{\"}";
        QTest::newRow("multi-byte text") << chinese << QList<QByteArray>{chinese} << 0;
        QTest::newRow("garbage before and between")
            << QByteArray("xx") + beat + "oops]" + reply << QList<QByteArray>{beat, reply} << 7;
        QTest::newRow("only garbage") << QByteArray("not json at all") << QList<QByteArray>{} << 12;
        QTest::newRow("unfinished stays buffered")
            << QByteArray("{\"type\":10001,\"data\":{") << QList<QByteArray>{} << 0;
        QTest::newRow("stray bracket does not end an object")
            << QByteArray("{\"a\":]}") + beat << QList<QByteArray>{"{\"a\":]}", beat} << 0;
        QTest::newRow("unparsable object still cut out")
            << QByteArray("{nonsense}") + beat << QList<QByteArray>{"{nonsense}", beat} << 0;
    }

    // Whatever the cut, the same objects come out in the same order.
    void objects()
    {
        QFETCH(QByteArray, stream);
        QFETCH(QList<QByteArray>, objects);
        QFETCH(int, dropped);

        CJsonObjectScanner whole;
        QCOMPARE(whole.feed(stream), objects);
        QCOMPARE(whole.droppedBytes(), dropped);

        for (int cut = 1; cut < stream.size(); ++cut) {
            CJsonObjectScanner scanner;
            QList<QByteArray> got = scanner.feed(stream.left(cut));
            int droppedTotal = scanner.droppedBytes();
            got += scanner.feed(stream.mid(cut));
            droppedTotal += scanner.droppedBytes();
            QVERIFY2(got == objects, qPrintable(QString("cut at %1").arg(cut)));
            QCOMPARE(droppedTotal, dropped);
        }

        CJsonObjectScanner bytewise;
        QList<QByteArray> got;
        for (const char c : stream) {
            got += bytewise.feed(QByteArray(1, c));
        }
        QCOMPARE(got, objects);
    }

    void unfinishedObjectOverTheCapIsDropped()
    {
        CJsonObjectScanner scanner(64);
        QVERIFY(scanner.feed("{\"data\":\"").isEmpty());
        QVERIFY(scanner.feed(QByteArray(100, 'x')).isEmpty());
        QCOMPARE(scanner.bufferedBytes(), 0);
        QCOMPARE(scanner.droppedBytes(), 109);
        QVERIFY(scanner.droppedSample().startsWith("{\"data\":\"xxx"));

        // The stream picks up again at the next object.
        QCOMPARE(scanner.feed("\"}{\"type\":10000}"), QList<QByteArray>{"{\"type\":10000}"});
    }

    void manySmallObjectsInOneRead()
    {
        QByteArray stream;
        for (int i = 0; i < 100000; ++i) {
            stream += "{}";
        }
        CJsonObjectScanner scanner;
        QCOMPARE(scanner.feed(stream).size(), 100000);
        QCOMPARE(scanner.bufferedBytes(), 0);
    }
};

QTEST_APPLESS_MAIN(TestJsonObjectScanner)
#include "tst_jsonobjectscanner.moc"
