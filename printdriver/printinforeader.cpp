#include "printdriver/printinforeader.h"

#include <cerrno>
#include <chrono>
#include <poll.h>
#include <sys/socket.h>

PrintInfoReader::State PrintInfoReader::feed(const char* data, std::size_t size)
{
    for (std::size_t i = 0; i < size && m_state == State::NeedMore; ++i) {
        const char c = data[i];
        if (++m_received > kMaxBytes) {
            m_state = State::TooLarge;
            break;
        }
        if (m_closers.empty()) {
            // Before the object: only white space may come.
            if (c == '{') {
                m_closers.push_back('}');
                m_text.push_back(c);
            } else if (c != ' ' && c != '\n' && c != '\r' && c != '\t') {
                m_state = State::Garbage;
            }
            continue;
        }
        m_text.push_back(c);
        if (m_inString) {
            if (m_escape) {
                m_escape = false;
            } else if (c == '\\') {
                m_escape = true;
            } else if (c == '"') {
                m_inString = false;
            } else if (static_cast<unsigned char>(c) < 0x20) {
                m_state = State::Garbage; // JSON strings hold no raw control characters
            }
            continue;
        }
        switch (c) {
        case '"':
            m_inString = true;
            break;
        case '{':
            m_closers.push_back('}');
            break;
        case '[':
            m_closers.push_back(']');
            break;
        case '}':
        case ']':
            if (m_closers.back() != c) {
                m_state = State::Garbage;
                break;
            }
            m_closers.pop_back();
            if (m_closers.empty()) {
                m_state = State::Complete;
            }
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20 && c != ' ' && c != '\n' && c != '\r' && c != '\t') {
                m_state = State::Garbage;
            }
            break;
        }
    }
    return m_state;
}

PrintInfoReader::Outcome PrintInfoReader::read(int fd, int timeoutMs, std::string& text)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    PrintInfoReader reader;
    char buffer[4096];
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            return Outcome::TimedOut;
        }
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready < 0) {
            return Outcome::Failed;
        }
        if (ready == 0) {
            return Outcome::TimedOut;
        }
        const ssize_t n = ::recv(fd, buffer, sizeof(buffer), 0);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
            continue;
        }
        if (n < 0) {
            return Outcome::Failed;
        }
        if (n == 0) {
            // Only white space (or nothing) came: the client had no information to give.
            return reader.m_text.empty() ? Outcome::ClosedEmpty : Outcome::ClosedIncomplete;
        }
        switch (reader.feed(buffer, static_cast<std::size_t>(n))) {
        case State::NeedMore:
            break;
        case State::Complete:
            text = reader.text();
            return Outcome::Complete;
        case State::Garbage:
            return Outcome::Garbage;
        case State::TooLarge:
            return Outcome::TooLarge;
        }
    }
}

const char* PrintInfoReader::name(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Complete:
        return "complete";
    case Outcome::ClosedEmpty:
        return "closed without data";
    case Outcome::ClosedIncomplete:
        return "closed before the object was complete";
    case Outcome::Garbage:
        return "not a JSON object";
    case Outcome::TooLarge:
        return "too large";
    case Outcome::TimedOut:
        return "time limit passed";
    case Outcome::Failed:
        return "read failed";
    }
    return "?";
}
