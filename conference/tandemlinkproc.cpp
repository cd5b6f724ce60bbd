#include "conference/tandemlinkproc.h"
#include "core/logtext.h"
#include "platform/jsontext.h"

#include "conference/conferencelog.h"
#include "conference/ipcserver.h"
#include "conference/tandemlinkapi.h"

#include <QDebug>
#include <QJsonDocument>

#include <utility>

namespace {
constexpr int kTypeHeartbeat = 10000;
constexpr int kTypeReply = 10001;
constexpr int kTypeNotification = 10002;
constexpr int kNotificationFirst = 81000;
constexpr int kNotificationLast = 90310;
constexpr int kCodeShareInterrupted = 81001;
constexpr int kCloseWaitMs = 1000;
// errCode of a share start whose process ended before it answered.
const char* const kCodeProcessEnded = "1";
} // namespace

CTandemlinkProc::CTandemlinkProc() : m_ipc(new CIPCServer(this))
{
    connect(m_ipc, &CIPCServer::newDataReceived, this, &CTandemlinkProc::onNewDataReceived);
    connect(m_ipc, &CIPCServer::heartBeatFail, this, &CTandemlinkProc::onHeartBeatFailed);
}

CTandemlinkProc::~CTandemlinkProc()
{
    closeProcess();
    m_ipc->release();
}

bool CTandemlinkProc::exeCmd(const QJsonObject& cmd)
{
    qCDebug(lcConference) << "Tandemlink-CTandemlinkProc: exeCmd";
    if (cmd.isEmpty()) {
        m_lastError = "invalid cmd";
        return false;
    }
    if (!m_ipc->init()) {
        m_lastError = "can't init tandemlink local tcp server";
        return false;
    }
    if (!createProcess()) {
        m_lastError = "can't init tandemlink sdk process";
        return false;
    }
    if (m_process->state() == QProcess::NotRunning) {
        m_process->start(QIODevice::ReadWrite);
        // Only this process may talk on the server.
        m_ipc->setPeerProcessId(m_process->processId());
    }
    if (!m_ipc->sendData(QJsonDocument(cmd).toJson(QJsonDocument::Indented))) {
        return false;
    }
    const QString operation = cmd.value("operation").toString();
    if (operation == "sharestart") {
        m_shareStartPending = true;
    } else if (operation == "conferencestart") {
        m_meetingStartPending = true;
    }
    return true;
}

bool CTandemlinkProc::createProcess()
{
    if (m_process) {
        return true;
    }
    CTandemlinkAPI& api = *CTandemlinkAPI::instance();
    const QString appId = api.clientAppId();
    if (m_process) {
        // Made by a command that came while the configuration was fetched.
        return true;
    }
    const QJsonObject start{
        {"operation", "setservername"}, {"clientappid", appId}, {"servername", api.fullServerName()}};
    const QByteArray text = QJsonDocument(start).toJson(QJsonDocument::Indented);
    qCDebug(lcConference).noquote() << "Tandemlink-CTandemlinkProc: cmd when starting: " +
                                           QString::fromUtf8(text);

    m_process = new QProcess(this);
    m_process->setProgram(api.sdkPath());
    m_process->setArguments({QString::fromUtf8(text)});
    // The process speaks over the socket only; its own output goes to ours
    // rather than piling up unread in pipe buffers.
    m_process->setProcessChannelMode(QProcess::ForwardedChannels);
    connect(m_process, &QProcess::started, this, &CTandemlinkProc::onProcStarted);
    connect(m_process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
            &CTandemlinkProc::onProcFinished);
    connect(m_process, &QProcess::errorOccurred, this, &CTandemlinkProc::onProcError);
    connect(m_process, &QProcess::stateChanged, this, &CTandemlinkProc::onProcStateChanged);
    return true;
}

void CTandemlinkProc::closeProcess()
{
    if (!m_process) {
        return;
    }
    qCDebug(lcConference) << "Tandemlink-CTandemlinkProc: closing process...";
    QPointer<QProcess> process = m_process;
    m_process = nullptr;
    if (process->state() != QProcess::NotRunning && !process->waitForFinished(kCloseWaitMs) && process) {
        // Ended here rather than in the destructor, so finished is reported
        // like any other end.
        process->kill();
        process->waitForFinished(kCloseWaitMs);
    }
    delete process;
    qCDebug(lcConference) << "Tandemlink-CTandemlinkProc: process closed.";
}

void CTandemlinkProc::onNewDataReceived()
{
    for (const QByteArray& message : m_ipc->takeReceived()) {
        parseMessage(message);
    }
}

