// Start-up baseline: the bare frameless 900x600 QMainWindow holding one
// QWebEngineView with a small page, created before the window is shown.
#include "firstpaintprobe.h"

#include <QApplication>
#include <QMainWindow>
#include <QWebEngineView>

int main(int argc, char** argv)
{
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    FirstPaintProbe::install("vantelor-bench-webwindow");
    QMainWindow window;
    window.setWindowFlags(Qt::FramelessWindowHint);
    window.resize(900, 600);
    auto* view = new QWebEngineView(&window);
    view->setHtml(QStringLiteral("<!DOCTYPE html><html><head><title>bench</title></head>"
                                 "<body><h1>Vantelor</h1><p>A small page.</p></body></html>"));
    window.setCentralWidget(view);
    window.show();
    return app.exec();
}
