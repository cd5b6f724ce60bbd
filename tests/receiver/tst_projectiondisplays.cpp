#include "conference/standin.h"
#include "platform/systemping.h"
#include "projection/p2pdsclientsession.h"
#include "projection/sharewrapper.h"
#include "support/testenvironment.h"
#include "support/xvfbserver.h"
#include "ui/pageproject.h"

#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QtTest>

#include <atomic>
#include <csignal>
#include <cstring>

// A PC and a meeting room on one machine: two X servers. The PC's screen
// shows a known picture; the projection page with the real router, manager
// and library projects it to the receiver on the other display, whose screen
// must then show the same picture.
namespace {
const QSize kScreen(1280, 720);

// Big blocks of plain colour, so the comparison tolerates the codec.
QImage pattern()
{
    QImage image(kScreen, QImage::Format_RGB32);
    QPainter painter(&image);
    const QColor colours[] = {Qt::red,     Qt::green, Qt::blue,  Qt::yellow,
                              Qt::magenta, Qt::cyan,  Qt::white, QColor(255, 128, 0)};
    for (int i = 0; i < 8; ++i) {
        painter.fillRect((i % 4) * kScreen.width() / 4, (i / 4) * kScreen.height() / 2, kScreen.width() / 4,
                         kScreen.height() / 2, colours[i]);
    }
    painter.fillRect(kScreen.width() / 2 - 100, kScreen.height() / 2 - 60, 200, 120, Qt::black);
    return image;
}

// Largest channel difference at points well inside the blocks, away from
// their edges and from the receiver's stop button in the bottom-right corner.
int difference(const QImage& a, const QImage& b)
{
    if (a.size() != b.size()) {
        return 256;
    }
    int worst = 0;
    for (int y = 40; y < a.height() - 100; y += 37) {
        for (int x = 40; x < a.width() - 240; x += 41) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            worst = std::max({worst, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                              std::abs(qBlue(p) - qBlue(q))});
        }
    }
    return worst;
}

class BusyCallback : public IP2PDsClientSessionCb
{
public:
    void onProjectionSuccess() override { last = "success"; }
    void onProjectionRejected(int32_t) override { last = "rejected"; }
    void onBusying() override { last = "busy"; }
    void onProjectionStopped() override { last = "stopped"; }
    void onNoStreamProjectionCommandResponse(int32_t) override { last = "no response"; }
    std::atomic<const char*> last{""};
};
} // namespace

class TestProjectionDisplays : public QObject
{
    Q_OBJECT
public:
    static void initMain() { TestEnvironment::isolateClient(); }

private slots:
    void initTestCase()
    {
        CSystemPing::setProgram(TestEnvironment::binary("vantelor-ping"));
        QVERIFY(m_pc.start(kScreen));
        QVERIFY(m_room.start(kScreen));
        // The PC's screen shows the pattern as its desktop background.
        const QString file = TestEnvironment::root() + "/pattern.png";
        QVERIFY(pattern().save(file));
        QProcess::execute("display", {"-display", m_pc.display(), "-window", "root", file});
        m_pcShot = m_pc.screenshot(QStringLiteral(VANTELOR_BIN_DIR) + "/../tests/projectiondisplays-pc.png")
                       .convertToFormat(QImage::Format_RGB32);
        QCOMPARE(difference(m_pcShot, pattern()), 0);
        m_pc.useForThisProcess();
    }

    void init()
    {
        Standin::reset();
        const quint32 octets = QRandomGenerator::global()->bounded(1u << 16, 1u << 24);
        m_address = QString("127.%1.%2.%3").arg(octets >> 16).arg((octets >> 8) & 0xff).arg(octets & 0xff);
        m_output.clear();
        connect(
            &m_receiver, &QProcess::readyReadStandardOutput, this,
            [this] { m_output += QString::fromUtf8(m_receiver.readAllStandardOutput()); },
            Qt::UniqueConnection);
        // Full screen, as in a meeting room.
        m_receiver.setProcessEnvironment(m_room.environment());
        m_receiver.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_receiver.start(TestEnvironment::binary("vantelor-receiver"), {"--address", m_address});
        QTRY_VERIFY_WITH_TIMEOUT(m_output.contains("listening on"), 10000);
        m_code = m_output.section("code: ", 1).section('\n', 0, 0).trimmed();
        page = new PageProject;
        page->show();
        QApplication::setActiveWindow(page);
        QVERIFY(QTest::qWaitForWindowActive(page));
    }

    void cleanup()
    {
        delete page;
        page = nullptr;
        CShareWrapper::instance(true);
        if (m_receiver.processId() > 0) {
            ::kill(static_cast<pid_t>(m_receiver.processId()), SIGCONT);
        }
        m_receiver.kill();
        m_receiver.waitForFinished();
    }

    void receiverShowsThePcScreen()
    {
        const QImage idle = roomShot("idle");
        QVERIFY(difference(idle, m_pcShot) > 100);
        project();
        // The picture settles within a few frames of the first one.
        QTRY_VERIFY_WITH_TIMEOUT(difference(roomShot("projecting"), m_pcShot) <= 40, 10000);

        // Stopped from the page: the receiver is idle again.
        QTest::mouseClick(startButton(), Qt::LeftButton);
        QTRY_VERIFY(m_output.contains("projection stopped by sender"));
        QTRY_VERIFY_WITH_TIMEOUT(difference(roomShot("idle-again"), idle) <= 2, 5000);
    }

