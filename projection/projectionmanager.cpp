#include "projection/projectionmanager.h"

#include "core/dplustrack.h"
#include "core/serviceerrors.h"
#include "platform/systemping.h"
#include "projection/cmdthread.h"
#include "projection/projectionlog.h"

#include <QDeadlineTimer>
#include <QDebug>
#include <QRegularExpression>
#include <QTimerEvent>

#include <cstring>

namespace {
// Ticks of the direct attempt by code, and where the attempt by address ends.
constexpr int kLookupTick = 10;
constexpr int kAddressPhaseStart = 100;
constexpr int kTimeoutTick = 117;
// How long the release waits for pings it has interrupted.
constexpr int kPingEndWaitMs = 2000;

// The lookup's text goes to the ping's command line: only an address.
bool isDottedIPv4(const QString& text)
{
    static const QRegularExpression form(R"(^(\d{1,3})\.(\d{1,3})\.(\d{1,3})\.(\d{1,3})$)");
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch()) {
        return false;
    }
    for (int i = 1; i <= 4; ++i) {
        if (match.captured(i).toInt() > 255) {
            return false;
        }
    }
    return true;
}
} // namespace

CProjectionManager::CProjectionManager() = default;

CProjectionManager::~CProjectionManager()
{
    stopStateTimer();
    // No ping may outlive the manager: its answer has nowhere to go, and
    // the clean-up after it may already have begun.
    for (const QPointer<CCmdThread>& thread : qAsConst(m_pings)) {
        if (thread) {
            thread->disconnect(this);
            thread->requestInterruption();
        }
    }
    const QDeadlineTimer deadline(kPingEndWaitMs);
    for (const QPointer<CCmdThread>& thread : qAsConst(m_pings)) {
        if (thread && !thread->wait(deadline)) {
            qCDebug(lcProjection) << "Projection : a ping did not end in time";
            thread->setParent(nullptr); // never destroyed while it runs
        }
    }
    if (m_callback.session) {
        if (m_callback.projecting) {
            qCDebug(lcProjection) << "Stop projection";
            m_callback.session->stopProjection();
        }
        m_callback.session->terminate();
    }
}

bool CProjectionManager::start(const QStringList& codes)
{
    if (codes.isEmpty() || codes.size() > 2 || m_counter != -1) {
        return false;
    }
    m_lastError.clear();
    ++m_attempt;
    m_targets = codes;
    m_codeCount = codes.size();
    m_counter = 0;
    // The library projects by code directly: the session exists from the first start.
    if (!m_callback.session) {
        m_callback.session = IProjectionSession::create(&m_callback);
        m_callback.session->init();
    }
    startSession(0);
    return true;
}

bool CProjectionManager::stop()
{
    if (!m_reportedState) {
        return true;
    }
    m_candidates.clear();
    m_targets.clear();
    if (!m_callback.session) {
        return false;
    }
    qCDebug(lcProjection) << "Stop projection";
    const int result = m_callback.session->stopProjection();
    m_callback.projecting = false;
    return result != 0;
}

void CProjectionManager::startStateTimer()
{
    if (m_timerId == -1) {
        m_timerId = startTimer(kTickMs, Qt::CoarseTimer);
    }
}

void CProjectionManager::stopStateTimer()
{
    if (m_timerId != -1) {
        killTimer(m_timerId);
    }
    m_timerId = -1;
}

void CProjectionManager::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == m_timerId) {
        onStateTick();
    }
}

void CProjectionManager::onStateTick()
{
    if (m_counter == -1) {
        syncState();
        return;
    }
    ++m_counter;
    if (!m_reportedState && (m_callback.projecting || m_callback.successes != m_successesSeen)) {
        m_counter = -1;
        syncState();
        return;
    }
    if (m_counter >= kLookupTick && m_counter < kAddressPhaseStart) {
        m_callback.cancelOrStop();
        m_counter = -1;
        if (!lookupCodes()) {
            return;
        }
    }
    if (m_counter < kTimeoutTick) {
        return;
    }
    m_callback.cancelOrStop();
    m_counter = -1;
    emit projectError(ServiceErrors::kProjectionNotReached, tr("投屏码错误或VPN问题"));
}

int CProjectionManager::startSession(int kind)
{
    if (m_targets.isEmpty() || m_targets.first().isEmpty()) {
        return -1;
    }
    m_callback.cancelOrStop();
    m_successesSeen = m_callback.successes;
    P2PDsClientSettings settings;
    settings.kind = static_cast<uint8_t>(kind);
    for (int i = 0; i < m_targets.size() && i < 2; ++i) {
        const QByteArray entry = m_targets.at(i).toLatin1();
        std::strncpy(settings.entries[i], entry.constData(), sizeof(settings.entries[i]) - 1);
        qCDebug(lcProjection).noquote() << "Projection startProject code or ip:" << m_targets.at(i);
    }
    settings.reserved44 = 0;
    settings.entryCount = std::min(2, static_cast<int>(m_targets.size()));
    settings.reserved56 = 0;
    if (!m_callback.session) {
        return -1;
    }
    qCDebug(lcProjection) << "Projection starting...";
    return m_callback.session->startProjection(settings);
}

