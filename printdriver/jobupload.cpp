#include "printdriver/jobupload.h"
#include "platform/jsontext.h"

#include <QEventLoop>
#include <QHttpMultiPart>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>

namespace {
QHttpPart field(const QByteArray& name, const QByteArray& value,
                const QByteArray& contentType = "text/plain; charset=utf-8")
{
    QHttpPart part;
    part.setHeader(QNetworkRequest::ContentDispositionHeader, "form-data; name=\"" + name + "\"");
    part.setHeader(QNetworkRequest::ContentTypeHeader, contentType);
    part.setBody(value);
    return part;
}
} // namespace

JobUpload::Outcome JobUpload::send(const QUrl& origin, const Job& job, int timeoutMs, QString& message)
{
    QNetworkAccessManager manager;
    QNetworkRequest request(origin.resolved(QUrl(kPath)));
    request.setRawHeader("Accept", "application/json");
    request.setTransferTimeout(timeoutMs);

    auto* multi = new QHttpMultiPart(QHttpMultiPart::FormDataType);
    multi->append(field("printInfo", job.printInfo, "application/json; charset=utf-8"));
    multi->append(field("jobKey", job.key.toUtf8()));
    multi->append(field("title", job.title.toUtf8()));
    multi->append(field("user", job.user.toUtf8()));
    multi->append(field("copies", QByteArray::number(job.copies)));
    multi->append(field("options", job.options.toUtf8()));
    QHttpPart file;
    file.setHeader(QNetworkRequest::ContentDispositionHeader,
                   "form-data; name=\"file\"; filename=\"job.pdf\"");
    file.setHeader(QNetworkRequest::ContentTypeHeader, "application/pdf");
    file.setBody(job.pdf);
    multi->append(file);

    QNetworkReply* reply = manager.post(request, multi);
    multi->setParent(reply);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    // The transfer timeout counts idle time only; this bounds the whole call.
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    if (!reply->isFinished()) {
        loop.exec();
    }
    if (!reply->isFinished()) {
        reply->abort();
        delete reply;
        message = QString("no answer within %1 ms").arg(timeoutMs);
        return Outcome::Unavailable;
    }
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QByteArray body = reply->readAll();
    const QNetworkReply::NetworkError error = reply->error();
    const QString errorText = reply->errorString();
    delete reply;

    const QJsonObject answer = CJsonText::parse(body).object();
    const bool envelope = answer.contains("success");
    if (status == 0 || status >= 500 || (!envelope && error != QNetworkReply::NoError)) {
        // Not reached, overloaded or broken: another attempt may succeed.
        if (status >= 400 && status < 500) {
            message = QString("HTTP %1").arg(status);
            return Outcome::Refused;
        }
        message = status ? QString("HTTP %1").arg(status) : errorText;
        return Outcome::Unavailable;
    }
    if (!envelope) {
        message = QString("the answer is not the service's (HTTP %1)").arg(status);
        return Outcome::Unavailable;
    }
    if (answer.value("success").toBool()) {
        message = answer.value("content").toObject().value("jobId").toVariant().toString();
        return Outcome::Stored;
    }
    message = answer.value("errorMsg").toString();
    if (message.isEmpty()) {
        message = QString("error %1").arg(answer.value("errorCode").toVariant().toString());
    }
    return Outcome::Refused;
}
