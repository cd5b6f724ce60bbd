#pragma once

#include <QProcess>
#include <QSize>
#include <QString>

// An X server of the test's own (Xvfb on a free display number it picks
// itself), stopped with the object. Tests that project need a screen to
// capture; two of them are a PC and a meeting room on one machine.
class XvfbServer
{
public:
    ~XvfbServer();
    bool start(const QSize& size = QSize(1280, 720));
    // ":N", empty before start.
    QString display() const { return m_display; }
    // Makes this server the screen of the test process, as an X11 desktop
    // session would (the projection library captures it).
    void useForThisProcess() const;
    // The environment for a program shown on this server.
    QProcessEnvironment environment() const;
    // A screenshot of the whole screen (ImageMagick's import), empty on failure.
    QImage screenshot(const QString& path) const;

private:
    QProcess m_process;
    QString m_display;
};
