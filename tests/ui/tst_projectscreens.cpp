#include "core/netstatewathcer.h"
#include "platform/systemping.h"
#include "projection/sharewrapper.h"
#include "support/testenvironment.h"
#include "ui/fontsubstitution.h"
#include "ui/windowmain.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

// Pictures of the projection page in the main window, saved to
// build/screenshots for a look, and checked where the artwork must show.
class TestProjectScreens : public QObject
{
    Q_OBJECT
public:
    static void initMain() { TestEnvironment::isolateClient(); }

private slots:
    void initTestCase()
    {
        installFontSubstitutions();
        CSystemPing::setProgram(TestEnvironment::binary("vantelor-ping"));
        outDir = QStringLiteral(VANTELOR_BIN_DIR "/../screenshots");
        QVERIFY(QDir().mkpath(outDir));
        window = WindowMain::instance(false);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QTRY_VERIFY(CNetStateWathcer::instance()->isNetOK());
        QTest::mouseClick(window->findChild<QPushButton*>("btn_project"), Qt::LeftButton);
        page = window->findChild<QWidget*>("PageProject");
        QTRY_VERIFY(page->isVisible());
    }

    void cleanupTestCase() { WindowMain::instance(true); }

    void singleMode()
    {
        edit("edit_code1")->setText("FS34C");
        const QImage shot = save("project-single");
        // The page's ground below the form, the title, the action-coloured button.
        expectNear(shot.pixelColor(400, 580), QColor(20, 56, 108));
        const QRect title(page->findChild<QLabel*>("label_title")->mapTo(window, QPoint()), QSize(120, 45));
        QCOMPARE(shot.pixelColor(title.topLeft() + QPoint(2, 41)), QColor(1, 149, 255));
        QCOMPARE(shot.pixelColor(title.topLeft() + QPoint(60, 5)), QColor(20, 56, 108));
        const QPoint button = page->findChild<QPushButton*>("btn_start")->mapTo(window, QPoint(80, 8));
        QCOMPARE(shot.pixelColor(button), QColor(1, 149, 255));
    }

    void dualMode()
    {
        QTest::mouseClick(page->findChild<QPushButton*>("btn_add"), Qt::LeftButton);
        edit("edit_code2")->setText("ab12");
        save("project-dual");
    }

    void codeOrVpnError()
    {
        emit CShareWrapper::instance()->shareError("5001", "投屏码错误或VPN问题");
        QVERIFY(page->findChild<QLabel*>("tip2_pro")->isVisible());
        save("project-error-vpn");
    }

    void textError()
    {
        emit CShareWrapper::instance()->shareError("1", QString());
        save("project-error-text");
    }

    // The form and the background picture stay together in a larger window.
    void larger()
    {
        window->resize(1200, 760);
        QTRY_COMPARE(page->width(), 1120);
        save("project-larger");
        window->resize(900, 600);
    }

private:
    QLineEdit* edit(const char* name) { return page->findChild<QLineEdit*>(name); }
    static void expectNear(const QColor& actual, const QColor& expected)
    {
        const int distance = qAbs(actual.red() - expected.red()) + qAbs(actual.green() - expected.green()) +
                             qAbs(actual.blue() - expected.blue());
        QVERIFY2(distance <= 9, qPrintable(actual.name() + " vs " + expected.name()));
    }
    QImage save(const QString& name)
    {
        // Screenshots only: no event says the last repaint has landed.
        QTest::qWait(100);
        const QImage shot = window->grab().toImage();
        shot.save(outDir + "/" + name + ".png");
        return shot;
    }

    WindowMain* window = nullptr;
    QWidget* page = nullptr;
    QString outDir;
};

QTEST_MAIN(TestProjectScreens)
#include "tst_projectscreens.moc"
