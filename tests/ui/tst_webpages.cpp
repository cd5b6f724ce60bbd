#include "account/logininfo.h"
#include "account/loginmanager.h"
#include "conference/meetingmanager.h"
#include "conference/standin.h"
#include "conference/tandemlinkproc.h"
#include "dialogwaiter.h"
#include "support/accountfixture.h"
#include "support/processtree.h"
#include "support/testenvironment.h"
#include "ui/dialoglogin.h"
#include "ui/pagemail.h"
#include "ui/windowmain.h"

#include <QDir>
#include <QFrame>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QUrlQuery>
#include <QWebEngineHistory>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>
#include <QtTest>

// The mail and conference pages of the main window in a real web engine
// against the local service's web pages: sign-on by ticket, the conference
// bridge down to the stand-in conference process, load failures and history.
// Pictures of the pages are saved to build/screenshots.
class TestWebPages : public QObject
{
    Q_OBJECT
public:
    static void initMain()
    {
        TestEnvironment::isolateClient();
        // Sign-in cycles take their time on a loaded machine.
        if (qEnvironmentVariableIsEmpty("QTEST_FUNCTION_TIMEOUT")) {
            qputenv("QTEST_FUNCTION_TIMEOUT", "600000");
        }
    }

private slots:
    void initTestCase()
    {
        QVERIFY(AccountFixture::start(m_service));
        m_shots = QStringLiteral(VANTELOR_BIN_DIR "/../screenshots");
        QDir().mkpath(m_shots);
    }

