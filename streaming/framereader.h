#pragma once

// Cuts a byte stream into StreamFrames. Bytes arrive in pieces of any size;
// a header that is not one of ours ends the stream for good (the reader
// never resynchronises on guessed boundaries).

#include "streaming/streamframe.h"

#include <string>

class FrameReader
{
public:
    enum Result
    {
        NeedMore,
        Frame,
        Error
    };

    void feed(const char* data, std::size_t size);
    // Takes the next whole frame out of the buffer.
    Result next(StreamFrame& frame);
    // Why the stream was refused, after Error.
    const std::string& error() const { return m_error; }
    // Bytes of an unfinished frame: a stream that ends with some was cut mid-frame.
    std::size_t pending() const { return m_buffer.size() - m_offset; }

private:
    Result fail(const std::string& why);

    std::string m_buffer;
    std::size_t m_offset = 0;
    std::string m_error;
};
