#pragma once

#include "standins/localservice/accountstore.h"
#include "standins/localservice/credentialcipher.h"
#include "standins/localservice/deployment.h"
#include "standins/localservice/faulttable.h"
#include "standins/localservice/requestjournal.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <httplib.h>

#include <atomic>
#include <functional>
#include <memory>

class SignatureVerifier;
class SignedApi;
class PublicApi;
class OfficePages;
class ConferencePages;
class PrintService;
class ControlApi;
class UpdateFeed;
class MeetingRooms;

// The bundled local service: one HTTP server on 127.0.0.1 that stands in for
// the account service, the print-information service, the conference
// configuration, IP location and weather, the analytics collector and the
// office and conference web pages. Every endpoint except the control endpoint
// is recorded and can be given a fault (see FaultTable).
class LocalService
{
public:
    struct Options
    {
        QString deploymentFile;
        int port = 0; // 0 picks a free port
        QString dataDirectory;
        QString seedFile;       // "" uses the built-in seed
        QString privateKeyFile; // "" uses the built-in development key
        int toleranceSeconds = 300;
        QString updatePackageFile; // "" serves a generated demo package
        QString updateVersion;     // "" offers 2.4.8
    };

    // Handles one request of a named endpoint; returns the outcome for the journal.
    using Handler = std::function<QString(const httplib::Request&, httplib::Response&, qint64 seq)>;

    LocalService();
    ~LocalService();

    // Loads everything and binds 127.0.0.1; false with error set otherwise.
    bool prepare(const Options& options, QString& error);
    int port() const { return m_port; }
    // Serves until stop(); returns false when the server could not run.
    bool run();
    void stop();

    // Registers a recorded, fault-able endpoint.
    void route(const char* method, const QString& path, const QString& endpoint, const Handler& handler);
    void routeRegex(const char* method, const std::string& pattern, const QString& endpoint,
                    const Handler& handler);
    // Registers a plain handler (control endpoint, page assets): not recorded, no faults.
    void routePlain(const char* method, const std::string& pattern, const httplib::Server::Handler& handler);
    QStringList endpoints() const { return m_endpoints; }

    const Deployment& deployment() const { return m_deployment; }
    const Options& options() const { return m_options; }
    const SignatureVerifier& verifier() const { return *m_verifier; }
    const CredentialCipher& credentials() const { return m_credentials; }
    AccountStore& accounts() { return m_accounts; }
    FaultTable& faults() { return m_faults; }
    RequestJournal& journal() { return m_journal; }
    const QJsonObject& seed() const { return m_seed; }
    QString seedDirectory() const { return m_seedDirectory; }
    QString dataDirectory() const { return m_options.dataDirectory; }
    PublicApi& publicApi() { return *m_publicApi; }
    OfficePages& officePages() { return *m_officePages; }
    PrintService& printService() { return *m_printService; }

    // The service clock (real time plus the skew a test set), ms since the epoch.
    qint64 nowMs() const;
    void setClockSkew(qint64 ms) { m_clockSkewMs = ms; }
    qint64 clockSkew() const { return m_clockSkewMs; }
    // Back to the seeded state: faults, journal, events, sessions, codes, clock.
    void reset();

    // A file compiled into the service (":/localservice/<name>").
    static QByteArray resource(const QString& name);

private:
    void serve(const QString& endpoint, const httplib::Request& req, httplib::Response& res,
               const Handler& handler);
    static QString answerFault(const FaultTable::Fault& fault, httplib::Response& res);
    static void applyShapeFault(const QString& mode, httplib::Response& res);

    Options m_options;
    Deployment m_deployment;
    CredentialCipher m_credentials;
    std::unique_ptr<SignatureVerifier> m_verifier;
    AccountStore m_accounts;
    FaultTable m_faults;
    RequestJournal m_journal;
    QJsonObject m_seed;
    QString m_seedDirectory;
    QStringList m_endpoints;
    std::atomic<qint64> m_clockSkewMs{0};
    int m_port = 0;
    httplib::Server m_server;
    std::unique_ptr<SignedApi> m_signedApi;
    std::unique_ptr<PublicApi> m_publicApi;
    std::unique_ptr<OfficePages> m_officePages;
    std::unique_ptr<ConferencePages> m_conferencePages;
    std::unique_ptr<PrintService> m_printService;
    std::unique_ptr<ControlApi> m_controlApi;
    std::unique_ptr<UpdateFeed> m_updateFeed;
    std::unique_ptr<MeetingRooms> m_meetingRooms;
};
