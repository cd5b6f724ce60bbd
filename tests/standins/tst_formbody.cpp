#include "standins/localservice/formbody.h"

#include <QtTest>

// The service's reading of a posted form: every field keeps all of its bytes,
// in the text it is checked by as in the text the signature covers.
class TestFormBody : public QObject
{
    Q_OBJECT
private slots:
    void fields_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QStringList>("values");

        QTest::newRow("plain") << QByteArray("account=13800000000&appCode=vantelor")
                               << QStringList{"account", "appCode"} << QStringList{"13800000000", "vantelor"};
        QTest::newRow("escapes decoded, plus kept")
            << QByteArray("a=1%262%3D3+4%25") << QStringList{"a"} << QStringList{"1&2=3+4%"};
        QTest::newRow("escaped NUL inside a value")
            << QByteArray("a=x%00y") << QStringList{"a"} << QStringList{QString::fromUtf8("x\0y", 3)};
        QTest::newRow("name of NUL bytes")
            << QByteArray("\0\0=v", 4) << QStringList{QString::fromUtf8("\0\0", 2)} << QStringList{"v"};
    }

    void fields()
    {
        QFETCH(QByteArray, body);
        QFETCH(QStringList, names);
        QFETCH(QStringList, values);

        FormBody form;
        QVERIFY2(form.parse(body), qPrintable(form.error()));
        QCOMPARE(form.fields().size(), names.size());
        for (int i = 0; i < names.size(); ++i) {
            QCOMPARE(form.fields().at(i).name, names.at(i));
            QCOMPARE(form.fields().at(i).value, values.at(i));
            QCOMPARE(form.fields().at(i).signedPair, names.at(i).toUtf8() + '=' + values.at(i).toUtf8());
        }
    }

    void refused_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("no equals sign") << QByteArray("a=1&b");
        QTest::newRow("empty name") << QByteArray("=1");
        QTest::newRow("short escape") << QByteArray("a=%4");
        QTest::newRow("bad escape") << QByteArray("a=%zz");
    }

    void refused()
    {
        QFETCH(QByteArray, body);
        FormBody form;
        QVERIFY(!form.parse(body));
        QVERIFY(!form.error().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestFormBody)
#include "tst_formbody.moc"
