#include "core/singlenetworkmanger.h"

#include "core/corelog.h"
#include "platform/tcplowdelay.h"

#include <QDebug>
#include <QNetworkReply>
#include <QTimer>
#include <QUrl>

namespace {
int& timeLimit()
{
    static int ms = CSingleNetworkManger::kTimeLimitMs;
    return ms;
}

QString shownAddress(const QNetworkReply* reply)
{
    // Queries carry keys and tokens: the log gets the address without them.
    return reply->url().toString(QUrl::RemoveQuery | QUrl::RemoveUserInfo);
}

// Gives every reply the time limit and the answer cap when it is created, so
// no caller can forget them.
class BoundedNetworkAccessManager : public QNetworkAccessManager
{
protected:
    QNetworkReply* createRequest(Operation op, const QNetworkRequest& original,
                                 QIODevice* outgoingData) override
    {
        const int limitMs = timeLimit();
        QNetworkRequest request(original);
        if (request.transferTimeout() == 0 || request.transferTimeout() > limitMs) {
            request.setTransferTimeout(limitMs);
        }
        QNetworkReply* reply = QNetworkAccessManager::createRequest(op, request, outgoingData);

        // Silence is caught by the transfer timeout; an answer that keeps
        // trickling in is caught here.
        auto* deadline = new QTimer(reply);
        deadline->setSingleShot(true);
        connect(deadline, &QTimer::timeout, reply, [reply, limitMs] {
            if (reply->isRunning()) {
                qCDebug(lcCore).noquote() << "CSingleNetworkManger: no answer within" << limitMs
                                          << "ms, aborted" << shownAddress(reply);
                reply->abort();
            }
        });
        connect(reply, &QNetworkReply::finished, deadline, &QTimer::stop);
        deadline->start(limitMs);

        const auto capExceeded = [reply](qint64 bytes) {
            if (bytes > CSingleNetworkManger::kMaxAnswerBytes && reply->isRunning()) {
                qCDebug(lcCore).noquote()
                    << "CSingleNetworkManger: answer larger than" << CSingleNetworkManger::kMaxAnswerBytes
                    << "bytes, aborted" << shownAddress(reply);
                reply->abort();
            }
        };
        connect(reply, &QNetworkReply::metaDataChanged, reply, [reply, capExceeded] {
            const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
            if (length.isValid()) {
                capExceeded(length.toLongLong());
            }
        });
        connect(reply, &QNetworkReply::downloadProgress, reply,
                [capExceeded](qint64 received, qint64) { capExceeded(received); });

        // Once an answer arrives its connection is up (and kept alive for the
        // next request): from then on a request's body leaves with its header.
        const QString scheme = request.url().scheme();
        if (scheme == QLatin1String("http") || scheme == QLatin1String("https")) {
            connect(reply, &QNetworkReply::metaDataChanged, reply, [reply] {
                const QUrl url = reply->url();
                enableLowDelayTowards(url.host(),
                                      quint16(url.port(url.scheme() == QLatin1String("https") ? 443 : 80)));
            });
        }
        return reply;
    }
};
} // namespace

int CSingleNetworkManger::timeLimitMs()
{
    return timeLimit();
}

void CSingleNetworkManger::setTimeLimitForTesting(int ms)
{
    timeLimit() = ms > 0 ? ms : kTimeLimitMs;
}

CSingleNetworkManger::CSingleNetworkManger() : m_manager(std::make_unique<BoundedNetworkAccessManager>())
{
    qCDebug(lcCore) << "CSingleNetworkManger: QNetworkAccessManager inited.";
}

CSingleNetworkManger::~CSingleNetworkManger() = default;
