#include "support/localserviceprocess.h"
#include "support/testenvironment.h"
#include "testsigner.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>
#include <QWebChannel>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>
#include <QtTest>

// Stands in for the client's conference bridge: the page's calls are recorded
// and answered the way the client answers them, through the same signals.
class BridgeDouble : public QObject
{
    Q_OBJECT
public:
    QStringList calls;
    QString current;

signals:
    void onMeetingStarted(QString uuid);
    void onMeetingStoped(QString uuid);
    void onMeetingError(QString errCode, QString errMsg);
    void getTicket(QString ticket);
    void showLoginDlg(int reason);

public slots:
    void startMeeting(QString uuid, QString memberid, QString name)
    {
        calls << QString("startMeeting(%1,%2,%3)").arg(uuid, memberid, name);
        if (uuid.isEmpty() || memberid.isEmpty()) {
            emit onMeetingError("101", "invaild parameters");
            return;
        }
        current = uuid;
        QTimer::singleShot(50, this, [this, uuid] { emit onMeetingStarted(uuid); });
    }
    void stopMeeting(QString uuid, QString memberid)
    {
        calls << QString("stopMeeting(%1,%2)").arg(uuid, memberid);
        current.clear();
        QTimer::singleShot(50, this, [this, uuid] { emit onMeetingStoped(uuid); });
    }
    void needLogin()
    {
        calls << "needLogin()";
        emit showLoginDlg(1);
    }
    QString getCurMeetingId() { return current.isEmpty() ? QString("null") : current; }
    void trackMeetingNow() { calls << "trackMeetingNow()"; }
    void trackMeetingAppointment() { calls << "trackMeetingAppointment()"; }
    long getServerTimeOffset() { return 0; }
};

// The web pages of the local service in a real web engine: the conference page
// reaches "MeetingCallback" over the web channel, the office page works with
// the ticket the client passes.
class TestLocalServicePages : public QObject
{
    Q_OBJECT
public:
    static void initMain()
    {
        TestEnvironment::isolate();
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    }

private:
    LocalServiceProcess m_service;
    TestSigner m_signer{QStringLiteral(VANTELOR_SOURCE_DIR "/config/local.json")};

    // A fresh ticket of the demo user, obtained as the client obtains it.
    QString demoTicket()
    {
        const QString origin = m_service.origin();
        const TestSigner::Fields device = m_signer.device();
        const TestSigner::Result code = m_signer.post(
            origin, "authCodeByPassword",
            TestSigner::Fields{{"account", m_signer.rsaBase64(LocalServiceProcess::demoPhone)},
                               {"appCode", m_signer.appCode()}} +
                device +
                TestSigner::Fields{{"keyVersion", m_signer.keyVersion()},
                                   {"password", m_signer.rsaBase64(LocalServiceProcess::password)}});
        const TestSigner::Result token =
            m_signer.post(origin, "tokenFromAuthCode",
                          TestSigner::Fields{{"appCode", m_signer.appCode()},
                                             {"authCode", code.answer.value("content").toString()}} +
                              device);
        const QString accessToken = token.answer.value("content").toObject().value("accessToken").toString();
        return m_signer
            .post(origin, "accessTicket",
                  TestSigner::Fields{{"accessToken", accessToken}, {"appCode", m_signer.appCode()}} + device)
            .answer.value("content")
            .toString();
    }

    static QVariant js(QWebEnginePage* page, const QString& script)
    {
        QVariant result;
        bool done = false;
        page->runJavaScript(script, [&](const QVariant& v) {
            result = v;
            done = true;
        });
        if (!QTest::qWaitFor([&] { return done; }, 10000)) {
            qWarning("no answer from the page to: %s", qPrintable(script));
        }
        return result;
    }

    static QJsonObject meetingState(QWebEnginePage* page)
    {
        return QJsonDocument::fromJson(js(page, "JSON.stringify(window.meetingState)").toString().toUtf8())
            .object();
    }

    static bool load(QWebEngineView& view, const QString& url)
    {
        QSignalSpy loaded(&view, &QWebEngineView::loadFinished);
        view.load(QUrl(url));
        return loaded.wait(20000) && loaded.first().first().toBool();
    }

    static void keepScreenshot(QWidget& widget, const QString& name)
    {
        const QString path = QDir::currentPath() + "/" + name;
        widget.grab().save(path);
        qInfo("screenshot: %s", qPrintable(path));
    }

private slots:
    void initTestCase() { QVERIFY(m_service.start()); }

