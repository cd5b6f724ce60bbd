#include "core/singlenetworkmanger.h"

#include <QDebug>

CSingleNetworkManger::CSingleNetworkManger() : m_manager(std::make_unique<QNetworkAccessManager>())
{
    qDebug() << "CSingleNetworkManger: QNetworkAccessManager inited.";
}

CSingleNetworkManger::~CSingleNetworkManger() = default;
