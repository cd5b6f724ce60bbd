#pragma once

#include <QString>
#include <QStringList>

// What one run of the stand-in ping does for its host, as a test scripted it.
//
// The script is a JSON file named by VANTELOR_PING_SCRIPT:
//   { "hosts": { "127.0.0.1": { "failFirst": 2 },
//                "127.0.0.2": { "sequence": [ {"result": "timeout"}, {"result": "ok", "delayMs": 300} ] },
//                "*":         { "result": "ok", "hangMs": 8000 } } }
// A rule is either the fields of one step (used for every run), a "sequence"
// of steps (run k uses step min(k, last)), or "failFirst": N (the first N runs
// fail, later runs use the rule's own step fields). Runs are counted per host
// in "<script>.state"; every run is appended to "<script>.log" as one JSON line.
class PingScript
{
public:
    enum class Result
    {
        Ok,
        Fail,
        Timeout
    };

    struct Step
    {
        Result result = Result::Ok;
        int delayMs = 0; // reply latency (ok) or time until the failure shows (fail)
        int hangMs = 0;  // extra time before exiting, whatever the options say
    };

    // Reads the script named by the environment and counts this run for host.
    // Without a script every run is Step{}.
    static Step stepFor(const QString& host);

    // Appends the finished run to the script's log (no-op without a script).
    static void logRun(const QStringList& args, const QString& host, int exitCode, const QString& note);

private:
    static int countRun(const QString& scriptPath, const QString& host);
};