    void conferencePageDrivesTheBridge()
    {
        BridgeDouble bridge;
        QWebChannel channel;
        channel.registerObject("MeetingCallback", &bridge);
        QWebEngineView view;
        view.resize(820, 540);
        view.page()->setWebChannel(&channel);
        view.show();
        QVERIFY(load(view, m_service.origin() + "/client/index.htm?SSO_TICKET=" + demoTicket()));
        QTRY_COMPARE_WITH_TIMEOUT(js(view.page(), "document.body.getAttribute('data-bridge')").toString(),
                                  QString("ready"), 10000);
        QCOMPARE(js(view.page(), "document.getElementById('who').textContent").toString(), QString("林晓雨"));

        js(view.page(), "document.getElementById('btnNow').click()");
        QTRY_COMPARE(bridge.calls.size(), 2);
        QCOMPARE(bridge.calls.at(0), QString("trackMeetingNow()"));
        QVERIFY2(QRegularExpression("^startMeeting\\(\\d{9},10001,林晓雨\\)$")
                     .match(bridge.calls.at(1))
                     .hasMatch(),
                 qPrintable(bridge.calls.at(1)));
        QTRY_COMPARE(meetingState(view.page()).value("meeting").toString(), bridge.current);
        QVERIFY(js(view.page(), "document.getElementById('curMeeting').textContent")
                    .toString()
                    .contains(bridge.current));
        emit bridge.getTicket("ST-renewed");
        QTRY_VERIFY(js(view.page(), "document.querySelector('#log li[data-kind=ticket]') !== null").toBool());
        keepScreenshot(view, "localservice-conference-page.png");

        const QString uuid = bridge.current;
        js(view.page(), "document.getElementById('btnLeave').click()");
        QTRY_COMPARE(bridge.calls.last(), QString("stopMeeting(%1,10001)").arg(uuid));
        QTRY_VERIFY(meetingState(view.page()).value("meeting").isNull());
        QVERIFY(!js(view.page(), "document.getElementById('btnNow').disabled").toBool());

        // A refusal from the client reaches the page as an error line.
        js(view.page(), "meetingPage.start('')");
        QTRY_VERIFY(js(view.page(), "document.querySelector('#log li[data-kind=error]') !== null").toBool());
        QVERIFY(js(view.page(), "document.querySelector('#log li[data-kind=error]').textContent")
                    .toString()
                    .contains("101"));
    }

    void guestPageAsksTheClientForTheLogin()
    {
        BridgeDouble bridge;
        QWebChannel channel;
        channel.registerObject("MeetingCallback", &bridge);
        QWebEngineView view;
        view.page()->setWebChannel(&channel);
        QVERIFY(load(view, m_service.origin() + "/client/index.htm"));
        QTRY_COMPARE_WITH_TIMEOUT(js(view.page(), "document.body.getAttribute('data-bridge')").toString(),
                                  QString("ready"), 10000);
        QCOMPARE(js(view.page(), "document.getElementById('btnLogin').hidden").toBool(), false);
        js(view.page(), "document.getElementById('btnLogin').click()");
        QTRY_COMPARE(bridge.calls, QStringList{"needLogin()"});
        js(view.page(), "document.getElementById('joinId').value = '123456789';"
                        "document.getElementById('btnJoin').click()");
        QTRY_COMPARE(bridge.calls.size(), 2);
        QVERIFY2(bridge.calls.at(1).startsWith("startMeeting(123456789,guest-"),
                 qPrintable(bridge.calls.at(1)));
    }

    void conferencePageOutsideTheClientSaysSo()
    {
        QWebEngineView view;
        QVERIFY(load(view, m_service.origin() + "/client/index.htm"));
        QTRY_COMPARE(js(view.page(), "document.body.getAttribute('data-bridge')").toString(),
                     QString("absent"));
        QVERIFY(js(view.page(), "document.getElementById('btnNow').disabled").toBool());
    }

    void officePageReadsAndSendsMail()
    {
        QWebEngineProfile profile; // off the record, as the client's mail page
        QWebEngineView view;
        QWebEnginePage* page = new QWebEnginePage(&profile, &view);
        view.setPage(page);
        view.resize(820, 540);
        view.show();
        QVERIFY(load(view, m_service.origin() + "/pcweb/index?spm=0.0.0.0.WxsToM&companyId=1001&SSO_TICKET=" +
                               demoTicket() + "&client=PC"));
        QCOMPARE(js(page, "document.getElementById('company').textContent").toString(),
                 QString("远航数字科技有限公司"));
        QCOMPARE(js(page, "document.getElementById('unread').textContent").toString(), QString("3"));
        keepScreenshot(view, "localservice-office-page.png");

        QVERIFY(load(view, m_service.origin() + "/pcweb/mail/compose?to=sunyue%40yuanhang.example"));
        QSignalSpy loaded(&view, &QWebEngineView::loadFinished);
        js(page, "document.getElementById('subjectInput').value = '评审时间';"
                 "document.getElementById('bodyInput').value = '周五下午两点可以吗？';"
                 "document.getElementById('send').click()");
        QVERIFY(loaded.wait(20000));
        QCOMPARE(view.url().path(), QString("/pcweb/mail"));
        QVERIFY(js(page, "document.getElementById('mails').textContent").toString().contains("评审时间"));
        QCOMPARE(view.url().query(), QString("folder=sent"));
    }

    void cleanupTestCase() { m_service.stop(); }
};

QTEST_MAIN(TestLocalServicePages)
#include "tst_localservicepages.moc"
