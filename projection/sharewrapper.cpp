#include "projection/sharewrapper.h"

#include "conference/sharemanager.h"
#include "projection/projectionlog.h"
#include "projection/projectionmanager.h"

#include <QDebug>

CShareWrapper::CShareWrapper()
{
    CProjectionManager* projection = CProjectionManager::instance().get();
    connect(projection, &CProjectionManager::projectStarted, this, &CShareWrapper::onProjectionStarted);
    connect(projection, &CProjectionManager::projectStoped, this, &CShareWrapper::onProjectionStoped);
    connect(projection, &CProjectionManager::projectError, this, &CShareWrapper::onProjectionError);
    CShareManager* share = CShareManager::instance().get();
    connect(share, &CShareManager::shareManagerStarted, this, &CShareWrapper::onShareManagerStarted);
    connect(share, &CShareManager::shareManagerStoped, this, &CShareWrapper::onShareManagerStoped);
    connect(share, &CShareManager::shareManagerError, this, &CShareWrapper::onShareManagerError);
    connect(share, &CShareManager::shareManagerStopFailed, this, &CShareWrapper::onShareManagerStopFailed);
}

CShareWrapper::~CShareWrapper()
{
    CShareManager::instance(true);
    CProjectionManager::instance(true);
}

bool CShareWrapper::start(const QStringList& codes)
{
    m_lastError.clear();
    auto& projection = *CProjectionManager::instance();
    auto& share = *CShareManager::instance();
    if (projection.isProjecting() || share.isSharing()) {
        return false;
    }
    QStringList shortCodes;
    QStringList longCodes;
    for (const QString& code : codes) {
        if (code.size() == 4) {
            shortCodes << code;
        } else if (code.size() == 5) {
            longCodes << code;
        }
    }
    if (codes.isEmpty() || codes.size() > 2 || shortCodes.size() + longCodes.size() != codes.size()) {
        return false;
    }
    if (longCodes.isEmpty()) {
        if (shortCodes.size() == 2 && shortCodes.at(0) != shortCodes.at(1)) {
            return false;
        }
        m_state = StartingShare;
        return share.start(codes);
    }
    if (shortCodes.isEmpty()) {
        m_state = StartingProjection;
        const bool started = projection.start(codes);
        m_lastError = projection.lastError();
        return started;
    }
    m_state = StartingBoth;
    // A half refused at once is that half's error: the other half's outcome
    // still decides what is announced.
    if (!share.start(shortCodes)) {
        handle(ShareError, QString(), tr("未知原因导致无法启动投屏"));
    }
    const bool projectionStarted = projection.start(longCodes);
    m_lastError = projection.lastError();
    if (!projectionStarted) {
        handle(ProjectionError, QString(),
               m_lastError.isEmpty() ? tr("未知原因导致无法启动投屏") : m_lastError);
    }
    return true;
}

bool CShareWrapper::stop()
{
    CProjectionManager::instance()->stop();
    CShareManager::instance()->stop();
    return true;
}

bool CShareWrapper::isSharing() const
{
    return CProjectionManager::instance()->isProjecting() || CShareManager::instance()->isSharing();
}

CShareWrapper::Step CShareWrapper::transition(State state, Event event, bool shareOn, bool projecting)
{
    if (event == ShareStopFailed) {
        return {state, EmitError};
    }
    if (state == StartingBoth) {
        switch (event) {
        case ProjectionStarted:
            return shareOn ? Step{RunningBoth, EmitStarted} : Step{state, NoOutput};
        case ShareStarted:
            return projecting ? Step{RunningBoth, EmitStarted} : Step{state, NoOutput};
        case ProjectionError:
            return shareOn ? Step{Running, EmitStarted} : Step{StartingShare, NoOutput};
        case ShareError:
            return projecting ? Step{Running, EmitStarted} : Step{StartingProjection, NoOutput};
        case ProjectionStopped:
            return {StartingShare, NoOutput};
        case ShareStopped:
            return {StartingProjection, NoOutput};
        case ShareStopFailed:
            break;
        }
    }
    if (state == RunningBoth) {
        switch (event) {
        case ProjectionStarted:
        case ShareStarted:
            return {state, NoOutput};
        case ProjectionError:
        case ShareError:
            return {Running, NoOutput};
        case ProjectionStopped:
            return shareOn ? Step{Running, StopShare} : Step{Idle, EmitStopped};
        case ShareStopped:
            return projecting ? Step{Running, StopProjection} : Step{Idle, EmitStopped};
        case ShareStopFailed:
            break;
        }
    }
    switch (event) {
    case ProjectionStarted:
    case ShareStarted:
        return {Running, EmitStarted};
    case ProjectionError:
    case ShareError:
        return {Idle, EmitError};
    case ProjectionStopped:
    case ShareStopped:
    case ShareStopFailed:
        break;
    }
    return {Idle, EmitStopped};
}

void CShareWrapper::handle(Event event, const QString& errCode, const QString& errMsg)
{
    const Step step = transition(m_state, event, CShareManager::instance()->isSharing(),
                                 CProjectionManager::instance()->isProjecting());
    qCDebug(lcProjection) << "CShareWrapper: state" << m_state << "event" << event << "->" << step.next;
    m_state = step.next;
    switch (step.output) {
    case NoOutput:
        break;
    case EmitStarted:
        emit shareStarted();
        break;
    case EmitStopped:
        emit shareStoped();
        break;
    case EmitError:
        emit shareError(errCode, errMsg);
        break;
    case StopShare:
        CShareManager::instance()->stop();
        break;
    case StopProjection:
        CProjectionManager::instance()->stop();
        break;
    }
}

void CShareWrapper::onProjectionStarted()
{
    handle(ProjectionStarted);
}

void CShareWrapper::onProjectionStoped()
{
    handle(ProjectionStopped);
}

void CShareWrapper::onProjectionError(QString errCode, QString errMsg)
{
    handle(ProjectionError, errCode, errMsg);
}

void CShareWrapper::onShareManagerStarted()
{
    handle(ShareStarted);
}

void CShareWrapper::onShareManagerStoped()
{
    handle(ShareStopped);
}

void CShareWrapper::onShareManagerError(QString errCode, QString errMsg)
{
    handle(ShareError, errCode, errMsg);
}

void CShareWrapper::onShareManagerStopFailed(QString errCode, QString errMsg)
{
    handle(ShareStopFailed, errCode, errMsg);
}
