#pragma once

#include <QByteArray>
#include <QList>

// Cuts a byte stream of JSON objects written back to back, with no length and
// no separator, into whole objects. Reads may end anywhere: inside a string,
// an escape or a multi-byte character. Text outside any object is dropped
// (blanks silently), and a buffer that outgrows the cap is dropped too, so one
// bad peer cannot make it grow without bound.
class CJsonObjectScanner
{
public:
    static constexpr int kDefaultMaxBuffered = 1024 * 1024;

    explicit CJsonObjectScanner(int maxBuffered = kDefaultMaxBuffered);

    // Appends data and returns every object it completes, in order. Each entry
    // runs from "{" to the matching "}"; whether it parses is the caller's call.
    QList<QByteArray> feed(const QByteArray& data);

    // What the last feed dropped: non-blank bytes outside any object, or an
    // unfinished object over the cap. The sample keeps the first bytes only.
    int droppedBytes() const { return m_droppedBytes; }
    QByteArray droppedSample() const { return m_droppedSample; }

    int bufferedBytes() const { return m_buffer.size(); }
    void clear();

private:
    void drop(const QByteArray& bytes, bool countBlanks);

    int m_maxBuffered;
    QByteArray m_buffer; // from the start of the open object; empty between objects
    int m_scanned = 0;   // bytes of m_buffer already looked at
    int m_depth = 0;
    bool m_inString = false;
    bool m_escaped = false;
    int m_droppedBytes = 0;
    QByteArray m_droppedSample;
};
