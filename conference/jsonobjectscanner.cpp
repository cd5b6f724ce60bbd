#include "conference/jsonobjectscanner.h"

namespace {
constexpr int kSampleSize = 200;

bool isBlank(char c)
{
    return c == ' ' || c == '\n' || c == '\r' || c == '\t';
}
} // namespace

CJsonObjectScanner::CJsonObjectScanner(int maxBuffered) : m_maxBuffered(maxBuffered) {}

void CJsonObjectScanner::clear()
{
    m_buffer.clear();
    m_scanned = 0;
    m_depth = 0;
    m_inString = false;
    m_escaped = false;
}

void CJsonObjectScanner::drop(const QByteArray& bytes, bool countBlanks)
{
    for (const char c : bytes) {
        if (!countBlanks && isBlank(c)) {
            continue;
        }
        ++m_droppedBytes;
        if (m_droppedSample.size() < kSampleSize) {
            m_droppedSample.append(c);
        }
    }
}

QList<QByteArray> CJsonObjectScanner::feed(const QByteArray& data)
{
    m_droppedBytes = 0;
    m_droppedSample.clear();
    QList<QByteArray> objects;

    m_buffer.append(data);
    int begin = 0; // start of the open object, or of the unscanned rest
    int i = m_scanned;
    while (i < m_buffer.size()) {
        if (m_depth == 0) {
            const int start = m_buffer.indexOf('{', i);
            const int end = start < 0 ? m_buffer.size() : start;
            drop(m_buffer.mid(i, end - i), false);
            if (start < 0) {
                begin = i = m_buffer.size();
                break;
            }
            begin = start;
            m_depth = 1;
            i = start + 1;
            continue;
        }
        const char c = m_buffer.at(i);
        if (m_inString) {
            if (m_escaped) {
                m_escaped = false;
            } else if (c == '\\') {
                m_escaped = true;
            } else if (c == '"') {
                m_inString = false;
            }
        } else if (c == '"') {
            m_inString = true;
        } else if (c == '{' || c == '[') {
            ++m_depth;
        } else if ((c == '}' || (c == ']' && m_depth > 1)) && --m_depth == 0) {
            objects.append(m_buffer.mid(begin, i + 1 - begin));
            begin = i + 1;
        }
        ++i;
    }
    m_buffer.remove(0, begin);
    m_scanned = m_buffer.size();

    if (m_buffer.size() > m_maxBuffered) {
        drop(m_buffer, true);
        clear();
    }
    return objects;
}
