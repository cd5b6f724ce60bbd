#pragma once

#include <QList>
#include <QtGlobal>

// What a process and all its descendants hold, read from /proc: the web
// engine's helper processes (zygote, renderers, GPU) are children and
// grandchildren of the process that embeds it.
struct ProcessTree
{
    QList<qint64> pids;         // root first
    int webEngineProcesses = 0; // descendants running QtWebEngineProcess
    qint64 pssKiB = 0;          // summed over the tree (smaps_rollup)
    qint64 rootPssKiB = 0;      // of the root alone
    int rootDescriptors = 0;    // open descriptors of the root alone

    // withMemory false skips the PSS sum, which takes a while on big trees.
    static ProcessTree of(qint64 rootPid, bool withMemory = true);
    // The tree once its memory has settled: two samples a second apart with
    // the same processes and PSS within 2 % (at most timeoutMs).
    static ProcessTree settled(qint64 rootPid, int timeoutMs = 15000);
};
