#pragma once

#include <QObject>

// Prints the wall clock of the first paint of a top-level window to stderr,
//   "<tag>: first paint at <ns since the epoch>"
// then stops watching. Installed on the application object.
class FirstPaintProbe : public QObject
{
public:
    explicit FirstPaintProbe(const char* tag);
    static void install(const char* tag);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    const char* m_tag;
};
