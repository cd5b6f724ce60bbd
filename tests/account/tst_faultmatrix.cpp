#include "account/logininfo.h"
#include "account/loginmanager.h"
#include "account/passwordmanager.h"
#include "account/printbridge.h"
#include "account/signedrequest.h"
#include "account/signupmanager.h"
#include "account/tokenmanager.h"
#include "conference/tandemlinkapi.h"
#include "core/apiconfig.h"
#include "core/cipher.h"
#include "core/dplustrack.h"
#include "core/localconfig.h"
#include "core/singlenetworkmanger.h"
#include "support/accountfixture.h"
#include "support/testenvironment.h"
#include "weather/weather.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QtTest>

#include <algorithm>
#include <functional>

// Every call the client makes against every way the service can misbehave:
// what the user is told, how long it takes at most, that nothing on disk is
// touched by a bad answer, and that the same call works once the service is
// well again. One row per call and fault.
class TestFaultMatrix : public QObject
{
    Q_OBJECT
public:
    static void initMain() { TestEnvironment::isolateClient(); }

private:
    // What a call ended in, as one comparable line: "ok" (and what was got),
    // or "<errorCode>|<errorMsg>" as the caller hears it.
    struct Outcome
    {
        bool ok = false;
        QString text;
    };
    using Arm = std::function<void()>;
    using Probe = Outcome (TestFaultMatrix::*)(const Arm&);

    struct CallCase
    {
        const char* name;
        const char* endpoint; // the local service's name of the faulted call
        int limitMs;          // the caller's time limit for the faulted call
        Probe probe;
    };

    // Limits kept short through the test seams: the network limit stands for
    // the 30 s of the calls that have no limit of their own.
    static constexpr int kNetworkLimitMs = 1500;
    static constexpr int kPrintFetchLimitMs = 1000;
    static constexpr int kAnswerLimitMs = 3000; // password, profile, join, conference configuration

    static const QList<CallCase>& calls()
    {
        static const QList<CallCase> all = {
            {"authCodeByPassword", "authCodeByPassword", kNetworkLimitMs, &TestFaultMatrix::signInByPassword},
            {"authCodeBySmsCode", "authCodeBySmsCode", kNetworkLimitMs, &TestFaultMatrix::signInBySmsCode},
            {"tokenFromAuthCode", "tokenFromAuthCode", kNetworkLimitMs, &TestFaultMatrix::signInByPassword},
            {"validateToken", "validateToken", kNetworkLimitMs, &TestFaultMatrix::signInByPassword},
            {"companyList", "companyList", kNetworkLimitMs, &TestFaultMatrix::signInByPassword},
            {"personDetail", "personDetail", kNetworkLimitMs, &TestFaultMatrix::signInByPassword},
            {"accessTicket", "accessTicket", kNetworkLimitMs, &TestFaultMatrix::ticket},
            {"logout", "logout", kNetworkLimitMs, &TestFaultMatrix::signOut},
            {"loginSmsCode", "sendSmsCode", kNetworkLimitMs, &TestFaultMatrix::loginSmsCode},
            {"signupSmsCode", "sendSmsCode", kNetworkLimitMs, &TestFaultMatrix::signupSmsCode},
            {"preCreateAccount", "preCreateAccount", kNetworkLimitMs, &TestFaultMatrix::preCreateAccount},
            {"joinInvitingCompany", "joinInvitingCompany", kAnswerLimitMs,
             &TestFaultMatrix::preCreateAccount},
            {"resetPassword", "resetPassword", kAnswerLimitMs, &TestFaultMatrix::resetPassword},
            {"changePassword", "changePassword", kAnswerLimitMs, &TestFaultMatrix::changePassword},
            {"modifyProfile", "modifyProfile", kAnswerLimitMs, &TestFaultMatrix::modifyProfile},
            {"conferenceConfig", "conferenceConfig", kAnswerLimitMs, &TestFaultMatrix::conferenceConfig},
            {"printInfo", "printInfo", 2 * kPrintFetchLimitMs, &TestFaultMatrix::printInfo},
            // One failed location is retried once before the default city.
            {"ipLocate", "ipLocate", 2 * kNetworkLimitMs, &TestFaultMatrix::locate},
            {"weather", "weather", kNetworkLimitMs, &TestFaultMatrix::weatherWithCache},
            {"weatherNoCache", "weather", kNetworkLimitMs, &TestFaultMatrix::weatherWithoutCache},
            {"analytics", "analytics", kNetworkLimitMs, &TestFaultMatrix::analytics},
        };
        return all;
    }

