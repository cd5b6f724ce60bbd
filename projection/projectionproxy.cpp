#include "projection/projectionproxy.h"

#include <QDebug>

void CProjectionProxy::onProjectionSuccess()
{
    qDebug() << "On Projection success";
    ++successes;
    projecting = true;
}

void CProjectionProxy::onProjectionRejected(int32_t)
{
    qDebug() << "On Projection rejected";
    if (session) {
        session->cancelProjection();
    }
    projecting = false;
}

void CProjectionProxy::onBusying()
{
    qDebug() << "On Busying";
    if (session) {
        session->cancelProjection();
    }
    projecting = false;
}

void CProjectionProxy::onProjectionStopped()
{
    qDebug() << "On Projection stoped";
    projecting = false;
}

void CProjectionProxy::onNoStreamProjectionCommandResponse(int32_t)
{
    qDebug() << "NoStreamProjectionCommand reponse";
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
        qDebug() << "Cancel projection";
    } else {
        qDebug() << "Stop projection";
        result = session->stopProjection();
        projecting = false;
    }
    return result;
}
