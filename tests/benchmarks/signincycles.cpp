// The client exactly as shipped (runClient), driven through sign-in and
// sign-out cycles against the local service; it prints what its process tree
// holds after the first sign-in and after the cycles, then quits:
//   "vantelor-signincycles: <when> processes <n> web-engine <n> pss-kib <n> fds <n>"
// scripts/bench-signin-cycles.sh runs it. Not part of the shipped client.
#include "account/loginmanager.h"
#include "app/startup.h"
#include "support/processtree.h"
#include "ui/windowmain.h"

#include <QCoreApplication>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QUrlQuery>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <cstdio>

namespace {
const char* kPhone = "13800000001";
const char* kPassword = "demo1234";

QString evaluate(QWebEngineView* view, const QString& script)
{
    QString result;
    bool done = false;
    view->page()->runJavaScript(script, [&](const QVariant& v) {
        result = v.toString();
        done = true;
    });
    return QTest::qWaitFor([&] { return done; }, 5000) ? result : QString();
}

QWebEngineView* view(const char* name)
{
    return WindowMain::instance()->findChild<QWebEngineView*>(QLatin1String(name));
}

// Both pages show the document of their current address, the conference page
// with its bridge.
bool pagesSettled(bool signedIn)
{
    QWebEngineView* mail = view("webViewOnPageMail");
    QWebEngineView* meeting = view("webViewOnPageMeeting");
    if (!meeting || meeting->url().hasQuery() != signedIn ||
        evaluate(meeting, "document.body && document.body.getAttribute('data-bridge')") != "ready") {
        return false;
    }
    return !signedIn || (mail && !mail->url().isEmpty() &&
                         evaluate(mail, "document.readyState + ' ' + location.pathname") ==
                             "complete " + mail->url().path());
}

void report(const char* when)
{
    // Processes of replaced pages end a moment later.
    const ProcessTree tree = ProcessTree::settled(QCoreApplication::applicationPid());
    std::printf("vantelor-signincycles: %s processes %d web-engine %d pss-kib %lld fds %d\n", when,
                int(tree.pids.size()), tree.webEngineProcesses, tree.pssKiB, tree.rootDescriptors);
    std::fflush(stdout);
}

bool step(bool signIn)
{
    if (signIn) {
        CLoginManager::instance()->loginPswd(kPhone, kPassword);
    } else {
        CLoginManager::instance()->logout();
    }
    if (!QTest::qWaitFor(
            [signIn] { return CLoginManager::instance()->isLoggedIn() == signIn && pagesSettled(signIn); },
            30000)) {
        std::fprintf(stderr, "vantelor-signincycles: pages did not settle after %s\n",
                     signIn ? "sign-in" : "sign-out");
        return false;
    }
    return true;
}

void drive()
{
    const int cycles = qEnvironmentVariableIntValue("SIGNIN_CYCLES") > 0
                           ? qEnvironmentVariableIntValue("SIGNIN_CYCLES")
                           : 20;
    bool ok = QTest::qWaitFor([] { return pagesSettled(false); }, 30000);
    ok = ok && step(true);
    if (ok) {
        report("first-sign-in");
    }
    for (int i = 0; ok && i < cycles; ++i) {
        ok = step(false) && step(true);
    }
    if (ok) {
        report("after-cycles");
        auto* home = WindowMain::instance()->findChild<QPushButton*>("homeForMail");
        for (int i = 0; ok && i < 5; ++i) {
            home->click();
            ok = QTest::qWaitFor([] { return pagesSettled(true); }, 30000);
        }
        report("after-home-clicks");
    }
    QCoreApplication::exit(ok ? 0 : 1);
}

void installDriver()
{
    QTimer::singleShot(0, qApp, [] {
        if (WindowMain::instance()) {
            drive();
        }
    });
}
Q_COREAPP_STARTUP_FUNCTION(installDriver)
} // namespace

int main(int argc, char** argv)
{
    return runClient(argc, argv);
}
