#include "ui/screenscale.h"

#include <QtTest>

// Font sizes by size class and the screen scale they are corrected for.
class TestScreenScale : public QObject
{
    Q_OBJECT

private slots:
    void fontSizes_data()
    {
        QTest::addColumn<double>("scale");
        QTest::addColumn<QList<int>>("sizes");
        QTest::newRow("100 %") << 1.0 << QList<int>{7, 9, 11, 13, 20};
        QTest::newRow("120 %") << 1.2 << QList<int>{5, 7, 9, 10, 16};
        QTest::newRow("125 %") << 1.25 << QList<int>{5, 7, 8, 10, 16};
        QTest::newRow("130 %") << 1.3 << QList<int>{5, 6, 8, 10, 15};
        QTest::newRow("150 %") << 1.5 << QList<int>{7, 9, 11, 13, 20};
        QTest::newRow("115 %") << 1.15 << QList<int>{7, 9, 11, 13, 20};
        QTest::newRow("200 %") << 2.0 << QList<int>{7, 9, 11, 13, 20};
    }

    void fontSizes()
    {
        QFETCH(double, scale);
        QFETCH(QList<int>, sizes);
        for (int sizeClass = 0; sizeClass < 5; ++sizeClass) {
            QCOMPARE(fontPointSizeForScale(sizeClass, scale), sizes.at(sizeClass));
        }
    }

    void unknownClassIsMedium()
    {
        QCOMPARE(fontPointSizeForScale(5, 1.0), 11);
        QCOMPARE(fontPointSizeForScale(-1, 1.25), 8);
    }

    void scaleFromDpi_data()
    {
        QTest::addColumn<double>("dpi");
        QTest::addColumn<double>("scale");
        QTest::newRow("96") << 96.0 << 1.0;
        QTest::newRow("120") << 120.0 << 1.25;
        QTest::newRow("144") << 144.0 << 1.5;
        QTest::newRow("no screen") << 0.0 << 1.0;
        QTest::newRow("absurdly high") << 1000.0 << 1.0;
    }

    void scaleFromDpi()
    {
        QFETCH(double, dpi);
        QFETCH(double, scale);
        QCOMPARE(dpiScaleFromDpi(dpi), scale);
    }

    // The running screen's scale is read once and gives the sizes the rule gives.
    void systemScaleIsKept()
    {
        int argc = 1;
        char name[] = "tst_screenscale";
        char* argv[] = {name, nullptr};
        QGuiApplication app(argc, argv);
        const double scale = systemDpiScale();
        QVERIFY(scale >= 0.1 && scale <= 5.0);
        QCOMPARE(systemDpiScale(), scale);
        QCOMPARE(fontPointSize(3), fontPointSizeForScale(3, scale));
    }
};

QTEST_APPLESS_MAIN(TestScreenScale)
#include "tst_screenscale.moc"
