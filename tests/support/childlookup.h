#pragma once

#include <QObject>
#include <QString>
#include <QtGlobal>

// Named children of a window, dialog or page under test.
namespace ChildLookup {

// A child the test cannot go on without: a missing one ends the run with its
// name, rather than with a crash on a null pointer further on.
template <class T> T* required(const QObject* parent, const QString& name)
{
    T* found = parent->findChild<T*>(name);
    if (!found) {
        qFatal("no child %s", qPrintable(name));
    }
    return found;
}

// A child that may be missing: null, with a warning naming it.
template <class T> T* optional(const QObject* parent, const QString& name)
{
    T* found = parent->findChild<T*>(name);
    if (!found) {
        qWarning("no child %s", qPrintable(name));
    }
    return found;
}

} // namespace ChildLookup
