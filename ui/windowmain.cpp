#include "ui/windowmain.h"

#include <QDebug>
#include <QFile>

WindowMain* WindowMain::s_instance = nullptr;

WindowMain* WindowMain::instance(bool release)
{
    if (release) {
        delete s_instance;
        s_instance = nullptr;
    } else if (!s_instance) {
        s_instance = new WindowMain();
    }
    return s_instance;
}

WindowMain::WindowMain()
{
    setObjectName("WindowMain");
    setWindowTitle(tr("Vantelor"));
    setWindowFlags(Qt::FramelessWindowHint | Qt::Window);
    setAttribute(Qt::WA_StyledBackground);
    resize(900, 600);
    loadStyleSheet("windowmain");
}

WindowMain::~WindowMain()
{
    if (s_instance == this) {
        s_instance = nullptr;
    }
}

void WindowMain::loadStyleSheet(const QString& name)
{
    QFile file(":/wid/qss/" + name + ".qss");
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning().noquote() << "WindowMain: cannot open style sheet" << file.fileName();
        return;
    }
    setStyleSheet(QString::fromUtf8(file.readAll()));
}