    static CallCase callNamed(const QString& name)
    {
        for (const CallCase& call : calls()) {
            if (name == call.name) {
                return call;
            }
        }
        qFatal("no call %s", qPrintable(name));
        return {};
    }

    static QString net(int code) { return CSignedRequest::networkErrorText(code); }

    std::unique_ptr<LocalServiceProcess> m_service;
    int m_port = 0;
    // A number of its own for every sign-up: a broken answer may hide that the
    // service did create the account.
    int m_signups = 0;
    QString m_newPhone;
    const QString m_otherPassword = "other5678";
    // Ends of the client's requests, by URL path.
    QStringList m_finished;

    // --- arming the faults -------------------------------------------------

    Arm armFault(const QString& fault, const CallCase& call)
    {
        LocalServiceProcess* service = m_service.get();
        const QString endpoint = call.endpoint;
        if (fault == "refused") {
            return [service] { service->stop(); };
        }
        if (fault == "clockSkew") {
            // Ten minutes ahead: far past the signature's tolerance.
            return [service] { QVERIFY(service->setClockSkew(600000)); };
        }
        if (fault == "kick") {
            return [service] { QVERIFY(service->kick(LocalServiceProcess::demoPhone)); };
        }
        QJsonObject description{{"endpoint", endpoint}, {"mode", fault}};
        if (fault == "delay") {
            description.insert("delayMs", call.limitMs + 1500);
        } else if (fault == "fail") {
            description.insert("errorCode", "9001");
            description.insert("errorMsg", QString::fromUtf8("服务暂时不可用"));
        }
        return [service, description] { QVERIFY(service->setFault(description)); };
    }

    bool restoreService()
    {
        if (!m_service->isRunning() &&
            !m_service->start(m_service->dataDirectory(), {"--port", QString::number(m_port)})) {
            return false;
        }
        return m_service->clearFaults() && m_service->setClockSkew(0);
    }

    // --- waiting -----------------------------------------------------------

    static bool waitFor(const std::function<bool()>& done, int ms) { return QTest::qWaitFor(done, ms); }

    bool requestEnded(const QString& pathPart) const
    {
        for (const QString& path : m_finished) {
            if (path.contains(pathPart)) {
                return true;
            }
        }
        return false;
    }

    static QString urlPath(CApiConfig::Slot slot) { return QUrl(CApiConfig::instance()->slot(slot)).path(); }

    // --- preparations ------------------------------------------------------

    bool signIn()
    {
        auto* login = CLoginManager::instance().get();
        if (login->isLoggedIn()) {
            login->logout();
        }
        QSignalSpy ticket(login, &CLoginManager::signalTicketOK);
        QSignalSpy states(login, &CLoginManager::signalLogState);
        login->loginPswd(LocalServiceProcess::demoPhone, m_password);
        return waitFor([&] { return !states.isEmpty(); }, 10000) && states.first().at(0) == "0" &&
               (ticket.count() > 0 || ticket.wait(10000));
    }

    bool demoToken()
    {
        QString account, password;
        CCipher::instance()->rsaEncryptBase64(LocalServiceProcess::demoPhone, account);
        CCipher::instance()->rsaEncryptBase64(servicePassword(), password);
        CLoginInfo::instance()->phone = LocalServiceProcess::demoPhone;
        return CTokenManager::instance()->authCodeByPswd(account, password) &&
               CTokenManager::instance()->validateToken();
    }

    QJsonObject serviceAccount(const QString& phone)
    {
        for (const QJsonValue& account :
             m_service->control("GET", "/__control/accounts").value("accounts").toArray()) {
            if (account.toObject().value("phone").toString() == phone) {
                return account.toObject();
            }
        }
        return QJsonObject();
    }

    QString servicePassword()
    {
        return serviceAccount(LocalServiceProcess::demoPhone).value("password").toString();
    }

