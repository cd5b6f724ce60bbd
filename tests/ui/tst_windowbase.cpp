#include "mouse.h"
#include "support/testenvironment.h"
#include "ui/clickablewidget.h"
#include "ui/frameresizer.h"
#include "ui/windowbase.h"

#include <QtTest>

// Dragging, the grey mask and the edge resizing of the frameless base.
class TestWindowBase : public QObject
{
    Q_OBJECT
public:
    static void initMain() { TestEnvironment::isolate(); }

private slots:
    void init()
    {
        window = new CWindowBase;
        window->setMinimumSize(400, 300);
        window->setGeometry(100, 100, 400, 300);
        child = new QWidget(window);
        child->setGeometry(0, 0, 400, 300);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
    }

    void cleanup()
    {
        delete window;
        QCOMPARE(QApplication::overrideCursor(), nullptr);
    }

    void framelessOnly() { QCOMPARE(window->windowFlags() & ~Qt::WindowType_Mask, Qt::FramelessWindowHint); }

    void clickWithoutMoveStillEmitsMoved()
    {
        QSignalSpy moving(window, &CWindowBase::windowMoving);
        QSignalSpy moved(window, &CWindowBase::windowMoved);
        Mouse::press(window, QPoint(200, 150));
        Mouse::release(window, QPoint(200, 150));
        QCOMPARE(moving.count(), 0);
        QCOMPARE(moved.count(), 1);
        QCOMPARE(window->pos(), QPoint(100, 100));
    }

