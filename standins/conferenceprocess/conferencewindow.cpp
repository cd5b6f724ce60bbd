#include "conferencewindow.h"

#include "videotile.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>

CConferenceWindow::CConferenceWindow(QWidget* parent) : QWidget(parent)
{
    setObjectName("conferenceWindow");
    resize(960, 600);
    setStyleSheet("#conferenceWindow { background: rgb(16,18,22); } QLabel { color: rgb(220,224,230); }"
                  "QPushButton { color: white; background: rgb(52,56,64); border: none; border-radius: 4px;"
                  " padding: 8px 18px; } QPushButton#leave { background: rgb(222,60,60); }");
    auto* layout = new QVBoxLayout(this);
    m_grid = new QGridLayout;
    m_grid->setSpacing(6);
    layout->addLayout(m_grid, 1);
    m_status = new QLabel(this);
    m_status->setTextFormat(Qt::PlainText);
    m_status->setAlignment(Qt::AlignCenter);
    m_status->hide();
    layout->addWidget(m_status);

    auto* buttons = new QHBoxLayout;
    m_microphone = new QPushButton(QStringLiteral("静音"), this);
    m_camera = new QPushButton(QStringLiteral("关闭摄像头"), this);
    m_leave = new QPushButton(QStringLiteral("离开会议"), this);
    m_leave->setObjectName("leave");
    buttons->addStretch();
    buttons->addWidget(m_microphone);
    buttons->addWidget(m_camera);
    buttons->addWidget(m_leave);
    buttons->addStretch();
    layout->addLayout(buttons);

    connect(m_microphone, &QPushButton::clicked, this, [this] {
        m_muted = !m_muted;
        m_microphone->setText(m_muted ? QStringLiteral("取消静音") : QStringLiteral("静音"));
        emit microphoneMuted(m_muted);
    });
    connect(m_camera, &QPushButton::clicked, this, [this] {
        m_cameraOn = !m_cameraOn;
        m_camera->setText(m_cameraOn ? QStringLiteral("关闭摄像头") : QStringLiteral("打开摄像头"));
        if (m_preview) {
            m_preview->setNote(m_cameraOn ? QString() : QStringLiteral("摄像头已关闭"));
        }
        emit cameraSwitched(m_cameraOn);
    });
    connect(m_leave, &QPushButton::clicked, this, [this] {
        if (m_lost) {
            hide();
            reset();
        } else {
            emit leaveRequested();
        }
    });
}

void CConferenceWindow::start(const QString& conference, const QString& memberName)
{
    reset();
    m_conference = conference;
    m_preview = new CVideoTile(memberName + QStringLiteral(" (我)"), this);
    relayout();
    updateTitle();
    show();
    raise();
}

void CConferenceWindow::reset()
{
    qDeleteAll(m_members);
    m_members.clear();
    m_order.clear();
    delete m_preview;
    m_preview = nullptr;
    m_lost = false;
    m_muted = false;
    m_cameraOn = true;
    m_microphone->setText(QStringLiteral("静音"));
    m_camera->setText(QStringLiteral("关闭摄像头"));
    m_microphone->setEnabled(true);
    m_camera->setEnabled(true);
    m_leave->setText(QStringLiteral("离开会议"));
    m_status->hide();
}

void CConferenceWindow::addMember(const QString& id, const QString& name)
{
    if (m_members.contains(id)) {
        return;
    }
    m_members.insert(id, new CVideoTile(name, this));
    m_order << id;
    relayout();
    updateTitle();
}

void CConferenceWindow::removeMember(const QString& id)
{
    delete m_members.take(id);
    m_order.removeAll(id);
    relayout();
    updateTitle();
}

void CConferenceWindow::showMemberFrame(const QString& id, const QImage& image)
{
    if (CVideoTile* tile = m_members.value(id)) {
        tile->setImage(image);
    }
}

void CConferenceWindow::showPreview(const QImage& image)
{
    if (m_preview) {
        m_preview->setImage(image);
    }
}

void CConferenceWindow::showLost(const QString& message)
{
    m_lost = true;
    m_status->setText(message);
    m_status->show();
    m_microphone->setEnabled(false);
    m_camera->setEnabled(false);
    m_leave->setText(QStringLiteral("关闭"));
}

void CConferenceWindow::closeEvent(QCloseEvent* event)
{
    // Closing the window is leaving the conference.
    if (!m_lost && m_preview) {
        emit leaveRequested();
    }
    event->accept();
}

// The others in the order they came, the own preview last.
void CConferenceWindow::relayout()
{
    QList<QWidget*> tiles;
    for (const QString& id : qAsConst(m_order)) {
        tiles << m_members.value(id);
    }
    if (m_preview) {
        tiles << m_preview;
    }
    while (m_grid->count() > 0) {
        delete m_grid->takeAt(0);
    }
    const int columns = tiles.size() <= 1 ? 1 : int(std::ceil(std::sqrt(double(tiles.size()))));
    for (int i = 0; i < tiles.size(); ++i) {
        m_grid->addWidget(tiles.at(i), i / columns, i % columns);
    }
}

void CConferenceWindow::updateTitle()
{
    setWindowTitle(QStringLiteral("视频会议 %1 - %2 人").arg(m_conference).arg(m_members.size() + 1));
}
