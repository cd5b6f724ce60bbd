// The client exactly as shipped (runClient), plus a probe that prints the wall
// clock of the main window's first paint to stderr:
//   "vantelor-startupprobe: first paint at <ns since the epoch>"
// scripts/measure-startup.sh compares it with the moment it started the
// process. Not part of the shipped client.
#include "app/startup.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QEvent>
#include <QWidget>

#include <cstdio>
#include <ctime>

namespace {
class FirstPaintProbe : public QObject
{
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && watched->isWidgetType()) {
            const QWidget* window = static_cast<QWidget*>(watched)->window();
            if (window && window->objectName() == QLatin1String("WindowMain")) {
                timespec now{};
                clock_gettime(CLOCK_REALTIME, &now);
                std::fprintf(stderr, "vantelor-startupprobe: first paint at %lld%09ld\n",
                             static_cast<long long>(now.tv_sec), now.tv_nsec);
                std::fflush(stderr);
                qApp->removeEventFilter(this);
                deleteLater();
            }
        }
        return false;
    }
};

void installProbe()
{
    qApp->installEventFilter(new FirstPaintProbe());
}
Q_COREAPP_STARTUP_FUNCTION(installProbe)
} // namespace

int main(int argc, char** argv)
{
    return runClient(argc, argv);
}
