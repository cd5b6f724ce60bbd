#include "mouse.h"
#include "support/testenvironment.h"
#include "ui/clickablewidget.h"
#include "ui/stylesheet.h"
#include "ui/userphoto.h"

#include <QDir>
#include <QLabel>
#include <QPainter>
#include <QtTest>

namespace {
// Counts the mouse events that reach it and the paints it gets.
class Recorder : public QWidget
{
public:
    int presses = 0;
    int releases = 0;

protected:
    void mousePressEvent(QMouseEvent*) override { ++presses; }
    void mouseReleaseEvent(QMouseEvent*) override { ++releases; }
};

class PaintCounter : public QObject
{
public:
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            ++paints;
        }
        return false;
    }
};

// A landscape picture: red left third, green middle, blue right third.
QImage threeStripes(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.fillRect(0, 0, width / 3, height, Qt::red);
    painter.fillRect(width / 3, 0, width / 3, height, Qt::green);
    painter.fillRect(2 * width / 3, 0, width - 2 * width / 3, height, Qt::blue);
    return image;
}

// Smooth scaling may shift a channel by one.
bool isGreen(const QColor& c)
{
    return c.green() > 240 && c.red() < 16 && c.blue() < 16;
}
} // namespace

// The clickable mask widget and the user photo.
class TestSmallWidgets : public QObject
{
    Q_OBJECT
public:
    static void initMain() { TestEnvironment::isolate(); }

private slots:
    void clickableReportsAndPropagates()
    {
        Recorder parent;
        parent.resize(200, 200);
        auto* clickable = new CClickableWidget(&parent);
        clickable->setGeometry(0, 0, 200, 200);
        QSignalSpy pressed(clickable, &CClickableWidget::mousePressed);
        QSignalSpy released(clickable, &CClickableWidget::mouseReleased);

        Mouse::press(clickable, QPoint(10, 10));
        Mouse::release(clickable, QPoint(10, 10));
        QCOMPARE(pressed.count(), 1);
        QCOMPARE(released.count(), 1);
        QCOMPARE(parent.presses, 1);
        QCOMPARE(parent.releases, 1);

        Mouse::press(clickable, QPoint(10, 10), Qt::RightButton);
        Mouse::release(clickable, QPoint(10, 10), Qt::RightButton);
        QCOMPARE(pressed.count(), 1);
        QCOMPARE(released.count(), 1);
    }

    void clickablePaintsItsStyleSheet()
    {
        CClickableWidget widget;
        widget.setObjectName("maskWidget");
        widget.setStyleSheet("#maskWidget {background-color: rgb(10, 200, 30);}");
        widget.resize(20, 20);
        const QImage shot = widget.grab().toImage();
        QCOMPARE(shot.pixelColor(10, 10), QColor(10, 200, 30));
    }

    void styleSheetsGetTheActionColour()
    {
        const QStringList sheets = QDir(":/wid/qss").entryList({"*.qss"});
        QVERIFY(sheets.size() > 10);
        int coloured = 0;
        for (const QString& file : sheets) {
            QWidget first;
            QWidget second;
            QVERIFY(applyStyleSheet(QFileInfo(file).completeBaseName(), {&first, &second}, "unexpected"));
            QCOMPARE(second.styleSheet(), first.styleSheet());
            QVERIFY2(!first.styleSheet().contains('@'), qPrintable(file));
            coloured += first.styleSheet().contains(kActionColour) ? 1 : 0;
        }
        QCOMPARE(coloured, 10);
    }
    void missingStyleSheetWarnsAndSetsNothing()
    {
        QWidget widget;
        widget.setStyleSheet("QWidget{color: red;}");
        QTest::ignoreMessage(QtWarningMsg, "Can't open the qss file of nothing.");
        QVERIFY(!applyStyleSheet("wid_nothing", {&widget}, "Can't open the qss file of nothing."));
        QCOMPARE(widget.styleSheet(), QString("QWidget{color: red;}"));
    }

