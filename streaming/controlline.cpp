#include "streaming/controlline.h"

#include <cstdlib>

ControlLine ControlLine::parse(const std::string& raw)
{
    ControlLine result;
    std::string line = raw;
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    if (line.size() >= kMaxLength) {
        return result;
    }
    if (line == "P2PDS/1 PROJECT") {
        result.kind = Project;
    } else if (line == "ACCEPT") {
        result.kind = Accept;
    } else if (line == "BUSY") {
        result.kind = Busy;
    } else if (line.rfind("REJECT ", 0) == 0) {
        // A reason of 1 to 9 decimal digits and nothing else.
        const std::string digits = line.substr(7);
        if (digits.empty() || digits.size() > 9 ||
            digits.find_first_not_of("0123456789") != std::string::npos) {
            return result;
        }
        result.kind = Reject;
        result.reason = std::atoi(digits.c_str());
    }
    return result;
}

std::string ControlLine::text(Kind kind, int reason)
{
    switch (kind) {
    case Project:
        return "P2PDS/1 PROJECT\n";
    case Accept:
        return "ACCEPT\n";
    case Busy:
        return "BUSY\n";
    case Reject:
        return "REJECT " + std::to_string(reason < 0 ? 0 : reason) + "\n";
    case Invalid:
        break;
    }
    return std::string();
}
