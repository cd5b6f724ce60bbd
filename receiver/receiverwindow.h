#pragma once

// The receiver's one window: idle, its code large enough to read across a
// meeting room (and beside it the room's 4-character share code, when it is
// registered as a meeting room) and its address; projecting, the sender's
// picture scaled to fit with black bars, the sharer's name when a share
// carried one, and a stop button. Esc stops as the button does.

#include <QImage>
#include <QWidget>

class QLabel;
class QPushButton;

class ReceiverWindow : public QWidget
{
    Q_OBJECT
public:
    ReceiverWindow(const QString& code, const QString& address, QWidget* parent = nullptr);

public slots:
    void showPicture(const QImage& picture);
    void showIdle();
    // "" while the room is not registered.
    void setRoomCode(const QString& code);
    // Shown as plain text while projecting; "" hides it.
    void showSharer(const QString& name);

signals:
    void stopRequested();

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QString m_code;
    QString m_address;
    QString m_roomCode;
    QImage m_picture;
    QPushButton* m_stop = nullptr;
    QLabel* m_sharer = nullptr;
};
