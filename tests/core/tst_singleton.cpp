#include <QProcess>
#include <QtTest>

// Process exit with singletons still held: a destructor that reaches another
// singleton must find it alive (or cleanly released), never a destroyed holder.
class TestSingleton : public QObject
{
    Q_OBJECT

private slots:
    void exitDestroysInReverseOrderOfConstruction_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("expected");
        QTest::newRow("both held") << ""
                                   << "outer destroyed, inner alive\ninner destroyed\n";
        QTest::newRow("inner released before exit") << "release-inner-first"
                                                    << "inner destroyed\nouter destroyed, inner gone\n";
    }

    void exitDestroysInReverseOrderOfConstruction()
    {
        QFETCH(QString, mode);
        QFETCH(QString, expected);
        QProcess child;
        child.start(QStringLiteral(VANTELOR_TEST_BIN_DIR "/singletonexit"),
                    mode.isEmpty() ? QStringList() : QStringList{mode});
        QVERIFY(child.waitForFinished(10000));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);
        QCOMPARE(QString::fromUtf8(child.readAllStandardOutput()), expected);
    }
};

QTEST_GUILESS_MAIN(TestSingleton)
#include "tst_singleton.moc"
