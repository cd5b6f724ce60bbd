#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// A command another process hands the running client on its local socket
// ("marlunemain"): words separated by blanks, in the local 8-bit encoding.
// The updater sends "close" and its notices "updateAvaliable" and
// "updateUnAvaliable"; a second start sends "activate" and its command line.
// Any other word shows the window too.
class CLocalCommand
{
public:
    enum Kind
    {
        None,          // nothing but blanks
        Close,         // the updater replaces the client
        UpdaterNotice, // nothing to show
        Activate,      // raise and show the main window
    };

    // The bytes of one connection's first read.
    static CLocalCommand parse(const QByteArray& bytes);

    Kind kind = None;
    QString text;      // the command as it came
    QStringList words; // the word first, then the arguments
};
