#include "conference/webchannelidleguard.h"

#include <QJsonObject>
#include <QWebChannel>
#include <QWebChannelAbstractTransport>
#include <QtTest>

namespace {
// The page's end of the channel, as qwebchannel.js speaks it.
class PageTransport : public QWebChannelAbstractTransport
{
public:
    QList<QJsonObject> received;
    void sendMessage(const QJsonObject& message) override { received << message; }
    void fromPage(QJsonObject message) { emit messageReceived(message, this); }
};

class Bridge : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int level READ level NOTIFY levelChanged)
public:
    int level() const { return m_level; }
    void raise()
    {
        ++m_level;
        emit levelChanged();
    }
signals:
    void levelChanged();
    void told(QString what);

private:
    int m_level = 0;
};

// Counts the timer events of the channel's publisher.
class TimerCount : public QObject
{
public:
    int ticks = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        ticks += event->type() == QEvent::Timer;
        return false;
    }
};

constexpr int kInit = 3;
constexpr int kIdle = 4;
constexpr int kSignal = 1;
constexpr int kPropertyUpdate = 2;
constexpr int kConnectToSignal = 7;
} // namespace

// The channel's property-update timer does not keep waking the GUI thread
// while the page is idle; signals and property updates still reach the page.
class TestWebChannelIdleGuard : public QObject
{
    Q_OBJECT
private slots:
    void idlePageStopsTheTimerAfterOneTick()
    {
        QWebChannel channel;
        new CWebChannelIdleGuard(&channel);
        // Installed last, so it sees each tick before the guard does.
        TimerCount count;
        for (QObject* child : channel.children()) {
            child->installEventFilter(&count);
        }
        Bridge bridge;
        channel.registerObject("Bridge", &bridge);
        PageTransport page;
        channel.connectTo(&page);
        page.fromPage({{"type", kInit}, {"id", 0}});
        page.fromPage({{"type", kConnectToSignal},
                       {"object", "Bridge"},
                       {"signal", bridge.metaObject()->indexOfSignal("told(QString)")}});
        page.fromPage({{"type", kIdle}});
        QTRY_COMPARE(count.ticks, 1);
        // Unguarded, the 50 ms timer would tick about ten more times here.
        QTest::qWait(500);
        QCOMPARE(count.ticks, 1);

        const int before = page.received.size();
        emit bridge.told("hello");
        QCOMPARE(page.received.size(), before + 1);
        QCOMPARE(page.received.last().value("type").toInt(), kSignal);
        bridge.raise();
        QTRY_VERIFY(page.received.size() == before + 2);
        QCOMPARE(page.received.last().value("type").toInt(), kPropertyUpdate);
    }
};

QTEST_GUILESS_MAIN(TestWebChannelIdleGuard)
#include "tst_webchannelidleguard.moc"
