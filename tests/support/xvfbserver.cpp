#include "support/xvfbserver.h"

#include <QDeadlineTimer>
#include <QImage>

XvfbServer::~XvfbServer()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(3000)) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }
}

bool XvfbServer::start(const QSize& size)
{
    // -displayfd: the server takes the first free number and writes it to us.
    // -noreset: the server keeps its state (the root picture) when its last client leaves.
    m_process.start("Xvfb", {"-displayfd", "1", "-noreset", "-nolisten", "tcp", "-screen", "0",
                             QString("%1x%2x24").arg(size.width()).arg(size.height())});
    QByteArray out;
    QDeadlineTimer deadline(15000);
    while (!out.contains('\n') && !deadline.hasExpired() && m_process.state() != QProcess::NotRunning) {
        m_process.waitForReadyRead(200);
        out += m_process.readAllStandardOutput();
    }
    bool ok = false;
    const int number = out.trimmed().toInt(&ok);
    if (!ok) {
        return false;
    }
    m_display = QString(":%1").arg(number);
    return true;
}

void XvfbServer::useForThisProcess() const
{
    qputenv("DISPLAY", m_display.toLocal8Bit());
    qputenv("XDG_SESSION_TYPE", "x11");
    qunsetenv("WAYLAND_DISPLAY");
}

QProcessEnvironment XvfbServer::environment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DISPLAY", m_display);
    environment.insert("QT_QPA_PLATFORM", "xcb");
    environment.insert("XDG_SESSION_TYPE", "x11");
    environment.remove("WAYLAND_DISPLAY");
    return environment;
}

QImage XvfbServer::screenshot(const QString& path) const
{
    QProcess import;
    import.start("import", {"-display", m_display, "-window", "root", path});
    if (!import.waitForFinished(15000) || import.exitCode() != 0) {
        return QImage();
    }
    return QImage(path);
}