    void init()
    {
        if (!m_service->isRunning()) {
            QVERIFY(restartService());
        }
        QVERIFY(AccountFixture::reset(*m_service));
        Standin::reset();
        m_window = WindowMain::instance(false);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window));
        // The conference page's view comes right after the window's first paint.
        QTRY_VERIFY((m_meeting = m_window->findChild<QWebEngineView*>("webViewOnPageMeeting")));
        QVERIFY(!m_window->findChild<QWebEngineView*>("webViewOnPageMail"));
    }

    void cleanup()
    {
        // The pages go before the web channel they use.
        WindowMain::instance(true);
        CMeetingManager::instance(true);
        CTandemlinkProc::instance(true);
        CLoginManager::instance(true);
    }

    void conferencePageReachesTheBridge()
    {
        QVERIFY(waitForBridge());
        QCOMPARE(meetingState().value("currentId").toString(), QString("null"));
        showPage("btn_meeting");

        js(m_meeting, "document.getElementById('btnNow').click()");
        QTRY_VERIFY_WITH_TIMEOUT(!meetingState().value("meeting").toString().isEmpty(), 15000);
        const QString uuid = meetingState().value("meeting").toString();
        QCOMPARE(CMeetingManager::instance()->conferenceUuid(), uuid);
        js(m_meeting, "meetingPage.askCurrentId()");
        QTRY_COMPARE(meetingState().value("currentId").toString(), uuid);
        QList<QJsonObject> sent = Standin::received();
        QCOMPARE(sent.size(), 1);
        QCOMPARE(sent.at(0).value("operation").toString(), QString("conferencestart"));
        QCOMPARE(sent.at(0).value("conferenceuuid").toString(), uuid);
        QVERIFY(sent.at(0).value("membername").toString().startsWith("游客"));
        shoot("webpages-conference-started.png");

        js(m_meeting, "document.getElementById('btnLeave').click()");
        QTRY_VERIFY_WITH_TIMEOUT(meetingState().value("meeting").isNull(), 15000);
        QCOMPARE(lastEvent().value("kind").toString(), QString("stopped"));
        sent = Standin::received();
        QCOMPARE(sent.size(), 2);
        QCOMPARE(sent.at(1).value("operation").toString(), QString("conferencedisconnect"));
        js(m_meeting, "meetingPage.askCurrentId()");
        QTRY_COMPARE(meetingState().value("currentId").toString(), QString("null"));

        // A refused start never reaches the conference process.
        js(m_meeting, "meetingPage.start('')");
        QTRY_COMPARE(lastEvent().value("kind").toString(), QString("error"));
        QCOMPARE(lastEvent().value("args").toArray(), (QJsonArray{"101", "invaild parameters"}));
        QCOMPARE(Standin::received().size(), 2);
    }

    // The conference program reports a conference it lost (its media server
    // went away) as a notification; the page hears it as an error with the
    // program's own text and is out of the conference.
    void lostConferenceReachesThePage()
    {
        const QString text = QStringLiteral("与会议服务器的连接已断开,会议已结束");
        Standin::set("NOTIFY", "conferencestart:conference:81020:" + text);
        QVERIFY(waitForBridge());
        showPage("btn_meeting");
        js(m_meeting, "document.getElementById('btnNow').click()");
        QTRY_COMPARE_WITH_TIMEOUT(lastEvent().value("kind").toString(), QString("error"), 15000);
        QCOMPARE(lastEvent().value("args").toArray(), (QJsonArray{"106", text}));
        QVERIFY(!CMeetingManager::instance()->isInMeeting());
        shoot("webpages-conference-lost.png");
    }

    void bridgeOnlyForTheConferenceOrigin_data()
    {
        QTest::addColumn<QString>("other");
        QTest::addColumn<bool>("byPage"); // the page navigates, as a link would
        QTest::newRow("another origin's conference page") << "service" << true;
        QTest::newRow("data URL") << "data" << false;
    }

    // A document from anywhere but the conference origin gets no web channel,
    // so it can neither call MeetingCallback nor hear its ticket.
    void bridgeOnlyForTheConferenceOrigin()
    {
        QFETCH(QString, other);
        QFETCH(bool, byPage);
        LocalServiceProcess otherService;
        QUrl url(QStringLiteral("data:text/html,<title>other</title><body>other</body>"));
        if (other == "service") {
            QVERIFY(otherService.start());
            url = QUrl(otherService.origin() + "/client/index.htm");
        }
        QVERIFY(waitForBridge());

        QSignalSpy loaded(m_meeting, &QWebEngineView::loadFinished);
        if (byPage) {
            js(m_meeting, QString("location.href = '%1'").arg(url.toString()));
        } else {
            m_meeting->load(url);
        }
        QTRY_VERIFY_WITH_TIMEOUT(!loaded.isEmpty() && m_meeting->url() == url, 20000);
        QTRY_COMPARE(js(m_meeting, "document.readyState").toString(), QString("complete"));
        QCOMPARE(
            js(m_meeting, "typeof qt === 'undefined' ? 'none' : typeof qt.webChannelTransport").toString(),
            QString("none"));
        if (other == "service") {
            QTRY_COMPARE(js(m_meeting, "document.body.getAttribute('data-bridge')").toString(),
                         QString("absent"));
        }

        // Back on the conference origin, on a page the other document never ran in.
        const QWebEnginePage* before = m_meeting->page();
        js(m_meeting, QString("location.href = '%1/client/index.htm'").arg(m_service->origin()));
        QTRY_VERIFY_WITH_TIMEOUT(m_meeting->page() != before, 20000);
        QTRY_COMPARE_WITH_TIMEOUT(m_meeting->url().path(), QString("/client/index.htm"), 20000);
        QCOMPARE(m_meeting->url().port(), m_service->port());
        QVERIFY(waitForBridge());
    }

    void signedOutMailPageOffersTheSignIn()
    {
        showPage("btn_mail");
        auto* mailStack = m_window->findChild<QStackedWidget*>("stackedWidget");
        QCOMPARE(mailStack->currentWidget()->objectName(), QString("page1"));
        bool opened = false;
        whenDialogOpen<DialogLogin>(m_window, [&opened](DialogLogin* dialog) {
            opened = true;
            dialog->reject();
        });
        m_window->findChild<QPushButton*>("login_mail")->click();
        QVERIFY(opened);
        shoot("webpages-mail-signed-out.png");
    }

    void signingInAndOut()
    {
        QVERIFY(waitForBridge());
        QVERIFY(!m_meeting->url().hasQuery());
        // Leaves the ticket late, to see that the mail page waits for it.
        QVERIFY(m_service->setFault(
            QJsonObject{{"endpoint", "accessTicket"}, {"mode", "delay"}, {"delayMs", 3000}, {"count", 1}}));
        showPage("btn_mail");
        auto* mailStack = m_window->findChild<QStackedWidget*>("stackedWidget");
        QCOMPARE(mailStack->currentWidget()->objectName(), QString("page1"));
        QVERIFY(!toolArea()->isVisible());

        QSignalSpy login(CLoginManager::instance().get(), &CLoginManager::signalLogin);
        CLoginManager::instance()->loginPswd(LocalServiceProcess::demoPhone, LocalServiceProcess::password);
        QTRY_COMPARE_WITH_TIMEOUT(login.count(), 1, 10000);
        QTRY_VERIFY(m_window->findChild<QWebEngineView*>("webViewOnPageMail"));
        QWebEngineView* mail = m_window->findChild<QWebEngineView*>("webViewOnPageMail");
        QCOMPARE(mailStack->currentWidget()->objectName(), QString("page0"));
        QVERIFY(mail->page()->profile()->isOffTheRecord());
        QTRY_VERIFY(toolArea()->isVisible());
        // A load started by the page switch would reach the service within this; none is marked by an event.
        QTest::qWait(300);
        QVERIFY(mail->url().isEmpty());
        QCOMPARE(AccountFixture::requestCount(*m_service, "officePage"), 0);

        // The ticket arrives: the first company's office home page.
        QVERIFY(waitForLoad(mail));
        const CLoginInfo& info = *CLoginInfo::instance();
        QCOMPARE(info.companyIds.size(), 2);
        const QUrlQuery query(mail->url());
        QCOMPARE(mail->url().path(), QString("/pcweb/index"));
        QCOMPARE(query.queryItemValue("companyId"), QString::number(info.companyIds.first()));
        QCOMPARE(query.queryItemValue("SSO_TICKET"), info.ticket);
        QCOMPARE(query.queryItemValue("client"), QString("PC"));
        QCOMPARE(js(mail, "document.getElementById('company').textContent").toString(),
                 info.companyNames.first());
        shoot("webpages-mail-signed-in.png");

        // The conference page follows the ticket.
        QTRY_COMPARE_WITH_TIMEOUT(QUrlQuery(m_meeting->url()).queryItemValue("SSO_TICKET"), info.ticket,
                                  10000);
        QVERIFY(waitForBridge());
        QCOMPARE(js(m_meeting, "document.getElementById('who').textContent").toString(), QString("林晓雨"));
        js(m_meeting, "document.cookie = 'probe=1; path=/'");
        QCOMPARE(js(m_meeting, "document.cookie").toString(), QString("probe=1"));
        showPage("btn_meeting");
        // Screenshots only: no event says the last repaint has landed.
        QTest::qWait(200);
        shoot("webpages-conference-signed-in.png");

        // Signing out: the conference page without the ticket and its cookies.
        CLoginManager::instance()->logout();
        QTRY_VERIFY_WITH_TIMEOUT(!m_meeting->url().hasQuery(), 10000);
        QVERIFY(waitForBridge());
        QCOMPARE(js(m_meeting, "document.cookie").toString(), QString());
        QCOMPARE(js(m_meeting, "document.getElementById('who').textContent").toString(), QString("游客"));
        showPage("btn_mail");
        QTRY_COMPARE(mailStack->currentWidget()->objectName(), QString("page1"));
        QTRY_VERIFY(!toolArea()->isVisible());
    }

    void userWithoutCompany()
    {
        showPage("btn_mail");
        signIn(LocalServiceProcess::noCompanyPhone);
        QWebEngineView* mail = m_window->findChild<QWebEngineView*>("webViewOnPageMail");
        QVERIFY(waitForLoad(mail));
        const QUrlQuery query(mail->url());
        QVERIFY(!query.hasQueryItem("companyId"));
        QCOMPARE(query.queryItemValue("SSO_TICKET"), CLoginInfo::instance()->ticket);
        QCOMPARE(js(mail, "document.getElementById('company').textContent").toString(), QString("个人账号"));
    }

    // The ticket is the service's to choose; the address carries it intact.
    void mailAddressCarriesTheTicketAsIssued()
    {
        CLoginInfo& info = *CLoginInfo::instance();
        const CLoginInfo saved = info;
        info.ticket = QStringLiteral("ST-a+b&c=d#e%f g");
        info.companyIds = {1002};
        const QUrlQuery query(PageMail::homeUrl());
        info = saved;
        QCOMPARE(query.queryItemValue("SSO_TICKET", QUrl::FullyDecoded), QStringLiteral("ST-a+b&c=d#e%f g"));
        QCOMPARE(query.queryItemValue("companyId"), QStringLiteral("1002"));
        QCOMPARE(query.queryItemValue("client"), QStringLiteral("PC"));
    }

    void backFollowsTheHistory()
    {
        showPage("btn_mail");
        signIn(LocalServiceProcess::demoPhone);
        QWebEngineView* mail = m_window->findChild<QWebEngineView*>("webViewOnPageMail");
        QVERIFY(waitForLoad(mail));
        auto* back = m_window->findChild<QPushButton*>("backForMail");
        QVERIFY(!back->isEnabled());

        navigate(mail, "/pcweb/mail");
        navigate(mail, "/pcweb/contacts");
        QVERIFY(back->isEnabled());
        QSignalSpy loaded(mail, &QWebEngineView::loadFinished);
        back->click();
        QVERIFY(loaded.wait(15000));
        QCOMPARE(mail->url().path(), QString("/pcweb/mail"));
        QVERIFY(back->isEnabled());

        // Back to the entry page starts a fresh session instead.
        const QWebEnginePage* before = mail->page();
        const int sessions = AccountFixture::requestCount(*m_service, "officePage");
        back->click();
        QVERIFY(waitForLoad(mail));
        QVERIFY(mail->page() != before);
        QCOMPARE(mail->url().path(), QString("/pcweb/index"));
        QCOMPARE(QUrlQuery(mail->url()).queryItemValue("SSO_TICKET"), CLoginInfo::instance()->ticket);
        QCOMPARE(mail->history()->count(), 1);
        QVERIFY(!back->isEnabled());
        QCOMPARE(AccountFixture::requestCount(*m_service, "officePage"), sessions + 1);
        QVERIFY(!lastOfficeRequestHadCookie());
    }

    void loadFailureShowsTheErrorPage()
    {
        showPage("btn_mail");
        signIn(LocalServiceProcess::demoPhone);
        QWebEngineView* mail = m_window->findChild<QWebEngineView*>("webViewOnPageMail");
        QVERIFY(waitForLoad(mail));
        QVERIFY(waitForBridge());
        const QString ticket = CLoginInfo::instance()->ticket;

        m_service->stop();
        m_window->findChild<QPushButton*>("refreshForMail")->click();
        QTRY_VERIFY_WITH_TIMEOUT(mail->url() == QUrl("qrc:///wid/res/common/networkerror.html"), 15000);
        QTRY_COMPARE(mail->title(), QString("无法访问"));
        QTRY_VERIFY(js(mail, "document.querySelector('img').naturalWidth").toInt() > 0);
        QVERIFY(js(mail, "document.body.textContent").toString().contains("页面加载失败，请检查网络连接"));
        // Screenshots only: no event says the last repaint has landed.
        QTest::qWait(300);
        shoot("webpages-error-page.png");

        m_window->findChild<QPushButton*>("refreshForMeeting")->click();
        QTRY_VERIFY_WITH_TIMEOUT(m_meeting->url() == QUrl("qrc:///wid/res/common/networkerror.html"), 15000);

        // The service is back: reload goes home on a fresh page.
        QVERIFY(restartService());
        const QWebEnginePage* before = mail->page();
        m_window->findChild<QPushButton*>("refreshForMail")->click();
        QVERIFY(waitForLoad(mail));
        QVERIFY(mail->page() != before);
        QCOMPARE(mail->url().path(), QString("/pcweb/index"));
        QCOMPARE(QUrlQuery(mail->url()).queryItemValue("SSO_TICKET"), ticket);
        QCOMPARE(AccountFixture::requestCount(*m_service, "officePage"), 1);
        QVERIFY(!lastOfficeRequestHadCookie());

        m_window->findChild<QPushButton*>("refreshForMeeting")->click();
        QTRY_COMPARE_WITH_TIMEOUT(m_meeting->url().path(), QString("/client/index.htm"), 15000);
        QVERIFY(waitForBridge());
    }

    // Pages and profiles that are replaced go with their web engine
    // processes: after many sign-ins, sign-outs and home clicks the client
    // holds what it held after the first sign-in.
    void signInCyclesReleaseWebEngineProcesses()
    {
        showPage("btn_mail");
        const qint64 self = QCoreApplication::applicationPid();
        ProcessTree first;
        ProcessTree warm;
        constexpr int cycles = 10;
        // The memory baseline is taken once a sign-in has run twice: the first
        // sign-ins still fill the engine's caches (measured: 150-240 MiB after
        // the first, steady from the third on), which no cycle repeats.
        constexpr int warmUpCycles = 2;
        for (int i = 0; i <= cycles + warmUpCycles; ++i) {
            signInAndWaitForPages();
            if (i == 0) {
                first = ProcessTree::settled(self);
                qInfo("after the first sign-in: %d web engine processes, PSS %lld KiB",
                      first.webEngineProcesses, first.pssKiB);
                QVERIFY(first.webEngineProcesses > 0);
            }
            if (i == warmUpCycles) {
                warm = ProcessTree::settled(self);
                qInfo("after sign-in %d: %d web engine processes, PSS %lld KiB", i + 1,
                      warm.webEngineProcesses, warm.pssKiB);
            }
            if (i < cycles + warmUpCycles) {
                signOutAndWaitForPages();
            }
        }
        const auto settledAt = [&](int processes) {
            // Processes of pages that went end a little later.
            const bool ended = QTest::qWaitFor(
                [&] { return ProcessTree::of(self, false).webEngineProcesses <= processes; }, 30000);
            return ended ? ProcessTree::settled(self) : ProcessTree::of(self);
        };
        const ProcessTree afterCycles = settledAt(first.webEngineProcesses);
        qInfo("after %d cycles: %d web engine processes, PSS %lld KiB", cycles + warmUpCycles,
              afterCycles.webEngineProcesses, afterCycles.pssKiB);
        QCOMPARE(afterCycles.webEngineProcesses, first.webEngineProcesses);
        // A leak shows as growth; PSS also falls as pages share or page out.
        // Under AddressSanitizer this process keeps freed memory in quarantine,
        // so there only the web engine's processes are compared.
        const auto compared = [](const ProcessTree& tree) {
            return TestEnvironment::sanitizedBuild() ? tree.pssKiB - tree.rootPssKiB : tree.pssKiB;
        };
        QVERIFY2(compared(afterCycles) <= compared(warm) * 11 / 10,
                 qPrintable(QString("PSS %1 KiB, after the warm-up %2 KiB")
                                .arg(compared(afterCycles))
                                .arg(compared(warm))));

        QWebEngineView* mail = m_window->findChild<QWebEngineView*>("webViewOnPageMail");
        auto* home = m_window->findChild<QPushButton*>("homeForMail");
        for (int i = 0; i < 3; ++i) {
            QSignalSpy loaded(mail, &QWebEngineView::loadFinished);
            home->click();
            QVERIFY(loaded.wait(20000));
            QVERIFY(waitForLoad(mail));
        }

        const ProcessTree after = settledAt(first.webEngineProcesses);
        qInfo("and after 3 home clicks: %d web engine processes, PSS %lld KiB", after.webEngineProcesses,
              after.pssKiB);
        QCOMPARE(after.webEngineProcesses, first.webEngineProcesses);
    }

