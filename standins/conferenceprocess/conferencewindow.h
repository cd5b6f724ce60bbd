#pragma once

#include <QHash>
#include <QImage>
#include <QString>
#include <QStringList>
#include <QWidget>

class CVideoTile;
class QGridLayout;
class QLabel;
class QPushButton;

// The conference as the member sees it: every other member's video with the
// name, this member's own preview, and buttons for the microphone, the
// camera and leaving. A lost conference stays on screen with the reason
// until the member closes it.
class CConferenceWindow : public QWidget
{
    Q_OBJECT
public:
    explicit CConferenceWindow(QWidget* parent = nullptr);

    void start(const QString& conference, const QString& memberName);
    void addMember(const QString& id, const QString& name);
    void removeMember(const QString& id);
    void showMemberFrame(const QString& id, const QImage& image);
    void showPreview(const QImage& image);
    void showLost(const QString& message);
    void reset();

    int memberCount() const { return m_members.size(); }

signals:
    void leaveRequested();
    void microphoneMuted(bool muted);
    void cameraSwitched(bool on);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void relayout();
    void updateTitle();

    QGridLayout* m_grid = nullptr;
    QLabel* m_status = nullptr;
    QPushButton* m_microphone = nullptr;
    QPushButton* m_camera = nullptr;
    QPushButton* m_leave = nullptr;
    CVideoTile* m_preview = nullptr;
    QHash<QString, CVideoTile*> m_members;
    QStringList m_order;
    QString m_conference;
    bool m_muted = false;
    bool m_cameraOn = true;
    bool m_lost = false;
};
