#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>

// Drives the stand-in conference process from a test: its switches (read by
// every process started afterwards) and what it logged.
namespace Standin {
// Clears every switch, gives the next processes a fresh log and quick replies,
// and points the client at the built stand-in.
void reset();
void set(const char* name, const QString& value);
void unset(const char* name);
QString logPath();
QString log();
// The commands the stand-in received, oldest first.
QList<QJsonObject> received();
// Ids of the stand-in processes that wrote to the log, in order of appearance.
QStringList pids();
} // namespace Standin