private:
    static QVariant js(QWebEngineView* view, const QString& script)
    {
        QVariant result;
        bool done = false;
        QPointer<QWebEnginePage> page = view->page();
        page->runJavaScript(script, [&](const QVariant& v) {
            result = v;
            done = true;
        });
        if (!QTest::qWaitFor([&] { return done || !page; }, 10000)) {
            qWarning("no answer from the page to: %s", qPrintable(script));
        }
        return result;
    }

    // The conference page is up and has its bridge (a new page each load).
    bool waitForBridge()
    {
        return QTest::qWaitFor(
            [this] {
                return js(m_meeting, "document.body && document.body.getAttribute('data-bridge')")
                           .toString() == "ready";
            },
            20000);
    }

    static bool waitForLoad(QWebEngineView* view)
    {
        return QTest::qWaitFor(
            [view] {
                // The document of the address asked for, not the blank one before it.
                return !view->url().isEmpty() &&
                       js(view, "document.readyState + ' ' + location.pathname").toString() ==
                           "complete " + view->url().path();
            },
            20000);
    }

    void navigate(QWebEngineView* view, const QString& path)
    {
        QSignalSpy loaded(view, &QWebEngineView::loadFinished);
        // As the user's clicks do; entries a script adds without a gesture
        // are skipped by the engine's back navigation.
        view->load(QUrl(m_service->origin() + path));
        QVERIFY(loaded.wait(15000));
        QCOMPARE(view->url().path(), path);
    }

    QJsonObject meetingState()
    {
        return QJsonDocument::fromJson(
                   js(m_meeting, "JSON.stringify(window.meetingState)").toString().toUtf8())
            .object();
    }

    QJsonObject lastEvent()
    {
        const QJsonArray events = meetingState().value("events").toArray();
        return events.isEmpty() ? QJsonObject() : events.last().toObject();
    }

    bool lastOfficeRequestHadCookie()
    {
        const QJsonArray requests = m_service->requests("officePage");
        if (requests.isEmpty()) {
            return false;
        }
        const QJsonObject headers = requests.last().toObject().value("headers").toObject();
        for (auto it = headers.begin(); it != headers.end(); ++it) {
            if (it.key().compare("Cookie", Qt::CaseInsensitive) == 0) {
                return true;
            }
        }
        return false;
    }

    void signIn(const char* phone)
    {
        QSignalSpy ticket(CLoginManager::instance().get(), &CLoginManager::signalTicketOK);
        CLoginManager::instance()->loginPswd(phone, LocalServiceProcess::password);
        QTRY_COMPARE_WITH_TIMEOUT(ticket.count(), 1, 10000);
    }

    // Signs in and waits until both pages show the signed-in user.
    void signInAndWaitForPages()
    {
        signIn(LocalServiceProcess::demoPhone);
        QWebEngineView* mail = m_window->findChild<QWebEngineView*>("webViewOnPageMail");
        QVERIFY(mail);
        QVERIFY(waitForLoad(mail));
        QTRY_VERIFY_WITH_TIMEOUT(m_meeting->url().hasQuery(), 20000);
        QVERIFY(waitForBridge());
    }

    void signOutAndWaitForPages()
    {
        QSignalSpy logout(CLoginManager::instance().get(), &CLoginManager::signalLogout);
        CLoginManager::instance()->logout();
        QTRY_VERIFY_WITH_TIMEOUT(!logout.isEmpty(), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!m_meeting->url().hasQuery(), 20000);
        QVERIFY(waitForBridge());
    }

    void showPage(const char* button)
    {
        m_window->findChild<QPushButton*>(button)->click();
        QCoreApplication::processEvents();
    }

    QFrame* toolArea() { return m_window->findChild<QFrame*>("frameTools"); }

    bool restartService()
    {
        const int port = m_service->port();
        return m_service->start(m_service->dataDirectory(), {"--port", QString::number(port)}) &&
               m_service->port() == port;
    }

    void shoot(const QString& name)
    {
        const QString path = m_shots + "/" + name;
        m_window->grab().save(path);
        qInfo("screenshot: %s", qPrintable(path));
    }

    std::unique_ptr<LocalServiceProcess> m_service;
    WindowMain* m_window = nullptr;
    QWebEngineView* m_meeting = nullptr;
    QString m_shots;
};

QTEST_MAIN(TestWebPages)
#include "tst_webpages.moc"
