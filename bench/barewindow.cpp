// Start-up baseline: a bare frameless 900x600 QMainWindow, with the client's
// application attributes. bench/startup.sh compares the client with it.
// Built a second time with VANTELOR_BENCH_WEB_ENGINE: the same window in a
// program linked with the web engine (its libraries and the shared OpenGL
// context it needs at start) but without any web view, to tell what the
// engine costs before the first window is mapped.
#include "firstpaintprobe.h"

#include <QApplication>
#include <QMainWindow>
#ifdef VANTELOR_BENCH_WEB_ENGINE
#include <QWebEngineProfile>
#endif

int main(int argc, char** argv)
{
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
#ifdef VANTELOR_BENCH_WEB_ENGINE
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    // Referenced, never called: the library stays linked.
    volatile auto keep = &QWebEngineProfile::defaultProfile;
    (void)keep;
#endif
    QApplication app(argc, argv);
    FirstPaintProbe::install("vantelor-bench-window");
    QMainWindow window;
    window.setWindowFlags(Qt::FramelessWindowHint);
    window.resize(900, 600);
    window.show();
    return app.exec();
}
