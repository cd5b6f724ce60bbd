#include "ui/framehittest.h"

#include <QtTest>

// The edge and corner bands of the frameless window, as one pure rule.
class TestFrameHitTest : public QObject
{
    Q_OBJECT

private slots:
    void bands_data()
    {
        QTest::addColumn<QRect>("window");
        QTest::addColumn<QPoint>("cursor");
        QTest::addColumn<QSize>("minimum");
        QTest::addColumn<QSize>("maximum");
        QTest::addColumn<bool>("maximized");
        QTest::addColumn<int>("hit");

        const QRect w(100, 50, 900, 600); // right edge 1000 and bottom 650 are outside
        const QSize min(900, 600);
        const QSize max(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        const auto add = [&](const char* name, QPoint p, FrameHit hit) {
            QTest::newRow(name) << w << p << min << max << false << int(hit);
        };
        add("inside", QPoint(500, 300), FrameHit::None);
        add("left first pixel", QPoint(100, 300), FrameHit::Left);
        add("left last pixel", QPoint(103, 300), FrameHit::Left);
        add("left band ends", QPoint(104, 300), FrameHit::None);
        add("right", QPoint(999, 300), FrameHit::Right);
        add("right band starts", QPoint(996, 300), FrameHit::Right);
        add("right band before", QPoint(995, 300), FrameHit::None);
        add("top", QPoint(500, 50), FrameHit::Top);
        add("bottom", QPoint(500, 649), FrameHit::Bottom);
        add("top-left", QPoint(101, 52), FrameHit::TopLeft);
        add("top-right over right", QPoint(998, 51), FrameHit::TopRight);
        add("bottom-left", QPoint(100, 649), FrameHit::BottomLeft);
        add("bottom-right", QPoint(999, 646), FrameHit::BottomRight);
        add("outside right", QPoint(1000, 300), FrameHit::None);
        add("outside above", QPoint(500, 49), FrameHit::None);

        QTest::newRow("maximised has no bands")
            << w << QPoint(100, 300) << min << max << true << int(FrameHit::None);
        QTest::newRow("maximised corner")
            << w << QPoint(999, 649) << min << max << true << int(FrameHit::None);

        const QSize fixedWidthMin(900, 600);
        const QSize fixedWidthMax(900, QWIDGETSIZE_MAX);
        QTest::newRow("fixed width: no left")
            << w << QPoint(101, 300) << fixedWidthMin << fixedWidthMax << false << int(FrameHit::None);
        QTest::newRow("fixed width: no right")
            << w << QPoint(998, 300) << fixedWidthMin << fixedWidthMax << false << int(FrameHit::None);
        QTest::newRow("fixed width: bottom still")
            << w << QPoint(500, 648) << fixedWidthMin << fixedWidthMax << false << int(FrameHit::Bottom);
        QTest::newRow("fixed width: corner is top")
            << w << QPoint(999, 50) << fixedWidthMin << fixedWidthMax << false << int(FrameHit::Top);
        QTest::newRow("fixed height: corner is right")
            << w << QPoint(999, 50) << QSize(900, 600) << QSize(QWIDGETSIZE_MAX, 600) << false
            << int(FrameHit::Right);
        QTest::newRow("fixed both: nothing")
            << w << QPoint(100, 50) << QSize(900, 600) << QSize(900, 600) << false << int(FrameHit::None);

        // A window left of and above the primary screen.
        const QRect negative(-1200, -700, 900, 600);
        QTest::newRow("negative left")
            << negative << QPoint(-1199, -400) << min << max << false << int(FrameHit::Left);
        QTest::newRow("negative top-right")
            << negative << QPoint(-301, -700) << min << max << false << int(FrameHit::TopRight);
        QTest::newRow("negative bottom-left")
            << negative << QPoint(-1200, -101) << min << max << false << int(FrameHit::BottomLeft);
        QTest::newRow("negative inside")
            << negative << QPoint(-700, -400) << min << max << false << int(FrameHit::None);
    }

    void bands()
    {
        QFETCH(QRect, window);
        QFETCH(QPoint, cursor);
        QFETCH(QSize, minimum);
        QFETCH(QSize, maximum);
        QFETCH(bool, maximized);
        QFETCH(int, hit);
        QCOMPARE(int(frameHitTest(window, cursor, minimum, maximum, maximized)), hit);
    }

    void edgesAndCursors()
    {
        QCOMPARE(frameHitEdges(FrameHit::TopRight), Qt::TopEdge | Qt::RightEdge);
        QCOMPARE(frameHitEdges(FrameHit::BottomLeft), Qt::BottomEdge | Qt::LeftEdge);
        QCOMPARE(frameHitEdges(FrameHit::None), Qt::Edges());
        QCOMPARE(frameHitCursor(FrameHit::Left), Qt::SizeHorCursor);
        QCOMPARE(frameHitCursor(FrameHit::Bottom), Qt::SizeVerCursor);
        QCOMPARE(frameHitCursor(FrameHit::TopLeft), Qt::SizeFDiagCursor);
        QCOMPARE(frameHitCursor(FrameHit::TopRight), Qt::SizeBDiagCursor);
    }
};

QTEST_APPLESS_MAIN(TestFrameHitTest)
#include "tst_framehittest.moc"