    QString smsCodeSentTo(const QString& phone, int before)
    {
        waitFor(
            [&] {
                return m_service->control("GET", "/__control/sms?phone=" + phone)
                           .value("codes")
                           .toArray()
                           .size() > before;
            },
            5000);
        return m_service->latestSmsCode(phone);
    }

    int smsCodeCount(const QString& phone)
    {
        return m_service->control("GET", "/__control/sms?phone=" + phone).value("codes").toArray().size();
    }

    // --- probes: each prepares with a well service, arms the fault, makes the
    // call and says what came of it ------------------------------------------

    Outcome loginStateOutcome(QSignalSpy& states)
    {
        if (!waitFor([&] { return !states.isEmpty(); }, 15000)) {
            return {false, "no answer"};
        }
        const QString code = states.first().at(0).toString();
        const QString msg = states.first().at(1).toString();
        if (code == "0" && CLoginManager::instance()->isLoggedIn()) {
            return {true, QString("ok, %1 companies").arg(CLoginInfo::instance()->companyNames.size())};
        }
        return {false, code + "|" + msg};
    }

    Outcome signInByPassword(const Arm& arm)
    {
        auto* login = CLoginManager::instance().get();
        if (login->isLoggedIn()) {
            login->logout();
        }
        QSignalSpy states(login, &CLoginManager::signalLogState);
        arm();
        login->loginPswd(LocalServiceProcess::demoPhone, servicePasswordCached());
        return loginStateOutcome(states);
    }

    // The password is read while the service is well.
    QString m_password = LocalServiceProcess::password;
    QString servicePasswordCached() const { return m_password; }

    Outcome signInBySmsCode(const Arm& arm)
    {
        auto* login = CLoginManager::instance().get();
        if (login->isLoggedIn()) {
            login->logout();
        }
        const int before = smsCodeCount(LocalServiceProcess::demoPhone);
        login->sendVerCode(LocalServiceProcess::demoPhone);
        const QString code = smsCodeSentTo(LocalServiceProcess::demoPhone, before);
        QSignalSpy states(login, &CLoginManager::signalLogState);
        arm();
        login->loginVer(LocalServiceProcess::demoPhone, code);
        return loginStateOutcome(states);
    }

    Outcome ticket(const Arm& arm)
    {
        if (!signIn()) {
            return {false, "prepare: no sign-in"};
        }
        auto* login = CLoginManager::instance().get();
        QSignalSpy tickets(login, &CLoginManager::signalTicketOK);
        QSignalSpy states(login, &CLoginManager::signalLogState);
        QSignalSpy kicked(login, &CLoginManager::signalBeLogouted);
        arm();
        login->getAcessTicket();
        if (!waitFor([&] { return !tickets.isEmpty() || !states.isEmpty(); }, 15000)) {
            return {false, "no answer"};
        }
        if (!tickets.isEmpty()) {
            return {true, "ok"};
        }
        QString text = states.first().at(0).toString() + "|" + states.first().at(1).toString();
        if (!kicked.isEmpty()) {
            text += " / signed out: " + kicked.first().at(0).toString();
        } else if (login->isLoggedIn()) {
            text += " / still signed in";
        }
        return {false, text};
    }

    Outcome signOut(const Arm& arm)
    {
        if (!signIn()) {
            return {false, "prepare: no sign-in"};
        }
        auto* login = CLoginManager::instance().get();
        QSignalSpy loggedOut(login, &CLoginManager::signalLogout);
        const QString path = urlPath(CApiConfig::UrlLogout);
        arm();
        login->logout();
        waitFor([&] { return requestEnded(path); }, 15000);
        const bool out =
            loggedOut.count() == 1 && !login->isLoggedIn() && !login->printBridge()->isListening();
        return {out, out ? "ok, signed out" : "still signed in"};
    }

    Outcome loginSmsCode(const Arm& arm)
    {
        auto* login = CLoginManager::instance().get();
        QSignalSpy states(login, &CLoginManager::signalLogState);
        const QString path = urlPath(CApiConfig::UrlSendSmsCode);
        arm();
        login->sendVerCode(LocalServiceProcess::demoPhone);
        if (!waitFor([&] { return requestEnded(path); }, 15000)) {
            return {false, "no answer"};
        }
        if (states.isEmpty()) {
            return {true, "ok"};
        }
        return {false, states.first().at(0).toString() + "|" + states.first().at(1).toString()};
    }

