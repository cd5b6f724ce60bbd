#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>

class QNetworkReply;

// Finds the PC's city from its public IP address; falls back to the default
// city after one retry.
class IPLocate : public QObject
{
    Q_OBJECT
public:
    explicit IPLocate(QObject* parent = nullptr);
    ~IPLocate() override;

    bool startReq();
    QString cityName() const { return m_cityName; }
    bool isBusy() const { return m_busy; }

    static QString defaultCity();
    // The city of a location answer: the JSON object from its first "{" to
    // its last "}"; empty when there is none.
    static QString cityFromAnswer(const QByteArray& body);

signals:
    void cityNameReady(QString cityName, bool bDefault);

private slots:
    void onFinished();
    void onDefault();

private:
    void releaseReply();

    QPointer<QNetworkReply> m_reply;
    QString m_cityName;
    QString m_url;
    QString m_key;
    int m_attempts = 0;
    bool m_busy = false;
};