    // A window of another shape: the whole picture, scaled, with black bars.
    void pictureIsLetterboxed()
    {
        m_receiver.kill();
        m_receiver.waitForFinished();
        m_output.clear();
        m_receiver.start(TestEnvironment::binary("vantelor-receiver"),
                         {"--address", m_address, "--windowed", "640x480"});
        QTRY_VERIFY_WITH_TIMEOUT(m_output.contains("listening on"), 10000);
        project();
        // 1280x720 in 640x480: 640x360 between bars of 60 pixels.
        const QImage expected = m_pcShot.scaled(640, 360, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        QImage window;
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                window = roomShot("letterboxed").copy(0, 0, 640, 480);
                const QImage picture = window.copy(0, 60, 640, 360);
                return difference(QImage(picture).scaled(1280, 720), expected.scaled(1280, 720)) <= 48;
            }(),
            10000);
        for (int x = 10; x < 640; x += 50) {
            QCOMPARE(window.pixel(x, 20), qRgb(0, 0, 0));
            QCOMPARE(window.pixel(x, 470), qRgb(0, 0, 0));
        }
    }

    void stopAtTheReceiver()
    {
        project();
        // A click on the receiver's stop button, through the room's X server.
        QProcess xdotool;
        xdotool.setProcessEnvironment(m_room.environment());
        xdotool.start("xdotool", {"mousemove", "--sync", QString::number(kScreen.width() - 60),
                                  QString::number(kScreen.height() - 44), "click", "1"});
        QVERIFY(xdotool.waitForFinished(10000));
        QTRY_COMPARE_WITH_TIMEOUT(startButton()->text(), QStringLiteral("开始投屏"), 3000);
        QVERIFY(m_output.contains("projection ended by receiver"));
    }

    void vanishedReceiverIsNoticed_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("killed") << int(SIGKILL);
        QTest::newRow("frozen") << int(SIGSTOP);
    }
    void vanishedReceiverIsNoticed()
    {
        QFETCH(int, signal);
        project();
        ::kill(static_cast<pid_t>(m_receiver.processId()), signal);
        // The keep-alive limit is 3 s; the page looks at the state every 200 ms.
        QTRY_COMPARE_WITH_TIMEOUT(startButton()->text(), QStringLiteral("开始投屏"), 3500);
    }

    // Two codes: the same picture on both receivers, each on a screen of its own.
    void dualProjectionShowsOnBoth()
    {
        XvfbServer secondRoom;
        QVERIFY(secondRoom.start(kScreen));
        const quint32 octets = QRandomGenerator::global()->bounded(1u << 16, 1u << 24);
        const QString address =
            QString("127.%1.%2.%3").arg(octets >> 16).arg((octets >> 8) & 0xff).arg(octets & 0xff);
        QProcess second;
        QString output;
        connect(&second, &QProcess::readyReadStandardOutput, this,
                [&] { output += QString::fromUtf8(second.readAllStandardOutput()); });
        second.setProcessEnvironment(secondRoom.environment());
        second.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        second.start(TestEnvironment::binary("vantelor-receiver"), {"--address", address});
        QTRY_VERIFY_WITH_TIMEOUT(output.contains("listening on"), 10000);
        const QString secondCode = output.section("code: ", 1).section('\n', 0, 0).trimmed();

        QTest::mouseClick(page->findChild<QPushButton*>("btn_add"), Qt::LeftButton);
        QTest::keyClicks(page->findChild<QLineEdit*>("edit_code2"), secondCode);
        project();
        QTRY_VERIFY_WITH_TIMEOUT(output.contains("first picture"), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(difference(roomShot("dual-1"), m_pcShot) <= 40, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(difference(secondRoom
                                                .screenshot(QStringLiteral(VANTELOR_BIN_DIR) +
                                                            "/../tests/projectiondisplays-dual-2.png")
                                                .convertToFormat(QImage::Format_RGB32),
                                            m_pcShot) <= 40,
                                 10000);
        QTest::mouseClick(startButton(), Qt::LeftButton);
        QTRY_VERIFY(output.contains("projection stopped by sender"));
        QTRY_VERIFY(m_output.contains("projection stopped by sender"));
        second.kill();
        second.waitForFinished();
    }

    void secondSenderIsBusy()
    {
        project();
        BusyCallback callback;
        P2PDsClientSessionProxy second(&callback);
        P2PDsClientSettings settings;
        settings.kind = 0;
        settings.entryCount = 1;
        std::strcpy(settings.entries[0], m_code.toLatin1().constData());
        second.startProjection(settings);
        QTRY_COMPARE(QString(callback.last.load()), QString("busy"));
        QVERIFY(m_output.contains("refused: busy"));
        QCOMPARE(startButton()->text(), QStringLiteral("停止投屏"));
    }

private:
    QPushButton* startButton() const { return page->findChild<QPushButton*>("btn_start"); }

    void project()
    {
        QLineEdit* edit = page->findChild<QLineEdit*>("edit_code1");
        QTest::keyClicks(edit, m_code.toLower());
        QTest::mouseClick(startButton(), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(startButton()->text(), QStringLiteral("停止投屏"), 8000);
        QTRY_VERIFY_WITH_TIMEOUT(m_output.contains("first picture"), 5000);
    }
    QImage roomShot(const QString& name)
    {
        // Kept beside the test programs, to be looked at.
        const QString file =
            QStringLiteral(VANTELOR_BIN_DIR) + "/../tests/projectiondisplays-" + name + ".png";
        return m_room.screenshot(file).convertToFormat(QImage::Format_RGB32);
    }

    XvfbServer m_pc;
    XvfbServer m_room;
    QImage m_pcShot;
    PageProject* page = nullptr;
    QProcess m_receiver;
    QString m_output;
    QString m_address;
    QString m_code;
};

QTEST_MAIN(TestProjectionDisplays)
#include "tst_projectiondisplays.moc"