void CTandemlinkProc::parseMessage(const QByteArray& message)
{
    qCDebug(lcConference).noquote() << "Tandemlink-CTandemlinkProc: parse received data: " +
                                           LogText::excerpt(QString::fromUtf8(message));
    const QJsonObject object = CJsonText::parse(message).object();
    if (object.isEmpty()) {
        return;
    }
    switch (object.value("type").toInt()) {
    case kTypeHeartbeat:
        break;
    case kTypeReply:
        handleReply(object.value("data").toObject());
        break;
    case kTypeNotification:
        handleNotification(object.value("data").toObject());
        break;
    default:
        m_lastError = "TandemlinkProc:  SDK unknown error";
        break;
    }
}

void CTandemlinkProc::handleReply(const QJsonObject& data)
{
    if (data.isEmpty()) {
        return;
    }
    const QString operation = data.value("operation").toString();
    const bool success = data.value("success").toBool();
    const QString errorMsg = data.value("errorMsg").toString();
    const int errorCode = data.value("errorCode").toInt();

    if (operation == "sharestart") {
        m_shareStartPending = false;
        if (success) {
            emit shareStarted();
        } else {
            m_lastError = "TandemlinkProc: SDK can't start share";
            emit shareError(QString::number(errorCode), errorMsg);
        }
    } else if (operation == "sharestop") {
        if (success) {
            emit shareStoped();
        } else {
            m_lastError = "TandemlinkProc: SDK can't stop share";
            emit shareStopFailed(QString::number(errorCode), errorMsg);
        }
    } else if (operation == "conferencestart") {
        m_meetingStartPending = false;
        if (success) {
            emit meetingStarted();
        } else {
            m_lastError = "TandemlinkProc: SDK can't start meeting";
            emit meetingError(errorMsg);
        }
    } else if (operation == "conferencedisconnect") {
        if (success) {
            emit meetingStoped();
        } else {
            m_lastError = "TandemlinkProc: SDK can't stop meeting";
            emit meetingStopFailed(errorMsg);
        }
    }
}

void CTandemlinkProc::handleNotification(const QJsonObject& data)
{
    if (data.isEmpty()) {
        return;
    }
    const QString module = data.value("module").toString();
    const QString errorMsg = data.value("errorMsg").toString();
    const int errorCode = data.value("errorCode").toInt();
    if (errorCode < kNotificationFirst || errorCode > kNotificationLast) {
        return;
    }
    if (module == "projection") {
        QString message = errorMsg;
        if (errorCode == kCodeShareInterrupted) {
            if (errorMsg == "bye") {
                message = tr("投屏已停止,因为被其他人抢投");
            } else if (errorMsg == "ICE state failed") {
                message = tr("网络不稳定导致投屏已停止");
            }
        }
        emit shareError(QString::number(errorCode), message);
    } else if (module == "conference") {
        emit meetingError(errorMsg);
    }
}

void CTandemlinkProc::onHeartBeatFailed()
{
    qCDebug(lcConference) << "Tandemlink-CTandemlinkProc: on heart beat fail.";
    if (!m_process) {
        // No process ever came (it could not be started): drop the server and
        // the commands queued for it, which were reported as unanswered long
        // ago and must not reach a process started later.
        m_ipc->release();
        m_shareStartPending = false;
        m_meetingStartPending = false;
        return;
    }
    closeProcess();
}

void CTandemlinkProc::onProcStarted()
{
    m_ipc->init();
    qCDebug(lcConference) << "Tandemlink-CTandemlinkProc: on proc started.";
}

void CTandemlinkProc::onProcFinished(int exitCode, QProcess::ExitStatus exitStatus)
{
    qCDebug(lcConference) << "Tandemlink-CTandemlinkProc: process ended, exit code" << exitCode << exitStatus;
    // A start still waiting for its answer failed; what was running stopped.
    const bool shareStartFailed = std::exchange(m_shareStartPending, false);
    const bool meetingStartFailed = std::exchange(m_meetingStartPending, false);
    if (shareStartFailed) {
        emit shareError(kCodeProcessEnded, tr("会议程序已退出,投屏未能开始"));
    } else {
        emit shareStoped();
    }
    if (meetingStartFailed) {
        emit meetingError(tr("会议程序已退出,未能加入会议"));
    } else {
        emit meetingStoped();
    }
    m_ipc->release();
    qCDebug(lcConference) << "Tandemlink-CTandemlinkProc: on proc finished.";
}

void CTandemlinkProc::onProcError(QProcess::ProcessError error)
{
    qCDebug(lcConference) << "Tandemlink-CTandemlinkProc: on proc error: " << error;
    auto* process = qobject_cast<QProcess*>(sender());
    if (process) {
        process->deleteLater();
    }
    if (process == m_process) {
        m_process = nullptr;
    }
}

void CTandemlinkProc::onProcStateChanged(QProcess::ProcessState newState)
{
    Q_UNUSED(newState)
}
