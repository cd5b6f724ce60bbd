#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>

// The real bundled local service (build/bin/vantelor-localservice) for a
// test: started on a free port of 127.0.0.1 with a data directory of its own,
// stopped when the object goes. Control calls go to its unsigned
// "/__control/" endpoint and block until answered.
//
// Seeded accounts (password "demo1234" for all):
//   13800000001 demo user 林晓雨, id 10001, two companies (the second is the
//               default), a photo
//   13800000002 locked ("1012")          13800000003 must sign in by SMS first ("1201")
//   13800000004 not activated (unknown)  13800000005 empty name, one company
//   13800000006 王磊, no company         any other phone: unknown, may register
class LocalServiceProcess
{
public:
    static constexpr const char* demoPhone = "13800000001";
    static constexpr const char* lockedPhone = "13800000002";
    static constexpr const char* smsFirstPhone = "13800000003";
    static constexpr const char* inactivePhone = "13800000004";
    static constexpr const char* unnamedPhone = "13800000005";
    static constexpr const char* noCompanyPhone = "13800000006";
    static constexpr const char* password = "demo1234";

    // deploymentFile: the deployment the service reads (config/local.json by default).
    explicit LocalServiceProcess(const QString& deploymentFile = QString());
    ~LocalServiceProcess();
    LocalServiceProcess(const LocalServiceProcess&) = delete;
    LocalServiceProcess& operator=(const LocalServiceProcess&) = delete;

    // Starts and waits for "listening on 127.0.0.1:<port>"; dataDirectory ""
    // makes a fresh one under the test's root.
    bool start(const QString& dataDirectory = QString(), const QStringList& extraArguments = QStringList());
    void stop();
    bool isRunning() const;

    int port() const { return m_port; }
    QString origin() const; // "http://127.0.0.1:<port>"
    QString dataDirectory() const { return m_dataDirectory; }
    // The deployment with every origin of the local deployment replaced by
    // origin(), written next to the data directory; for a client under test.
    QString clientDeploymentFile() const;
    // What the service wrote to stderr so far.
    QString log();

    // Control endpoint. control() returns the answer object ("ok" false and
    // "error" on failure, also when the service does not answer).
    QJsonObject control(const QByteArray& method, const QString& pathAndQuery,
                        const QJsonObject& body = QJsonObject());
    bool setFault(const QJsonObject& fault);
    bool clearFaults(const QString& endpoint = QString());
    bool reset();
    bool kick(const QString& phone);
    bool setClockSkew(qint64 ms);
    QString latestSmsCode(const QString& phone);
    QJsonArray requests(const QString& endpoint = QString(), qint64 sinceSeq = 0);
    QJsonArray events();

private:
    QString m_deploymentFile;
    QString m_dataDirectory;
    QProcess m_process;
    QByteArray m_stderr;
    int m_port = 0;
};
