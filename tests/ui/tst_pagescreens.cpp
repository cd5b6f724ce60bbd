#include "account/loginmanager.h"
#include "core/netstatewathcer.h"
#include "platform/systemping.h"
#include "support/accountfixture.h"
#include "support/testenvironment.h"
#include "ui/fontsubstitution.h"
#include "ui/windowmain.h"
#include "weather/weather.h"

#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QtTest>

// Pictures of the home page with the local service's weather and of the print
// page signed out and in, saved to build/screenshots for a look.
class TestPageScreens : public QObject
{
    Q_OBJECT
public:
    static void initMain() { TestEnvironment::isolateClient(); }

private:
    std::unique_ptr<LocalServiceProcess> m_service;
    WindowMain* window = nullptr;
    QString outDir;

    QImage save(const QString& name)
    {
        // Screenshots only: no event says the last repaint has landed.
        QTest::qWait(100);
        const QImage shot = window->grab().toImage();
        shot.save(outDir + "/" + name + ".png");
        return shot;
    }

    // Through the side bar, as the user does.
    void showPage(const char* sideButton, int index)
    {
        auto* button = window->findChild<QPushButton*>(sideButton);
        QVERIFY(button);
        QTest::mouseClick(button, Qt::LeftButton);
        QTRY_COMPARE(window->findChild<QStackedWidget*>("stkWid")->currentIndex(), index);
    }

private slots:
    void initTestCase()
    {
        installFontSubstitutions();
        CSystemPing::setProgram(TestEnvironment::binary("vantelor-ping"));
        // The icons lie beside the client, not beside the test.
        CWeather::setIconDirectoryForTesting(TestEnvironment::binary("image/wea"));
        QVERIFY(AccountFixture::start(m_service));
        QVERIFY(AccountFixture::reset(*m_service));
        outDir = QStringLiteral(VANTELOR_BIN_DIR "/../screenshots");
        QVERIFY(QDir().mkpath(outDir));
        window = WindowMain::instance(false);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QTRY_VERIFY(CNetStateWathcer::instance()->isNetOK());
    }

    void cleanupTestCase()
    {
        WindowMain::instance(true);
        CLoginManager::instance(true);
        CWeather::instance(true);
    }

    void homeWithWeather()
    {
        auto* info = window->findChild<QLabel*>("wea_td_info");
        QVERIFY(info);
        QTRY_VERIFY_WITH_TIMEOUT(info->text().contains("杭州"), 10000);
        showPage("btn_home", 0);
        const QImage shot = save("home");
        // Background of the page, not the placeholder's plain colour.
        QVERIFY(shot.pixelColor(860, 300).blue() > 200);
    }

    void printSignedOutAndIn()
    {
        showPage("btn_print", 2);
        auto* signIn = window->findChild<QPushButton*>("login_print");
        QVERIFY(signIn && signIn->isVisible());
        save("print-signed-out");

        CLoginManager::instance()->loginPswd(LocalServiceProcess::demoPhone, LocalServiceProcess::password);
        QTRY_VERIFY_WITH_TIMEOUT(!signIn->isVisible(), 10000);
        save("print-signed-in");
        CLoginManager::instance()->logout();
        QTRY_VERIFY_WITH_TIMEOUT(signIn->isVisible(), 10000);
    }
};

QTEST_MAIN(TestPageScreens)
#include "tst_pagescreens.moc"
