// The client exactly as shipped (runClient), with what bench/startup.sh needs
// around it; not part of the shipped client. On stderr:
//   "vantelor-benchclient: first paint at <ns since the epoch>"
// Environment:
//   BENCH_DEPLOYMENT=<file>  a deployment file instead of the built-in one
//   BENCH_CA_FILE=<file>     certificates to trust besides the system's (TLS)
//   BENCH_SIGN_IN=<phone>:<password>  signs in once the conference page has
//       loaded and prints on stdout
//       "vantelor-benchclient: sign-in <ms> calls <n> <path>@<ms> ..."
//       from the sign-in call to the ticket's arrival, each finished request
//       with its time;
//   BENCH_MAIL=1             then shows the mail page;
//   BENCH_QUIT=1             then quits.
#include "account/loginmanager.h"
#include "app/startup.h"
#include "core/deployment.h"
#include "core/singlenetworkmanger.h"
#include "firstpaintprobe.h"
#include "ui/windowmain.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPushButton>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTimer>
#include <QWebEngineView>

#include <cstdio>

namespace {
void signIn(const QString& phone, const QString& password)
{
    auto* clock = new QElapsedTimer();
    auto* calls = new QStringList();
    QNetworkAccessManager* manager = CSingleNetworkManger::instance()->manager();
    auto finished = QObject::connect(manager, &QNetworkAccessManager::finished, qApp,
                                     [clock, calls](QNetworkReply* reply) {
                                         *calls << QStringLiteral("%1@%2")
                                                       .arg(reply->url().path())
                                                       .arg(clock->nsecsElapsed() / 1e6, 0, 'f', 1);
                                     });
    CLoginManager* login = CLoginManager::instance().get();
    auto* done = new QMetaObject::Connection();
    *done = QObject::connect(login, &CLoginManager::signalTicketOK, qApp, [=](const QString&) {
        const double ms = clock->nsecsElapsed() / 1e6;
        QObject::disconnect(finished);
        QObject::disconnect(*done);
        std::printf("vantelor-benchclient: sign-in %.1f calls %d %s\n", ms, int(calls->size()),
                    qPrintable(calls->join(' ')));
        std::fflush(stdout);
        if (qEnvironmentVariableIntValue("BENCH_MAIL") == 1) {
            if (auto* mail = WindowMain::instance()->findChild<QPushButton*>(QStringLiteral("btn_mail"))) {
                mail->click();
            }
        }
        if (qEnvironmentVariableIntValue("BENCH_QUIT") == 1) {
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        }
    });
    clock->start();
    login->loginPswd(phone, password);
}

// Signs in once the conference page has finished its first load and the
// client has been quiet for a second.
void signInWhenSettled(const QString& phone, const QString& password)
{
    auto* poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, qApp, [=] {
        WindowMain* window = WindowMain::instance();
        auto* view =
            window ? window->findChild<QWebEngineView*>(QStringLiteral("webViewOnPageMeeting")) : nullptr;
        if (!view) {
            return;
        }
        poll->deleteLater();
        QObject::connect(view, &QWebEngineView::loadFinished, qApp, [=] {
            static bool once = false;
            if (!once) {
                once = true;
                QTimer::singleShot(1000, qApp, [=] { signIn(phone, password); });
            }
        });
    });
    poll->start(50);
}

void setUp()
{
    FirstPaintProbe::install("vantelor-benchclient");
    const QString deployment = qEnvironmentVariable("BENCH_DEPLOYMENT");
    QString error;
    if (!deployment.isEmpty() && !CDeployment::loadForTesting(deployment, &error)) {
        std::fprintf(stderr, "vantelor-benchclient: %s: %s\n", qPrintable(deployment), qPrintable(error));
        std::exit(2);
    }
    const QString ca = qEnvironmentVariable("BENCH_CA_FILE");
    if (!ca.isEmpty()) {
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.addCaCertificates(QSslCertificate::fromPath(ca));
        QSslConfiguration::setDefaultConfiguration(tls);
    }
    const QString credentials = qEnvironmentVariable("BENCH_SIGN_IN");
    const int colon = credentials.indexOf(':');
    if (colon > 0) {
        signInWhenSettled(credentials.left(colon), credentials.mid(colon + 1));
    }
}
Q_COREAPP_STARTUP_FUNCTION(setUp)
} // namespace

int main(int argc, char** argv)
{
    return runClient(argc, argv);
}
