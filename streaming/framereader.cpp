#include "streaming/framereader.h"

void FrameReader::feed(const char* data, std::size_t size)
{
    if (!m_error.empty()) {
        return;
    }
    // Drop what was consumed before the buffer grows.
    if (m_offset > 0) {
        m_buffer.erase(0, m_offset);
        m_offset = 0;
    }
    m_buffer.append(data, size);
}

FrameReader::Result FrameReader::fail(const std::string& why)
{
    m_error = why;
    m_buffer.clear();
    m_offset = 0;
    return Error;
}

FrameReader::Result FrameReader::next(StreamFrame& frame)
{
    if (!m_error.empty()) {
        return Error;
    }
    const std::size_t available = m_buffer.size() - m_offset;
    if (available < StreamFrame::kHeaderSize) {
        // Refuse a wrong start as soon as it shows, not only after 8 bytes.
        if (available >= 1 && m_buffer[m_offset] != 'V') {
            return fail("not a stream frame");
        }
        if (available >= 2 && m_buffer[m_offset + 1] != 'F') {
            return fail("not a stream frame");
        }
        return NeedMore;
    }
    const auto* h = reinterpret_cast<const unsigned char*>(m_buffer.data() + m_offset);
    if (h[0] != 'V' || h[1] != 'F') {
        return fail("not a stream frame");
    }
    const uint8_t type = h[2];
    const uint8_t flags = h[3];
    const uint32_t length = (uint32_t(h[4]) << 24) | (uint32_t(h[5]) << 16) | (uint32_t(h[6]) << 8) | h[7];
    switch (type) {
    case StreamFrame::Video:
        if (length == 0 || length > StreamFrame::kMaxPayload) {
            return fail("video frame of " + std::to_string(length) + " bytes");
        }
        if (flags & ~StreamFrame::KeyFrame) {
            return fail("unknown video flags");
        }
        break;
    case StreamFrame::Ping:
    case StreamFrame::Stop:
    case StreamFrame::KeyFrameRequest:
    case StreamFrame::Replaced:
        if (length != 0 || flags != 0) {
            return fail("control frame with a payload or flags");
        }
        break;
    default:
        return fail("unknown frame type " + std::to_string(type));
    }
    if (available - StreamFrame::kHeaderSize < length) {
        return NeedMore;
    }
    frame.type = static_cast<StreamFrame::Type>(type);
    frame.flags = flags;
    frame.payload.assign(m_buffer, m_offset + StreamFrame::kHeaderSize, length);
    m_offset += StreamFrame::kHeaderSize + length;
    return Frame;
}