    void dragMovesByTheCursorDistance()
    {
        QSignalSpy moving(window, &CWindowBase::windowMoving);
        QSignalSpy moved(window, &CWindowBase::windowMoved);
        Mouse::press(window, QPoint(200, 150));
        // Global positions: the window moves under the cursor, so send them directly.
        const QPoint start = window->mapToGlobal(QPoint(200, 150));
        for (const QPoint& step : {QPoint(10, 5), QPoint(30, 20)}) {
            QMouseEvent move(QEvent::MouseMove, QPointF(200, 150), QPointF(start + step), Qt::NoButton,
                             Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(window, &move);
        }
        QCOMPARE(moving.count(), 2);
        QCOMPARE(window->pos(), QPoint(130, 120));
        Mouse::release(window, QPoint(200, 150));
        QCOMPARE(moved.count(), 1);
    }

    void rightButtonStartsNoDrag()
    {
        QSignalSpy moving(window, &CWindowBase::windowMoving);
        QSignalSpy moved(window, &CWindowBase::windowMoved);
        Mouse::press(window, QPoint(200, 150), Qt::RightButton);
        Mouse::move(window, QPoint(250, 180), Qt::RightButton);
        Mouse::release(window, QPoint(250, 180), Qt::RightButton);
        QCOMPARE(moving.count(), 0);
        QCOMPARE(moved.count(), 0);
        QCOMPARE(window->pos(), QPoint(100, 100));
    }

    void maskCoversAndFollowsResizes()
    {
        QVERIFY(!window->grayMask());
        QSignalSpy maskClicked(window, &CWindowBase::grayMaskClicked);
        window->setMaskVisible(true);
        CClickableWidget* mask = window->grayMask();
        QVERIFY(mask);
        QCOMPARE(mask->objectName(), QStringLiteral("maskWidget"));
        QVERIFY(window->isMaskVisible());
        QVERIFY(mask->isVisible());
        QCOMPARE(mask->geometry(), window->rect());
        QCOMPARE(window->childAt(200, 150), mask);

        window->resize(640, 480);
        QCOMPARE(mask->geometry(), QRect(0, 0, 640, 480));

        // A click on the mask reaches the window too: it may start a drag.
        QSignalSpy moved(window, &CWindowBase::windowMoved);
        Mouse::press(mask, QPoint(50, 50));
        Mouse::release(mask, QPoint(50, 50));
        QCOMPARE(maskClicked.count(), 1);
        QCOMPARE(moved.count(), 1);

        window->setMaskVisible(false);
        QVERIFY(!mask->isVisible());
        QVERIFY(!window->isMaskVisible());
        window->resize(500, 400);
        QCOMPARE(mask->size(), QSize(500, 400));
    }

    void maximisedWindowDoesNotDrag()
    {
        window->showMaximized();
        QTRY_VERIFY(window->isMaximized());
        const QPoint before = window->pos();
        QSignalSpy moving(window, &CWindowBase::windowMoving);
        Mouse::press(window, QPoint(200, 150));
        Mouse::move(window, QPoint(260, 190));
        Mouse::release(window, QPoint(260, 190));
        QCOMPARE(moving.count(), 0);
        QCOMPARE(window->pos(), before);
    }

    // No window manager here: our own resize takes over, also from a child
    // widget that reaches the edge.
    void edgeOfChildResizes_data()
    {
        QTest::addColumn<QPoint>("grab");
        QTest::addColumn<QPoint>("drag");
        QTest::addColumn<QRect>("expected");
        QTest::newRow("right") << QPoint(398, 150) << QPoint(50, 40) << QRect(100, 100, 450, 300);
        QTest::newRow("bottom-right") << QPoint(399, 299) << QPoint(50, 40) << QRect(100, 100, 450, 340);
        QTest::newRow("left") << QPoint(1, 150) << QPoint(-30, 0) << QRect(70, 100, 430, 300);
        QTest::newRow("top-left") << QPoint(0, 0) << QPoint(-20, -10) << QRect(80, 90, 420, 310);
        QTest::newRow("left stops at minimum")
            << QPoint(2, 150) << QPoint(80, 0) << QRect(100, 100, 400, 300);
    }

    void edgeOfChildResizes()
    {
        QFETCH(QPoint, grab);
        QFETCH(QPoint, drag);
        QFETCH(QRect, expected);
        QSignalSpy moved(window, &CWindowBase::windowMoved);
        const QPoint globalStart = child->mapToGlobal(grab);

        QMouseEvent hover(QEvent::MouseMove, grab, globalStart, Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(child, &hover);
        QVERIFY(QApplication::overrideCursor());

        QVERIFY(Mouse::press(child, grab));
        QMouseEvent move(QEvent::MouseMove, grab, globalStart + drag, Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(child, &move);
        QMouseEvent release(QEvent::MouseButtonRelease, grab, globalStart + drag, Qt::LeftButton,
                            Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(child, &release);
        QCOMPARE(window->geometry(), expected);
        QCOMPARE(moved.count(), 0);

        QMouseEvent away(QEvent::MouseMove, QPoint(200, 150), child->mapToGlobal(QPoint(200, 150)),
                         Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(child, &away);
        QCOMPARE(QApplication::overrideCursor(), nullptr);
    }

    void hoverShowsTheBandsCursor()
    {
        const auto hoverAt = [this](QPoint p) {
            QMouseEvent hover(QEvent::MouseMove, p, child->mapToGlobal(p), Qt::NoButton, Qt::NoButton,
                              Qt::NoModifier);
            QApplication::sendEvent(child, &hover);
            return QApplication::overrideCursor() ? QApplication::overrideCursor()->shape() : Qt::ArrowCursor;
        };
        QCOMPARE(hoverAt(QPoint(399, 0)), Qt::SizeBDiagCursor);
        QCOMPARE(hoverAt(QPoint(399, 150)), Qt::SizeHorCursor);
        QCOMPARE(hoverAt(QPoint(200, 299)), Qt::SizeVerCursor);
        QCOMPARE(hoverAt(QPoint(200, 150)), Qt::ArrowCursor);

        window->setFixedWidth(400);
        QCOMPARE(hoverAt(QPoint(399, 150)), Qt::ArrowCursor);
        QCOMPARE(hoverAt(QPoint(200, 299)), Qt::SizeVerCursor);
        hoverAt(QPoint(200, 150));
    }

private:
    CWindowBase* window = nullptr;
    QWidget* child = nullptr;
};

QTEST_MAIN(TestWindowBase)
#include "tst_windowbase.moc"
