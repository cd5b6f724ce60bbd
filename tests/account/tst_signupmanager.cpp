#include "account/logininfo.h"
#include "account/signupmanager.h"
#include "account/tokenmanager.h"
#include "support/accountfixture.h"
#include "support/testenvironment.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonObject>
#include <QtTest>

using AccountFixture::requestCount;

// Registration against the local service: the code, the pre-created account,
// its token and the join of the inviting company.
class TestSignupManager : public QObject
{
    Q_OBJECT
public:
    static void initMain() { TestEnvironment::isolateClient(); }

private:
    std::unique_ptr<LocalServiceProcess> m_service;
    QStringList m_states;
    QPointer<CSignupManager> m_watched;
    const QString m_newPhone = "13900000001";

    CSignupManager* manager()
    {
        CSignupManager* signup = CSignupManager::instance().get();
        if (signup != m_watched) {
            m_watched = signup;
            connect(signup, &CSignupManager::signalSignupState, this,
                    [this](const QString& code, const QString& msg) { m_states << code + " " + msg; });
        }
        return signup;
    }

    QString sentCode(const QString& phone)
    {
        manager()->sendVerCode(phone);
        if (!QTest::qWaitFor([this] { return !m_states.isEmpty(); }, 5000)) {
            return QString();
        }
        return m_service->latestSmsCode(phone);
    }

private slots:
    void initTestCase() { QVERIFY(AccountFixture::start(m_service)); }
    void init()
    {
        m_states.clear();
        CSignupManager::instance(true);
        QVERIFY(AccountFixture::reset(*m_service));
    }

    void sendCode_data()
    {
        QTest::addColumn<QString>("phone");
        QTest::addColumn<QJsonObject>("fault");
        QTest::addColumn<QString>("state");
        QTest::newRow("sent") << m_newPhone << QJsonObject() << QString("2 ");
        QTest::newRow("already registered")
            << QString(LocalServiceProcess::demoPhone) << QJsonObject() << QString("1 该手机号已注册");
        QTest::newRow("network error, no text from the service")
            << m_newPhone << QJsonObject{{"endpoint", "sendSmsCode"}, {"mode", "http500"}}
            << QString("1 网络异常或本机时间不正确,错误码:401");
    }
    void sendCode()
    {
        QFETCH(QString, phone);
        QFETCH(QJsonObject, fault);
        QFETCH(QString, state);
        if (!fault.isEmpty()) {
            QVERIFY(m_service->setFault(fault));
        }
        manager()->sendVerCode(phone);
        QTRY_COMPARE(m_states, QStringList{state});
    }

    void registersAndJoins()
    {
        const QString code = sentCode(m_newPhone);
        QVERIFY(!code.isEmpty());
        m_states.clear();

        // "4" comes before any token call.
        int tokenCallsAtFour = -1;
        connect(manager(), &CSignupManager::signalSignupState, this, [&](const QString& state) {
            if (state == "4") {
                tokenCallsAtFour = requestCount(*m_service, "tokenFromAuthCode");
            }
        });
        manager()->preCreateAccount(m_newPhone, code);
        QTRY_VERIFY_WITH_TIMEOUT(AccountFixture::eventNames(*m_service).contains("用户注册"), 10000);
        QCOMPARE(m_states, QStringList{"4 "});
        QCOMPARE(tokenCallsAtFour, 0);
        QVERIFY(CTokenManager::instance()->tokenOK());
        QCOMPARE(CLoginInfo::instance()->phone, m_newPhone);
        QVERIFY(!CLoginInfo::instance()->accountId.isEmpty());
        QCOMPARE(requestCount(*m_service, "joinInvitingCompany"), 1);
        QCOMPARE(m_service->requests("joinInvitingCompany").first().toObject().value("outcome").toString(),
                 QString("accepted"));
    }

    void preCreateFailure()
    {
        QVERIFY(!sentCode(m_newPhone).isEmpty());
        m_states.clear();
        manager()->preCreateAccount(m_newPhone, "000001");
        QTRY_COMPARE(m_states, QStringList{"3 登录验证失败"});
        QCOMPARE(requestCount(*m_service, "tokenFromAuthCode"), 0);
    }

    void joinGivesUpAfterThreeSeconds()
    {
        const QString code = sentCode(m_newPhone);
        QVERIFY(
            m_service->setFault({{"endpoint", "joinInvitingCompany"}, {"mode", "delay"}, {"delayMs", 8000}}));
        QElapsedTimer timer;
        connect(manager(), &CSignupManager::signalSignupState, this, [&](const QString& state) {
            if (state == "4") {
                timer.start();
            }
        });
        manager()->preCreateAccount(m_newPhone, code);
        QTRY_VERIFY_WITH_TIMEOUT(AccountFixture::eventNames(*m_service).contains("用户注册"), 8000);
        const qint64 elapsed = timer.elapsed();
        QVERIFY2(elapsed >= 2800 && elapsed < 6000, qPrintable(QString::number(elapsed)));
        QCOMPARE(requestCount(*m_service, "joinInvitingCompany"), 1);
    }
};

QTEST_GUILESS_MAIN(TestSignupManager)
#include "tst_signupmanager.moc"
