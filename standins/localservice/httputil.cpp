#include "standins/localservice/httputil.h"

#include <QJsonDocument>
#include <QUrl>
#include <QUrlQuery>

QString HttpUtil::origin(const httplib::Request& req)
{
    const QString host = QString::fromStdString(req.get_header_value("Host"));
    return "http://" + (host.isEmpty() ? QString("127.0.0.1") : host);
}

QString HttpUtil::query(const httplib::Request& req, const QString& key)
{
    const QByteArray target = QByteArray::fromStdString(req.target);
    const int mark = target.indexOf('?');
    if (mark < 0) {
        return QString();
    }
    const QUrlQuery items(QString::fromUtf8(target.mid(mark + 1)));
    return items.queryItemValue(key, QUrl::FullyDecoded);
}

QByteArray HttpUtil::body(const httplib::Request& req)
{
    return QByteArray(req.body.data(), int(req.body.size()));
}

QJsonObject HttpUtil::headers(const httplib::Request& req)
{
    QJsonObject all;
    for (const auto& h : req.headers) {
        all.insert(QString::fromStdString(h.first).toLower(), QString::fromStdString(h.second));
    }
    return all;
}

QByteArray HttpUtil::header(const httplib::Request& req, const char* name)
{
    return QByteArray::fromStdString(req.get_header_value(name));
}

void HttpUtil::send(httplib::Response& res, const QByteArray& body, const char* contentType, int status)
{
    res.status = status;
    res.set_content(body.constData(), size_t(body.size()), contentType);
}

void HttpUtil::sendJson(httplib::Response& res, const QByteArray& json, int status)
{
    send(res, json, "application/json; charset=utf-8", status);
}

void HttpUtil::sendJson(httplib::Response& res, const QJsonObject& json, int status)
{
    sendJson(res, QJsonDocument(json).toJson(QJsonDocument::Compact), status);
}

QString HttpUtil::htmlEscape(const QString& text)
{
    return text.toHtmlEscaped();
}

std::string HttpUtil::routePattern(const QString& path)
{
    static const QString special = ".^$|()[]{}*+?\\";
    QString escaped;
    for (const QChar c : path) {
        if (special.contains(c)) {
            escaped += '\\';
        }
        escaped += c;
    }
    return escaped.toStdString();
}
