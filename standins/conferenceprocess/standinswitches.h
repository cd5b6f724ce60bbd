#pragma once

#include <QString>
#include <QStringList>

// How the stand-in conference process behaves. A developer gets a process
// that answers everything after a short delay; tests turn on the faults they
// need through TANDEMLINK_STANDIN_* variables, which only this program reads.
struct CStandinSwitches
{
    int replyDelayMs = 400;        // REPLY_DELAY_MS: time the "engine" takes per command
    int heartbeatMs = 5000;        // HEARTBEAT_MS: type 10000 period; 0 sends only the first one
    int firstDataDelayMs = 0;      // FIRST_DATA_MS: wait after connecting before sending anything
    QStringList failOperations;    // FAIL: operations answered with success false ...
    int errorCode = 1;             // ERROR_CODE: ... and this errorCode
    QString errorMsg;              // ERROR_MSG: ... and this errorMsg
    QStringList noReplyOperations; // NO_REPLY: operations never answered (heartbeats go on)
    QString silentAfter;           // SILENT_AFTER: operation (or "connect") after which nothing is sent
    // EXIT_AFTER, CRASH_AFTER: operation after whose reply (after whose
    // receipt, when it is in NO_REPLY) the process exits (code 0) or dies by SIGKILL
    QString exitAfter;
    QString crashAfter;
    QString notifyAfter; // NOTIFY: "operation:module:errorCode:errorMsg", a type 10002 after the reply
    QString notifyModule;
    int notifyCode = 0;
    QString notifyMsg;
    bool split = false; // SPLIT=1: every reply goes out in two writes, 100 ms apart
    bool join = false;  // JOIN=1: a reply and the message after it go out in one write
    QString logFile;    // LOG: also append the log to this file
    // SHARE=simulated: "sharestart" and "sharestop" answered after the delay
    // without a meeting room or a receiver (as for conferences)
    bool simulatedShares = false;
    // CONFERENCE=simulated: conferences answered after the delay without the
    // media server (tests of the client's side alone)
    bool simulatedConferences = false;
    // CAMERA: a V4L2 device, or "none" for the generated picture; by default
    // /dev/video0 when it exists
    QString camera;
    // CONFIG: the file with the service origin and the conference app
    // credentials instead of tandemlink.ini beside the program
    QString configFile;

    static CStandinSwitches fromEnvironment();
    QString describe() const;
};