    Outcome signupState(QSignalSpy& states, const QString& good)
    {
        if (!waitFor([&] { return !states.isEmpty(); }, 15000)) {
            return {false, "no answer"};
        }
        const QString code = states.first().at(0).toString();
        return {code == good, code + "|" + states.first().at(1).toString()};
    }

    Outcome signupSmsCode(const Arm& arm)
    {
        m_newPhone = QString("139%1").arg(++m_signups, 8, 10, QChar('0'));
        auto* signup = CSignupManager::instance().get();
        QSignalSpy states(signup, &CSignupManager::signalSignupState);
        arm();
        signup->sendVerCode(m_newPhone);
        return signupState(states, "2");
    }

    Outcome preCreateAccount(const Arm& arm)
    {
        m_newPhone = QString("139%1").arg(++m_signups, 8, 10, QChar('0'));
        auto* signup = CSignupManager::instance().get();
        QSignalSpy sent(signup, &CSignupManager::signalSignupState);
        const int before = smsCodeCount(m_newPhone);
        signup->sendVerCode(m_newPhone);
        if (!waitFor([&] { return !sent.isEmpty(); }, 10000) || sent.first().at(0) != "2") {
            return {false, "prepare: no code sent"};
        }
        const QString code = smsCodeSentTo(m_newPhone, before);
        QSignalSpy states(signup, &CSignupManager::signalSignupState);
        arm();
        // The state comes from inside the answer's slot, which then goes on to
        // the token, the validation and the join, and ends with the usage event.
        signup->preCreateAccount(m_newPhone, code);
        Outcome outcome = signupState(states, "4");
        if (outcome.ok) {
            waitFor([&] { return requestEnded("/dplusTrack/"); }, 15000);
        }
        return outcome;
    }

    Outcome passwordState(QSignalSpy& states)
    {
        if (states.isEmpty()) {
            return {false, "no state"};
        }
        const QString code = states.first().at(0).toString();
        return {code == "0", code + "|" + states.first().at(1).toString()};
    }

    Outcome resetPassword(const Arm& arm)
    {
        if (!demoToken()) {
            return {false, "prepare: no token"};
        }
        auto* manager = CPasswordManager::instance().get();
        QSignalSpy states(manager, &CPasswordManager::signalPasswordState);
        arm();
        manager->resetPassword(LocalServiceProcess::password);
        return passwordState(states);
    }

    Outcome changePassword(const Arm& arm)
    {
        if (!demoToken()) {
            return {false, "prepare: no token"};
        }
        const QString current = servicePassword();
        const QString next = current == LocalServiceProcess::password
                                 ? m_otherPassword
                                 : QString(LocalServiceProcess::password);
        auto* manager = CPasswordManager::instance().get();
        QSignalSpy states(manager, &CPasswordManager::signalPasswordState);
        arm();
        manager->changePassword(current, next);
        return passwordState(states);
    }

    Outcome modifyProfile(const Arm& arm)
    {
        if (!demoToken()) {
            return {false, "prepare: no token"};
        }
        auto* manager = CPasswordManager::instance().get();
        QSignalSpy states(manager, &CPasswordManager::signalProfileState);
        arm();
        manager->modifyProfile(R"({"title":"工程师"})");
        return passwordState(states);
    }

    Outcome conferenceConfig(const Arm& arm)
    {
        CTandemlinkAPI::instance(true);
        arm();
        const QString id = CTandemlinkAPI::instance()->clientAppId();
        return {!id.isEmpty(), id.isEmpty() ? "no application id" : "ok"};
    }

    Outcome printInfo(const Arm& arm)
    {
        if (!AccountFixture::signInWithPrintBridge()) {
            return {false, "prepare: no sign-in with the print bridge"};
        }
        // Each connection fetches anew.
        CLoginInfo::instance()->printInfo.clear();
        arm();
        QTcpSocket driver;
        QByteArray received;
        bool closed = false;
        connect(&driver, &QTcpSocket::readyRead, [&] { received += driver.readAll(); });
        connect(&driver, &QTcpSocket::disconnected, [&] { closed = true; });
        driver.connectToHost(QHostAddress::LocalHost, CLoginManager::kPrintPort);
        if (!driver.waitForConnected(2000)) {
            return {false, "no listener"};
        }
        waitFor([&] { return closed || !received.isEmpty(); }, 15000);
        if (!received.isEmpty()) {
            return {true, "ok"};
        }
        return {false, closed ? "closed without data" : "no answer"};
    }