    void landscapePhotoIsCroppedEvenly()
    {
        QWidget parent;
        auto* photo = new CUserPhoto(&parent);
        photo->setEllipseMask(false);
        photo->setGeometry(10, 10, 90, 90);
        photo->setPic(threeStripes(270, 90));
        QCOMPARE(photo->currentPhoto().size(), QSize(270, 90));

        // Only the middle third fits: the cut is the same on both sides.
        const QImage shot = photo->grab().toImage();
        QVERIFY(isGreen(shot.pixelColor(0, 45)));
        QVERIFY(isGreen(shot.pixelColor(89, 45)));

        photo->setPic(threeStripes(300, 100));
        QCOMPARE(photo->currentPhoto().size(), QSize(270, 90));
        const QImage wider = photo->grab().toImage();
        QVERIFY(isGreen(wider.pixelColor(0, 45)));
        QVERIFY(isGreen(wider.pixelColor(89, 45)));
    }

    void nullPictureIsStoredWithoutRepaint()
    {
        QWidget parent;
        parent.resize(200, 200);
        auto* photo = new CUserPhoto(&parent);
        photo->setGeometry(10, 10, 40, 40);
        photo->setPic(threeStripes(40, 40));
        parent.show();
        QVERIFY(QTest::qWaitForWindowExposed(&parent));
        PaintCounter counter;
        photo->installEventFilter(&counter);
        QCoreApplication::processEvents();
        counter.paints = 0;

        photo->setPic(QImage());
        // No repaint is due: a margin in which a wrong one would arrive.
        QTest::qWait(50);
        QCOMPARE(counter.paints, 0);
        QVERIFY(photo->currentPhoto().isNull());

        // Whatever repaints it next shows nothing.
        const QImage shot = photo->grab().toImage();
        QVERIFY(!isGreen(shot.pixelColor(20, 20)));
    }

    void pathPictureLoadsAndBadPathKeepsOld()
    {
        CUserPhoto photo;
        photo.resize(40, 40);
        photo.setPic(QStringLiteral(":/wid/res/login/unLogin.png"));
        QCOMPARE(photo.currentPhoto().size(), QSize(40, 40));
        photo.setPic(QStringLiteral(":/wid/res/login/none.png"));
        QCOMPARE(photo.currentPhoto().size(), QSize(40, 40));
    }

    void overlayLiesOverThePhoto()
    {
        QWidget parent;
        parent.resize(100, 100);
        auto* photo = new CUserPhoto(&parent);
        photo->setGeometry(20, 10, 40, 40);
        photo->setMaskPic(QStringLiteral(":/wid/res/login/userHeadMask.png"));
        parent.show();
        QVERIFY(QTest::qWaitForWindowExposed(&parent));
        QLabel* overlay = photo->overlayLabel();
        QVERIFY(overlay);
        QCOMPARE(overlay->parentWidget(), &parent);
        QCOMPARE(overlay->geometry(), photo->geometry());
        QVERIFY(overlay->testAttribute(Qt::WA_TransparentForMouseEvents));
        QCOMPARE(overlay->pixmap(Qt::ReturnByValue).size(), QSize(40, 40));

        photo->move(5, 7);
        QCOMPARE(overlay->pos(), QPoint(5, 7));
    }

    void withoutParentNoOverlay()
    {
        CUserPhoto photo;
        photo.resize(30, 30);
        photo.setMaskPic(QStringLiteral(":/wid/res/login/userHeadMask.png"));
        QVERIFY(!photo.overlayLabel());
    }

    void ellipseMaskFollowsSize()
    {
        CUserPhoto photo;
        photo.resize(40, 40);
        photo.show();
        QVERIFY(QTest::qWaitForWindowExposed(&photo));
        QVERIFY(!photo.mask().isEmpty());
        QVERIFY(!photo.mask().contains(QPoint(1, 1)));
        QVERIFY(photo.mask().contains(QPoint(20, 20)));
    }

    void leftReleaseClicks()
    {
        CUserPhoto photo;
        photo.resize(40, 40);
        QSignalSpy clicked(&photo, &CUserPhoto::clicked);
        QVERIFY(Mouse::press(&photo, QPoint(20, 20)));
        QVERIFY(Mouse::release(&photo, QPoint(20, 20), Qt::RightButton));
        QCOMPARE(clicked.count(), 0);
        Mouse::release(&photo, QPoint(20, 20));
        QCOMPARE(clicked.count(), 1);
    }
};

QTEST_MAIN(TestSmallWidgets)
#include "tst_smallwidgets.moc"
