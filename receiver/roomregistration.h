#pragma once

// Keeps a receiver registered as a meeting room at the service: registers
// it, renews the record at the pace the service asks for while the receiver
// runs, and registers again when the service forgot it. The room's
// 4-character share code comes from the service.

#include "receiver/roomserviceclient.h"

#include <QObject>
#include <QTimer>

class RoomRegistration : public QObject
{
    Q_OBJECT
public:
    RoomRegistration(const RoomServiceClient::Settings& settings, const QString& name, const QString& address,
                     int port, QObject* parent = nullptr);

    void start();
    QString code() const { return m_code; }

signals:
    void codeChanged(const QString& code);
    // One console line about what happened.
    void message(const QString& text);

private:
    void registerRoom();
    void renew();
    void onAnswer(const RoomServiceClient::Result& result, bool renewal);

    RoomServiceClient m_client;
    QString m_name;
    QString m_address;
    int m_port = 0;
    QString m_code;
    QTimer m_timer;
    int m_renewMs = 10000;
    bool m_failing = false;
};
