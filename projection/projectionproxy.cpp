#include "projection/projectionproxy.h"

#include "projection/projectionlog.h"

#include <QDebug>

void CProjectionProxy::onProjectionSuccess()
{
    qCDebug(lcProjection) << "On Projection success";
    ++successes;
    projecting = true;
}

void CProjectionProxy::onProjectionRejected(int32_t)
{
    qCDebug(lcProjection) << "On Projection rejected";
    if (session) {
        session->cancelProjection();
    }
    projecting = false;
}

void CProjectionProxy::onBusying()
{
    qCDebug(lcProjection) << "On Busying";
    if (session) {
        session->cancelProjection();
    }
    projecting = false;
}

void CProjectionProxy::onProjectionStopped()
{
    qCDebug(lcProjection) << "On Projection stoped";
    projecting = false;
}

void CProjectionProxy::onNoStreamProjectionCommandResponse(int32_t)
{
    qCDebug(lcProjection) << "NoStreamProjectionCommand reponse";
    projecting = false;
}

int CProjectionProxy::cancelOrStop()
{
    if (!session) {
        projecting = false;
        return 0;
    }
    int result = 0;
    if (!projecting) {
        result = session->cancelProjection();
        projecting = false;
        qCDebug(lcProjection) << "Cancel projection";
    } else {
        qCDebug(lcProjection) << "Stop projection";
        result = session->stopProjection();
        projecting = false;
    }
    return result;
}
