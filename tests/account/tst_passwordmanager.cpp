#include "account/logininfo.h"
#include "account/passwordmanager.h"
#include "account/tokenmanager.h"
#include "core/cipher.h"
#include "support/accountfixture.h"
#include "support/testenvironment.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QtTest>

using AccountFixture::requestCount;

// Password change and reset and the profile against the local service.
class TestPasswordManager : public QObject
{
    Q_OBJECT
public:
    static void initMain() { TestEnvironment::isolateClient(); }

private:
    std::unique_ptr<LocalServiceProcess> m_service;

    // A token for the demo user, as the sign-in leaves it.
    bool demoToken()
    {
        QString account, password;
        CCipher::instance()->rsaEncryptBase64(LocalServiceProcess::demoPhone, account);
        CCipher::instance()->rsaEncryptBase64(LocalServiceProcess::password, password);
        CLoginInfo::instance()->phone = LocalServiceProcess::demoPhone;
        return CTokenManager::instance()->authCodeByPswd(account, password) &&
               CTokenManager::instance()->validateToken();
    }

    QJsonObject demoAccount()
    {
        for (const QJsonValue& account :
             m_service->control("GET", "/__control/accounts").value("accounts").toArray()) {
            if (account.toObject().value("phone").toString() == LocalServiceProcess::demoPhone) {
                return account.toObject();
            }
        }
        return QJsonObject();
    }

private slots:
    void initTestCase() { QVERIFY(AccountFixture::start(m_service)); }
    void init()
    {
        CPasswordManager::instance(true);
        QVERIFY(AccountFixture::reset(*m_service));
    }

    void noTokenSendsNothing_data()
    {
        QTest::addColumn<int>("operation");
        QTest::addColumn<QString>("text");
        QTest::newRow("change") << 0 << "令牌问题导致无法修改密码";
        QTest::newRow("reset") << 1 << "令牌问题导致无法重置密码";
        QTest::newRow("profile") << 2 << "令牌问题导致无法修改个人信息";
    }
    void noTokenSendsNothing()
    {
        QFETCH(int, operation);
        QFETCH(QString, text);
        const auto& manager = CPasswordManager::instance();
        QSignalSpy passwordStates(manager.get(), &CPasswordManager::signalPasswordState);
        QSignalSpy profileStates(manager.get(), &CPasswordManager::signalProfileState);
        const bool ok = operation == 0   ? manager->changePassword("demo1234", "newpass123")
                        : operation == 1 ? manager->resetPassword("newpass123")
                                         : manager->modifyProfile(R"({"title":"x"})");
        QVERIFY(!ok);
        QSignalSpy& states = operation == 2 ? profileStates : passwordStates;
        QCOMPARE(states.count(), 1);
        QCOMPARE(states.first(), (QList<QVariant>{"1", text}));
        QCOMPARE(passwordStates.count() + profileStates.count(), 1);
        QCOMPARE(m_service->requests().size(), 0);
    }

    void changePassword_data()
    {
        QTest::addColumn<QString>("oldPassword");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("text");
        QTest::newRow("changed") << QString(LocalServiceProcess::password) << true << QString();
        QTest::newRow("wrong old password") << QString("not-the-one") << false << QString("原密码验证失败");
    }
    void changePassword()
    {
        QFETCH(QString, oldPassword);
        QFETCH(bool, ok);
        QFETCH(QString, text);
        QVERIFY(demoToken());
        const auto& manager = CPasswordManager::instance();
        QSignalSpy states(manager.get(), &CPasswordManager::signalPasswordState);
        QCOMPARE(manager->changePassword(oldPassword, "newpass123"), ok);
        QCOMPARE(states.count(), 1);
        QCOMPARE(states.first(), (QList<QVariant>{ok ? "0" : "1", text}));
        QCOMPARE(demoAccount().value("password").toString(),
                 ok ? QString("newpass123") : QString(LocalServiceProcess::password));
        if (ok) {
            QTRY_VERIFY(AccountFixture::eventNames(*m_service).contains("修改密码"));
        }
    }

    void resetPassword()
    {
        QVERIFY(demoToken());
        const auto& manager = CPasswordManager::instance();
        QSignalSpy states(manager.get(), &CPasswordManager::signalPasswordState);
        QVERIFY(manager->resetPassword("another123"));
        QCOMPARE(states.first(), (QList<QVariant>{"0", ""}));
        QTRY_VERIFY(AccountFixture::eventNames(*m_service).contains("重置密码"));
        QCOMPARE(demoAccount().value("password").toString(), QString("another123"));

        QVERIFY(!manager->resetPassword("short"));
        QCOMPARE(states.last(), (QList<QVariant>{"1", "新密码须为8到18位字母、数字或符号"}));
    }

    void modifyProfile()
    {
        QVERIFY(demoToken());
        const auto& manager = CPasswordManager::instance();
        QSignalSpy states(manager.get(), &CPasswordManager::signalProfileState);
        QVERIFY(manager->modifyProfile(R"({"name":"林晓雨","title":"产品总监"})"));
        QCOMPARE(states.last(), (QList<QVariant>{"0", ""}));
        QVERIFY(!manager->modifyProfile("not json"));
        QCOMPARE(states.last(), (QList<QVariant>{"1", "个人信息格式不正确"}));
    }

    void slowAnswers_data()
    {
        QTest::addColumn<int>("operation");
        QTest::addColumn<QString>("endpoint");
        QTest::addColumn<QString>("text");
        QTest::newRow("change") << 0 << "changePassword"
                                << "网络异常或本机时间不正确,错误码:4";
        QTest::newRow("profile") << 2 << "modifyProfile"
                                 << "无法连接到服务器";
    }
    void slowAnswers()
    {
        QFETCH(int, operation);
        QFETCH(QString, endpoint);
        QFETCH(QString, text);
        QVERIFY(demoToken());
        const auto& manager = CPasswordManager::instance();
        // An earlier failure's text is not what a late answer reports.
        QVERIFY(!manager->changePassword("not-the-one", "newpass123"));
        QVERIFY(m_service->setFault({{"endpoint", endpoint}, {"mode", "delay"}, {"delayMs", 5000}}));
        QSignalSpy passwordStates(manager.get(), &CPasswordManager::signalPasswordState);
        QSignalSpy profileStates(manager.get(), &CPasswordManager::signalProfileState);
        QElapsedTimer timer;
        timer.start();
        const bool ok = operation == 0 ? manager->changePassword(LocalServiceProcess::password, "newpass123")
                                       : manager->modifyProfile(R"({"title":"x"})");
        QVERIFY(!ok);
        QVERIFY2(timer.elapsed() >= 2800 && timer.elapsed() < 4500,
                 qPrintable(QString::number(timer.elapsed())));
        QSignalSpy& states = operation == 2 ? profileStates : passwordStates;
        QCOMPARE(states.count(), 1);
        QCOMPARE(states.first(), (QList<QVariant>{"1", text}));
    }
};

QTEST_GUILESS_MAIN(TestPasswordManager)
#include "tst_passwordmanager.moc"