    Outcome weatherOutcome(CWeather* weather)
    {
        const WeatherData& data = weather->weatherData();
        const bool unknown = std::all_of(data.days.begin(), data.days.end(),
                                         [](const ForecastDay& d) { return d.weather == "未知"; });
        const QString kind = weather->isFresh() ? "fresh" : (unknown ? "default" : "held");
        return {weather->isFresh(), QString("%1 %2, %3 days").arg(kind, data.city).arg(data.days.size())};
    }

    Outcome runWeather(const Arm& arm, bool withCache)
    {
        CWeather::instance(true);
        if (!withCache) {
            QFile::remove(CWeather::cacheFilePath());
        } else if (!QFile::exists(CWeather::cacheFilePath())) {
            // A cache from a good run.
            CWeather* first = CWeather::instance().get();
            QSignalSpy ready(first, &CWeather::weaDataReady);
            first->startLocate();
            if (!waitFor([&] { return first->isFresh(); }, 10000)) {
                return {false, "prepare: no forecast"};
            }
            CWeather::instance(true);
        }
        CWeather* weather = CWeather::instance().get();
        weather->loadLocalData();
        m_finished.clear();
        arm();
        weather->startLocate();
        // Done when the forecast request has ended, or when the location has
        // failed twice and the default city brings no request (data is held).
        waitFor(
            [&] {
                return requestEnded("/v3/weather/") ||
                       (m_finished.filter("/v3/ip").size() >= 2 && !weather->isRequesting());
            },
            20000);
        return weatherOutcome(weather);
    }

    Outcome locate(const Arm& arm) { return runWeather(arm, false); }
    Outcome weatherWithCache(const Arm& arm) { return runWeather(arm, true); }
    Outcome weatherWithoutCache(const Arm& arm) { return runWeather(arm, false); }

    Outcome analytics(const Arm& arm)
    {
        arm();
        const bool sent = CDplusTrack::instance()->track(QString::fromUtf8("云打印"));
        waitFor([&] { return requestEnded("/dplusTrack/"); }, 15000);
        return {sent, sent ? "ok" : "not sent"};
    }

    static QByteArray fileBytes(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(none)");
    }

private slots:
    void initTestCase()
    {
        QVERIFY(AccountFixture::start(m_service));
        m_port = m_service->port();
        CSingleNetworkManger::setTimeLimitForTesting(kNetworkLimitMs);
        CLoginManager::setPrintFetchLimitForTesting(kPrintFetchLimitMs);
    }

    void init()
    {
        QVERIFY(restoreService());
        CSignupManager::instance(true);
        CPasswordManager::instance(true);
        CTandemlinkAPI::instance(true);
        CWeather::instance(true);
        QVERIFY(AccountFixture::reset(*m_service));
        m_password = LocalServiceProcess::password;
        // Settings with something in them, so that damage would show.
        CLocalConfig::instance()->setValue(CLocalConfig::kRememberPswd, true);
        CLocalConfig::instance()->setEncryptedValue(CLocalConfig::kUserPhone1,
                                                    LocalServiceProcess::demoPhone);
        // On disk before any case looks at the file's bytes.
        const QString settingsFile = CLocalConfig::instance()->filePath();
        CLocalConfig::instance(true);
        QVERIFY(fileBytes(settingsFile).contains("rememberPswd"));
        m_finished.clear();
        connect(CSingleNetworkManger::instance()->manager(), &QNetworkAccessManager::finished, this,
                [this](QNetworkReply* reply) { m_finished << reply->url().path(); });
    }

    void cleanup() { QVERIFY(restoreService()); }

