#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

// What every fuzz target sets up once, before the first input: a private
// temporary directory as HOME and every XDG directory (removed at exit), Qt
// messages dropped, and a QCoreApplication. Nothing here touches the network.
class FuzzSupport
{
public:
    static void start();
    static QString directory();
    static QByteArray bytes(const uint8_t* data, size_t size)
    {
        return QByteArray(reinterpret_cast<const char*>(data), int(size));
    }
};
