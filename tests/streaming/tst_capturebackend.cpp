#include "streaming/capturebackend.h"

#include <QtTest>

// Which capture the session type allows, from the variables a desktop session sets.
class TestCaptureBackend : public QObject
{
    Q_OBJECT

private slots:
    void detectsTheSessionType_data()
    {
        QTest::addColumn<QString>("sessionType");
        QTest::addColumn<QString>("waylandDisplay");
        QTest::addColumn<QString>("display");
        QTest::addColumn<int>("kind");
        QTest::newRow("X11 desktop") << "x11"
                                     << ""
                                     << ":0" << int(CaptureBackend::X11);
        QTest::newRow("X display, no session type") << ""
                                                    << ""
                                                    << ":5" << int(CaptureBackend::X11);
        QTest::newRow("X display, tty session") << "tty"
                                                << ""
                                                << ":1" << int(CaptureBackend::X11);
        // XWayland sets DISPLAY too, but an X capture there gives black frames.
        QTest::newRow("Wayland desktop with XWayland") << "wayland"
                                                       << "wayland-0"
                                                       << ":0" << int(CaptureBackend::Wayland);
        QTest::newRow("Wayland session type only") << "wayland"
                                                   << ""
                                                   << "" << int(CaptureBackend::Wayland);
        QTest::newRow("Wayland display, no session type") << ""
                                                          << "wayland-1"
                                                          << ":0" << int(CaptureBackend::Wayland);
        QTest::newRow("X11 session, stray Wayland display") << "x11"
                                                            << "wayland-0"
                                                            << ":0" << int(CaptureBackend::X11);
        QTest::newRow("no graphical session") << ""
                                              << ""
                                              << "" << int(CaptureBackend::None);
        QTest::newRow("tty, nothing else") << "tty"
                                           << ""
                                           << "" << int(CaptureBackend::None);
    }
    void detectsTheSessionType()
    {
        QFETCH(QString, sessionType);
        QFETCH(QString, waylandDisplay);
        QFETCH(QString, display);
        QFETCH(int, kind);
        const QMap<QString, QByteArray> environment{{"XDG_SESSION_TYPE", sessionType.toLatin1()},
                                                    {"WAYLAND_DISPLAY", waylandDisplay.toLatin1()},
                                                    {"DISPLAY", display.toLatin1()}};
        const CaptureBackend backend = CaptureBackend::detect([&](const char* name) -> const char* {
            const auto it = environment.find(QString::fromLatin1(name));
            return it == environment.end() || it->isEmpty() ? nullptr : it->constData();
        });
        QCOMPARE(int(backend.kind), kind);
        if (kind == CaptureBackend::X11) {
            QCOMPARE(QString::fromStdString(backend.display), display);
            QVERIFY(backend.problem.empty());
        } else {
            // The projection fails with a sentence a person can act on.
            QVERIFY(backend.problem.size() > 20);
        }
    }
};

QTEST_APPLESS_MAIN(TestCaptureBackend)
#include "tst_capturebackend.moc"
