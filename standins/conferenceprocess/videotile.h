#pragma once

#include <QImage>
#include <QString>
#include <QWidget>

// One member's picture in the conference window, with the name under it as
// plain text. Until the first picture arrives it says that it is waiting.
class CVideoTile : public QWidget
{
    Q_OBJECT
public:
    explicit CVideoTile(const QString& name, QWidget* parent = nullptr);

    void setImage(const QImage& image);
    void setNote(const QString& note); // shown over the picture, e.g. camera off

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const QString m_name;
    QImage m_image;
    QString m_note;
};
