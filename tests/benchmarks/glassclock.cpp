// Glass-to-glass clock for the projection benchmark (scripts/measure-projection.sh).
//   --draw: a full-screen window that shows, every frame, the current time in
//           ms as two rows of 32 black/white blocks over a picture that moves
//           every frame (so the encoder has real work).
//   --probe SECONDS: grabs the top of its screen as fast as it can, decodes
//           the time shown and prints latency p50/p95 and the rate at which
//           new times appeared. Both run on one machine, so one clock.

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {
constexpr int kBits = 32;
constexpr int kBlock = 40;

quint32 nowMs()
{
    return static_cast<quint32>(QDateTime::currentMSecsSinceEpoch() & 0xffffffffu);
}

class Clock : public QWidget
{
protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        ++m_frame;
        // Moving colour bands below the code.
        for (int x = 0; x < width(); x += 16) {
            const int hue = (x / 4 + m_frame * 7) % 360;
            painter.fillRect(x, 2 * kBlock, 16, height() - 2 * kBlock, QColor::fromHsv(hue, 200, 230));
        }
        const quint32 value = nowMs();
        for (int row = 0; row < 2; ++row) {
            for (int bit = 0; bit < kBits; ++bit) {
                const bool one = (value >> (kBits - 1 - bit)) & 1u;
                painter.fillRect(bit * kBlock, row * kBlock, kBlock, kBlock, one ? Qt::white : Qt::black);
            }
        }
    }

private:
    int m_frame = 0;
};

bool decode(const QImage& image, quint32& value)
{
    quint32 rows[2] = {0, 0};
    for (int row = 0; row < 2; ++row) {
        for (int bit = 0; bit < kBits; ++bit) {
            const QRgb p = image.pixel(bit * kBlock + kBlock / 2, row * kBlock + kBlock / 2);
            rows[row] = (rows[row] << 1) | (qGray(p) > 128 ? 1u : 0u);
        }
    }
    value = rows[0];
    return rows[0] == rows[1];
}

int probe(int seconds)
{
    QScreen* screen = QGuiApplication::primaryScreen();
    // The receiver shows the sender's screen scaled to its own: here both are
    // the same size, so the code is where it was drawn.
    std::vector<qint64> latencies;
    quint32 last = 0;
    int grabs = 0;
    QElapsedTimer elapsed;
    elapsed.start();
    while (elapsed.elapsed() < seconds * 1000) {
        const QImage image = screen->grabWindow(0, 0, 0, kBits * kBlock, 2 * kBlock).toImage();
        const quint32 seen = nowMs();
        ++grabs;
        quint32 value = 0;
        if (!decode(image, value) || value == last) {
            continue;
        }
        last = value;
        const qint64 latency = static_cast<qint32>(seen - value);
        if (latency >= 0 && latency < 5000) {
            latencies.push_back(latency);
        }
    }
    if (latencies.size() < 10) {
        std::printf("probe: only %zu readable pictures in %d grabs\n", latencies.size(), grabs);
        return 1;
    }
    std::sort(latencies.begin(), latencies.end());
    std::printf("latency p50 %lld ms, p95 %lld ms, new pictures %.1f/s, probe %.0f grabs/s\n",
                static_cast<long long>(latencies[latencies.size() / 2]),
                static_cast<long long>(latencies[latencies.size() * 95 / 100]),
                latencies.size() * 1000.0 / elapsed.elapsed(), grabs * 1000.0 / elapsed.elapsed());
    return 0;
}
} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() >= 3 && args[1] == "--probe") {
        return probe(args[2].toInt());
    }
    if (args.size() >= 2 && args[1] == "--draw") {
        Clock clock;
        clock.setGeometry(QGuiApplication::primaryScreen()->geometry());
        clock.showFullScreen();
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, &clock, [&clock] { clock.repaint(); });
        timer.start(5);
        return app.exec();
    }
    std::fprintf(stderr, "usage: %s --draw | --probe SECONDS\n", argv[0]);
    return 2;
}
