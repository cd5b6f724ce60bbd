#include "account/loginmanager.h"
#include "core/dplustrack.h"
#include "support/accountfixture.h"
#include "support/testenvironment.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QtTest>

// The usage tracker as the collector of the local service receives it.
class TestDplusTrack : public QObject
{
    Q_OBJECT
public:
    static void initMain() { TestEnvironment::isolateClient(); }

private:
    std::unique_ptr<LocalServiceProcess> m_service;

    QJsonObject waitForEvent(const QString& name)
    {
        QJsonObject found;
        const bool seen = QTest::qWaitFor(
            [&] {
                const QJsonArray events = m_service->events();
                for (int j = events.size() - 1; j >= 0; --j) {
                    if (events.at(j).toObject().value("event_name").toString() == name) {
                        found = events.at(j).toObject();
                        return true;
                    }
                }
                return false;
            },
            5000);
        return seen ? found : QJsonObject();
    }

    bool signIn(const QString& phone)
    {
        CLoginManager* login = CLoginManager::instance().get();
        QSignalSpy signedIn(login, &CLoginManager::signalLogin);
        login->loginPswd(phone, LocalServiceProcess::password);
        return signedIn.count() == 1 || signedIn.wait(10000);
    }

private slots:
    void initTestCase() { QVERIFY(AccountFixture::start(m_service)); }
    void init() { QVERIFY(AccountFixture::reset(*m_service)); }

    void signedOutEventHasNoUser()
    {
        QVERIFY(CDplusTrack::instance()->track("启动APP"));
        const QJsonObject event = waitForEvent("启动APP");
        QVERIFY(!event.isEmpty());
        QVERIFY(!event.contains("user"));
        QVERIFY(event.value("appkeyValid").toBool());
        const QJsonObject common = event.value("common").toObject();
        QCOMPARE(common.value("user").toString(), QString("未登录"));
        QCOMPARE(common.value("browser").toString(), QString("QtWebEngine"));
        QCOMPARE(common.value("app_version").toString(), QString("2.4.7"));
        QVERIFY(!CDplusTrack::instance()->track(QString()));
    }

    void sameUserSameTagOtherUserNewTag()
    {
        QVERIFY(signIn(LocalServiceProcess::demoPhone));
        QVERIFY(CDplusTrack::instance()->track("一"));
        QVERIFY(CDplusTrack::instance()->track("二"));
        const QString tag = AccountFixture::userTag(LocalServiceProcess::demoPhone);
        QCOMPARE(waitForEvent("一").value("user").toString(), tag);
        QCOMPARE(waitForEvent("二").value("user").toString(), tag);
        // The block of common values keeps saying signed out.
        QCOMPARE(waitForEvent("二").value("common").toObject().value("user").toString(), QString("未登录"));

        CLoginManager::instance()->logout();
        QVERIFY(signIn(LocalServiceProcess::noCompanyPhone));
        QVERIFY(CDplusTrack::instance()->track("三"));
        const QString other = waitForEvent("三").value("user").toString();
        QCOMPARE(other, AccountFixture::userTag(LocalServiceProcess::noCompanyPhone));
        QVERIFY(other != tag);
    }

    void queryIsUrlSafe()
    {
        // Names whose documents give every Base64 character somewhere.
        for (int i = 0; i < 64; ++i) {
            const QString name = QString("事件%1?>~").arg(QString(i, QChar(0x4e00 + i)));
            const QString encoded = CDplusTrack::instance()->encodedEvent(name);
            QVERIFY(!encoded.contains('+'));
            QVERIFY(!encoded.contains('/'));
            const QJsonObject document =
                QJsonDocument::fromJson(
                    QByteArray::fromBase64(encoded.toLatin1(), QByteArray::Base64UrlEncoding))
                    .object();
            QCOMPARE(document.value("events").toArray().first().toObject().value("event_name").toString(),
                     name);
        }
    }
};

QTEST_GUILESS_MAIN(TestDplusTrack)
#include "tst_dplustrack.moc"
