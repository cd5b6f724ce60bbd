#include "firstpaintprobe.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

#include <cstdio>
#include <ctime>

FirstPaintProbe::FirstPaintProbe(const char* tag) : m_tag(tag) {}

void FirstPaintProbe::install(const char* tag)
{
    qApp->installEventFilter(new FirstPaintProbe(tag));
}

bool FirstPaintProbe::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Paint && watched->isWidgetType()) {
        const QWidget* window = static_cast<QWidget*>(watched)->window();
        if (window && window->isVisible() && window->windowType() == Qt::Window) {
            timespec now{};
            clock_gettime(CLOCK_REALTIME, &now);
            std::fprintf(stderr, "%s: first paint at %lld%09ld\n", m_tag, static_cast<long long>(now.tv_sec),
                         now.tv_nsec);
            std::fflush(stderr);
            qApp->removeEventFilter(this);
            deleteLater();
        }
    }
    return false;
}
