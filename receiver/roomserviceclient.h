#pragma once

// The meeting-room calls of the service, as receivers and the conference
// process make them: register and renew a room, look one up by its
// 4-character share code. Every call carries the conference app credentials
// of the deployment (headers "X-Conference-App-Id", "X-Conference-App-Key").

#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QObject>
#include <QString>

#include <functional>

class RoomServiceClient : public QObject
{
    Q_OBJECT
public:
    struct Settings
    {
        QString serviceOrigin; // "http://127.0.0.1:18480"
        QString appId;
        QString appKey;

        // An INI file with "serviceOrigin", "appId" and "appKey"; false with a
        // plain reason when the file or a value is missing.
        static bool load(const QString& file, Settings& settings, QString& problem);
    };

    struct Result
    {
        bool reached = false; // the service answered with its answer envelope
        bool success = false; // ... and "success" was true with a "content" object
        QString errorCode;
        QString errorMsg;
        QJsonObject content;
        QString problem; // when not reached: why, for the log
    };
    using Done = std::function<void(const Result&)>;

    RoomServiceClient(const Settings& settings, QObject* parent = nullptr);

    void setTimeout(int ms) { m_timeoutMs = ms; }
    void registerRoom(const QString& name, const QString& address, int port, const Done& done);
    void renew(const QString& code, const Done& done);
    void lookup(const QString& code, const Done& done);

private:
    void call(const QByteArray& method, const QString& pathAndQuery, const QJsonObject& body,
              const Done& done);

    Settings m_settings;
    QNetworkAccessManager m_network;
    int m_timeoutMs = 5000;
};
