#pragma once

#include <QLabel>
#include <QString>
#include <QTextDocument>

// Markup that text from outside (a service answer) may carry.
inline QString outsideMarkup()
{
    return QStringLiteral("<b>x</b><img src=\"file:///etc/hostname\">");
}

// What a label shows the user: its text as it is, or, when the label renders
// it as rich text, the text of that markup.
inline QString shownText(const QLabel* label)
{
    const bool rich = label->textFormat() == Qt::RichText ||
                      (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(label->text()));
    if (!rich) {
        return label->text();
    }
    QTextDocument document;
    document.setHtml(label->text());
    return document.toPlainText();
}
