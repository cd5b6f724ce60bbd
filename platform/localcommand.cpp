#include "platform/localcommand.h"

CLocalCommand CLocalCommand::parse(const QByteArray& bytes)
{
    CLocalCommand command;
    command.text = QString::fromLocal8Bit(bytes);
    command.words = command.text.split(' ', Qt::SkipEmptyParts);
    if (command.words.isEmpty()) {
        return command;
    }
    const QString& word = command.words.first();
    if (word == QLatin1String("close")) {
        command.kind = Close;
    } else if (word == QLatin1String("updateAvaliable") || word == QLatin1String("updateUnAvaliable")) {
        command.kind = UpdaterNotice;
    } else {
        command.kind = Activate;
    }
    return command;
}