void CProjectionManager::failCode(const QString& logLine)
{
    m_candidates.clear();
    m_lastError = tr("投屏码错误");
    emit projectError("1", m_lastError);
    qCDebug(lcProjection).noquote() << logLine;
}

bool CProjectionManager::lookupCodes()
{
    if (m_counter != -1) {
        return false;
    }
    const QStringList codes = m_targets;
    m_candidates.clear();
    m_targets.clear();
    if (!m_callback.session) {
        m_callback.session = IProjectionSession::create(&m_callback);
        m_callback.session->init();
    }
    QStringList firstOctets;
    for (const QString& code : codes) {
        char buffer[20];
        std::memset(buffer, 0, sizeof(buffer));
        const int result = m_callback.session->getIpFromVerfCode(code.toLatin1().constData(), buffer);
        qCDebug(lcProjection) << "Projection : get ip result " << result;
        // The library promises NUL-terminated text; never read past the buffer.
        const QString ip = QString::fromLatin1(buffer, static_cast<int>(strnlen(buffer, sizeof(buffer))));
        qCDebug(lcProjection).noquote() << "Projection get ip from code:" << ip;
        QStringList pieces = ip.split('.');
        const QString first = pieces.takeFirst();
        const QString rest = pieces.join('.');
        if (rest == "0.0.0") {
            failCode("Projection error: code error");
            return false;
        }
        if (!isDottedIPv4(ip)) {
            failCode("Projection error: the code's address is no IPv4 address");
            return false;
        }
        QStringList candidates{ip};
        for (const QString prefix : {"192", "172", "10"}) {
            if (first != prefix) {
                candidates << prefix + "." + rest;
            }
        }
        m_candidates.append(candidates);
        firstOctets << first;
    }
    if (firstOctets.size() == 2 && firstOctets.at(0) != firstOctets.at(1)) {
        failCode("Projection : code error");
        return false;
    }
    qCDebug(lcProjection) << "Projection : code OK";
    m_counter = kAddressPhaseStart;
    startPings();
    return true;
}

void CProjectionManager::startPings()
{
    m_pings.removeAll(nullptr);
    const int attempt = m_attempt;
    for (const QStringList& candidates : qAsConst(m_candidates)) {
        for (const QString& address : candidates) {
            auto* thread = new CCmdThread(this);
            thread->setCommand(CSystemPing::program(), CSystemPing::arguments(1, 1700, address));
            connect(thread, &QThread::finished, thread, &QObject::deleteLater);
            connect(thread, &CCmdThread::success, this,
                    [this, attempt](const QStringList& para) { onPingOK(attempt, para); });
            m_pings.append(thread);
            thread->start(QThread::InheritPriority);
        }
    }
}

void CProjectionManager::onPingOK(int attempt, QStringList para)
{
    qCDebug(lcProjection).noquote() << "Projection : ping OK" << para.join(' ');
    // Only the attempt that sent the ping, and only while it looks for an
    // address: a late answer must not start a projection of its own.
    if (attempt != m_attempt || m_counter < kAddressPhaseStart) {
        qCDebug(lcProjection) << "Projection : ping answer ignored, its attempt is over";
        return;
    }
    const QString address = para.value(para.size() - 1);
    if (m_codeCount <= 1) {
        if (m_targets.isEmpty()) {
            m_targets.append(address);
            startSession(1);
        }
        return;
    }
    if (m_targets.size() >= 2) {
        return;
    }
    m_targets.append(address);
    if (m_targets.size() == 2) {
        startSession(1);
    }
}

void CProjectionManager::syncState()
{
    const unsigned successes = m_callback.successes;
    const bool startedUnseen = successes != m_successesSeen;
    m_successesSeen = successes;
    const bool projecting = m_callback.projecting;
    if (startedUnseen && !projecting && !m_reportedState) {
        // Started and ended between two ticks: both are told.
        m_reportedState = true;
        emit projectStarted();
        CDplusTrack::instance()->track(QStringLiteral("开始投屏(5位码)"));
    }
    if (m_reportedState == projecting) {
        return;
    }
    m_reportedState = projecting;
    if (projecting) {
        emit projectStarted();
        CDplusTrack::instance()->track(QStringLiteral("开始投屏(5位码)"));
    } else {
        emit projectStoped();
        CDplusTrack::instance()->track(QStringLiteral("停止投屏(5位码)"));
    }
}
