#pragma once

// The receiver's one window: idle, its code large enough to read across a
// meeting room and its address; projecting, the sender's picture scaled to
// fit with black bars, and a stop button. Esc stops as the button does.

#include <QImage>
#include <QWidget>

class QPushButton;

class ReceiverWindow : public QWidget
{
    Q_OBJECT
public:
    ReceiverWindow(const QString& code, const QString& address, QWidget* parent = nullptr);

public slots:
    void showPicture(const QImage& picture);
    void showIdle();

signals:
    void stopRequested();

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QString m_code;
    QString m_address;
    QImage m_picture;
    QPushButton* m_stop = nullptr;
};