    void everyCallUnderEveryFault_data()
    {
        QTest::addColumn<QString>("call");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("expected");
        static const QStringList faults = {"refused",   "down",    "delay",    "http500",
                                           "empty",     "nonJson", "array",    "wrongTypes",
                                           "truncated", "fail",    "clockSkew"};
        // What the user is told when a sign-in step meets each fault; a
        // failed company list does not stop the sign-in.
        const QMap<QString, QString> signInStep = {
            {"refused", "|" + net(QNetworkReply::ConnectionRefusedError)},
            {"down", "|" + net(QNetworkReply::ServiceUnavailableError)},
            {"delay", "|" + net(QNetworkReply::OperationCanceledError)},
            {"http500", "|" + net(QNetworkReply::InternalServerError)},
            {"empty", "|" + net(QNetworkReply::NoError)},
            {"nonJson", "|" + net(QNetworkReply::NoError)},
            {"array", "|" + net(QNetworkReply::NoError)},
            {"wrongTypes", "|" + net(QNetworkReply::NoError)},
            {"truncated", "|" + net(QNetworkReply::RemoteHostClosedError)},
            {"fail", QString::fromUtf8("9001|服务暂时不可用")},
            {"clockSkew", "ok, 2 companies"}, // learned from the answer, sent again
        };
        QMap<QString, QString> companyList;
        for (const QString& fault : faults) {
            companyList.insert(fault, "ok, 0 companies");
        }
        companyList["refused"] = signInStep["refused"];
        companyList["clockSkew"] = signInStep["clockSkew"];
        const QMap<QString, QMap<QString, QString>> expected = {
            {"authCodeByPassword", signInStep}, {"authCodeBySmsCode", signInStep},
            {"tokenFromAuthCode", signInStep},  {"validateToken", signInStep},
            {"companyList", companyList},       {"personDetail", signInStep},
        };
        // The other calls: no hang, nothing lost, no crash, and the call works
        // again afterwards ("?": the outcome itself is logged, not compared).
        for (const CallCase& call : calls()) {
            for (const QString& fault : faults) {
                QTest::newRow(qPrintable(QString("%1 %2").arg(call.name, fault)))
                    << QString(call.name) << fault << expected.value(call.name).value(fault, "?");
            }
        }
        for (const char* call :
             {"accessTicket", "logout", "resetPassword", "changePassword", "modifyProfile"}) {
            QTest::newRow(qPrintable(QString("%1 kick").arg(call))) << QString(call) << "kick"
                                                                    << "?";
        }
    }

    void everyCallUnderEveryFault()
    {
        QFETCH(QString, call);
        QFETCH(QString, fault);
        QFETCH(QString, expected);
        const CallCase callCase = callNamed(call);
        m_password = servicePassword();

        const QString settingsFile = CLocalConfig::instance()->filePath();
        QByteArray settingsBefore, cacheBefore;
        QElapsedTimer clock;
        const Arm arm = armFault(fault, callCase);
        const Outcome outcome = (this->*callCase.probe)([&] {
            settingsBefore = fileBytes(settingsFile);
            cacheBefore = fileBytes(CWeather::cacheFilePath());
            m_finished.clear();
            arm();
            clock.start();
        });
        const qint64 elapsed = clock.elapsed();
        qDebug().noquote() << "OUTCOME" << call << fault << "=>" << outcome.text << "in" << elapsed << "ms";
        if (expected != "?") {
            QCOMPARE(outcome.text, expected);
        }
        QVERIFY2(elapsed <= callCase.limitMs + 1000, qPrintable(QString("took %1 ms").arg(elapsed)));
        if (!outcome.ok) {
            QCOMPARE(fileBytes(settingsFile), settingsBefore);
            QCOMPARE(fileBytes(CWeather::cacheFilePath()), cacheBefore);
        }

        // The service is well again: the same call goes through.
        QVERIFY(restoreService());
        if (fault == "clockSkew") {
            // The client took the service's skew as its offset; a service whose
            // clock is set right again reports the opposite offset, which the
            // client takes in place of the first (no sum), so it would stay
            // wrong for the run. The good call is made by a client that starts
            // with its clock as it is.
            CApiConfig::instance(true);
        }
        m_password = servicePassword();
        const Outcome again = (this->*callCase.probe)([] {});
        QVERIFY2(again.ok, qPrintable("after the fault: " + again.text));
    }
};

QTEST_MAIN(TestFaultMatrix)
#include "tst_faultmatrix.moc"
