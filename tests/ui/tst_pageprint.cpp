#include "account/logininfo.h"
#include "account/loginmanager.h"
#include "dialogwaiter.h"
#include "support/accountfixture.h"
#include "support/testenvironment.h"
#include "ui/dialoglogin.h"
#include "ui/pageprint.h"
#include "ui/windowmain.h"
#include "weather/weather.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPushButton>
#include <QStackedWidget>
#include <QtTest>

// Catches what the page hands to the desktop's web browser.
class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

// The print page in the main window, following the real sign-in against the
// local service, and its driver download link.
class TestPagePrint : public QObject
{
    Q_OBJECT
public:
    static void initMain() { TestEnvironment::isolateClient(); }

private:
    std::unique_ptr<LocalServiceProcess> m_service;
    WindowMain* window = nullptr;
    PagePrint* page = nullptr;

    QImage shown() const { return page->findChild<QLabel*>("label_manual")->pixmap()->toImage(); }
    QPushButton* button(const char* name) const { return page->findChild<QPushButton*>(name); }
    static QImage picture(const char* name) { return QPixmap(QString(":/wid/res/print/") + name).toImage(); }

private slots:
    void initTestCase() { QVERIFY(AccountFixture::start(m_service)); }

    void init()
    {
        QVERIFY(AccountFixture::reset(*m_service));
        window = WindowMain::instance(false);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        window->findChild<QStackedWidget*>("stkWid")->setCurrentIndex(2);
        page = window->findChild<PagePrint*>("PagePrint");
        QVERIFY(page && page->isVisible());
    }

    void cleanup()
    {
        WindowMain::instance(true);
        CLoginManager::instance(true);
        CWeather::instance(true);
    }

    void pictureFollowsTheSignIn()
    {
        QVERIFY(!picture("error_print.png").isNull());
        QCOMPARE(shown(), picture("error_print.png"));
        QVERIFY(button("login_print")->isVisible());

        CLoginManager::instance()->loginPswd(LocalServiceProcess::demoPhone, LocalServiceProcess::password);
        QTRY_VERIFY_WITH_TIMEOUT(!button("login_print")->isVisible(), 10000);
        QCOMPARE(shown(), picture("normal_print.png"));

        CLoginManager::instance()->logout();
        QTRY_VERIFY_WITH_TIMEOUT(button("login_print")->isVisible(), 10000);
        QCOMPARE(shown(), picture("error_print.png"));
        QVERIFY(button("link_print")->isVisible());
    }

    void signInButtonOpensTheSignInDialog()
    {
        bool opened = false;
        whenDialogOpen<DialogLogin>(window, [&](DialogLogin* dialog) {
            opened = true;
            QVERIFY(window->isMaskVisible());
            dialog->close();
        });
        QTest::mouseClick(button("login_print"), Qt::LeftButton);
        QTRY_VERIFY(opened);
    }

    void driverLinkOpensTheDownload()
    {
        UrlCatcher catcher;
        QDesktopServices::setUrlHandler("http", &catcher, "open");
        QDesktopServices::setUrlHandler("https", &catcher, "open");
        QCOMPARE(button("link_print")->toolTip(), QString("点此下载 Inkpost_PS 打印机驱动"));
        QTest::mouseClick(button("link_print"), Qt::LeftButton);
        QDesktopServices::unsetUrlHandler("http");
        QDesktopServices::unsetUrlHandler("https");
        QCOMPARE(catcher.urls.size(), 1);
        QCOMPARE(catcher.urls.first(), QUrl(m_service->origin() + "/static/download/windows/Inkpost_PS.exe"));

        // The deployment's download server has the driver there.
        QNetworkAccessManager network;
        std::unique_ptr<QNetworkReply> reply(network.get(QNetworkRequest(catcher.urls.first())));
        QTRY_VERIFY(reply->isFinished());
        QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 200);
    }

    // On Linux the page says whether the print queue is installed; lpstat
    // (a stand-in on the PATH here) is CUPS's answer.
    void linuxLineFollowsTheQueue_data()
    {
        QTest::addColumn<int>("lpstatExit");
        QTest::addColumn<bool>("signedIn");
        QTest::addColumn<QString>("text");
        QTest::newRow("no queue") << 1 << false
                                  << "Linux：请先安装打印机 Vantelor 云打印（install-printer.sh）";
        QTest::newRow("queue, signed out") << 0 << false << "Linux：已安装 Vantelor 云打印，登录后即可打印";
        QTest::newRow("queue, signed in") << 0 << true << "我的打印任务";
    }

    void linuxLineFollowsTheQueue()
    {
        QFETCH(int, lpstatExit);
        QFETCH(bool, signedIn);
        QFETCH(QString, text);
        const QString bin = TestEnvironment::root() + "/fake-lpstat";
        QDir().mkpath(bin);
        QFile lpstat(bin + "/lpstat");
        QVERIFY(lpstat.open(QIODevice::WriteOnly));
        lpstat.write(
            QString("#!/bin/sh\n[ \"$2\" = Vantelor ] && exit %1\nexit 1\n").arg(lpstatExit).toUtf8());
        lpstat.close();
        lpstat.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", bin.toLocal8Bit() + ":" + path);
        if (signedIn) {
            CLoginManager::instance()->loginPswd(LocalServiceProcess::demoPhone,
                                                 LocalServiceProcess::password);
            QTRY_VERIFY_WITH_TIMEOUT(!button("login_print")->isVisible(), 10000);
        }
        QMetaObject::invokeMethod(page, "updateLinuxLine");
        auto* line = page->findChild<QLabel*>("label_linux_print");
        QTRY_VERIFY2(line->text().contains(text), qPrintable(line->text()));
        qputenv("PATH", path);
        if (signedIn) {
            // The link opens the user's job list at the print service, signed on by the ticket.
            QTRY_VERIFY(!CLoginInfo::instance()->ticket.isEmpty());
            UrlCatcher catcher;
            QDesktopServices::setUrlHandler("http", &catcher, "open");
            emit line->linkActivated("jobs");
            QDesktopServices::unsetUrlHandler("http");
            QCOMPARE(catcher.urls.size(), 1);
            QNetworkAccessManager network;
            std::unique_ptr<QNetworkReply> reply(network.get(QNetworkRequest(catcher.urls.first())));
            QTRY_VERIFY(reply->isFinished());
            QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 200);
            QVERIFY(QString::fromUtf8(reply->readAll()).contains("<h1>我的打印任务</h1>"));
        }
    }

    void frameStaysCentred()
    {
        window->resize(1300, 900);
        QTRY_COMPARE(page->width(), 1300 - 80);
        auto* frame = page->findChild<QFrame*>("frame_manual_print");
        QVERIFY(qAbs(frame->geometry().center().x() - page->width() / 2) <= 6);
        QVERIFY(qAbs(frame->geometry().center().y() - page->height() / 2) <= 12);
        QCOMPARE(frame->size(), QSize(400, 450));
    }
};

QTEST_MAIN(TestPagePrint)
#include "tst_pageprint.moc"
