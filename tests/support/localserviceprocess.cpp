#include "support/localserviceprocess.h"

#include "support/testenvironment.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QTimer>
#include <QUrlQuery>

#include <cstdlib>

namespace {
QString baseDirectory()
{
    return TestEnvironment::root().isEmpty() ? QDir::tempPath() : TestEnvironment::root();
}
} // namespace

LocalServiceProcess::LocalServiceProcess(const QString& deploymentFile)
    : m_deploymentFile(deploymentFile.isEmpty() ? QStringLiteral(VANTELOR_SOURCE_DIR "/config/local.json")
                                                : deploymentFile)
{
}

LocalServiceProcess::~LocalServiceProcess()
{
    stop();
}

bool LocalServiceProcess::start(const QString& dataDirectory, const QStringList& extraArguments)
{
    stop();
    m_dataDirectory = dataDirectory;
    if (m_dataDirectory.isEmpty()) {
        QByteArray pattern = (baseDirectory() + "/localservice-XXXXXX").toLocal8Bit();
        if (!mkdtemp(pattern.data())) {
            return false;
        }
        m_dataDirectory = QString::fromLocal8Bit(pattern);
    }
    m_stderr.clear();
    m_port = 0;
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.start(TestEnvironment::binary("vantelor-localservice"),
                    QStringList{"--deployment", m_deploymentFile, "--port", "0", "--data", m_dataDirectory,
                                "--exit-with-parent"} +
                        extraArguments);
    if (!m_process.waitForStarted(5000)) {
        return false;
    }
    static const QRegularExpression listening("listening on 127\\.0\\.0\\.1:(\\d+)");
    QByteArray out;
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 10000 && m_process.state() == QProcess::Running) {
        m_process.waitForReadyRead(100);
        out += m_process.readAllStandardOutput();
        m_stderr += m_process.readAllStandardError();
        const QRegularExpressionMatch match = listening.match(QString::fromUtf8(out));
        if (match.hasMatch()) {
            m_port = match.captured(1).toInt();
            return true;
        }
    }
    m_stderr += m_process.readAllStandardError();
    qWarning("vantelor-localservice did not start: %s", m_stderr.constData());
    stop();
    return false;
}

void LocalServiceProcess::stop()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(2000);
        }
        m_stderr += m_process.readAllStandardError();
    }
}

bool LocalServiceProcess::isRunning() const
{
    return m_process.state() == QProcess::Running;
}

QString LocalServiceProcess::origin() const
{
    return QString("http://127.0.0.1:%1").arg(m_port);
}

QString LocalServiceProcess::log()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_stderr += m_process.readAllStandardError();
    }
    return QString::fromUtf8(m_stderr);
}

QString LocalServiceProcess::clientDeploymentFile() const
{
    QFile in(m_deploymentFile);
    if (!in.open(QIODevice::ReadOnly)) {
        return QString();
    }
    QByteArray text = in.readAll();
    const QString base =
        QJsonDocument::fromJson(text).object().value("service").toObject().value("baseUrl").toString();
    text.replace(base.toUtf8(), origin().toUtf8());
    const QString path =
        QString("%1/deployment-%2.json").arg(QFileInfo(m_dataDirectory).absolutePath()).arg(m_port);
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(text) != text.size()) {
        return QString();
    }
    return path;
}

QJsonObject LocalServiceProcess::control(const QByteArray& method, const QString& pathAndQuery,
                                         const QJsonObject& body)
{
    QNetworkAccessManager manager;
    manager.setProxy(QNetworkProxy::NoProxy);
    QNetworkRequest request(QUrl(origin() + pathAndQuery));
    request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
    QNetworkReply* reply = method == "GET"
                               ? manager.get(request)
                               : manager.sendCustomRequest(request, method, QJsonDocument(body).toJson());
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    loop.exec();
    if (!reply->isFinished()) {
        reply->abort();
    }
    const QJsonObject answer = QJsonDocument::fromJson(reply->readAll()).object();
    delete reply;
    if (answer.isEmpty()) {
        return QJsonObject{{"ok", false}, {"error", "no answer from the local service"}};
    }
    return answer;
}

bool LocalServiceProcess::setFault(const QJsonObject& fault)
{
    const QJsonObject answer = control("POST", "/__control/fault", fault);
    if (!answer.value("ok").toBool()) {
        qWarning("setFault: %s", qPrintable(answer.value("error").toString()));
    }
    return answer.value("ok").toBool();
}

bool LocalServiceProcess::clearFaults(const QString& endpoint)
{
    QJsonObject body;
    if (!endpoint.isEmpty()) {
        body.insert("endpoint", endpoint);
    }
    return control("POST", "/__control/fault/clear", body).value("ok").toBool();
}

bool LocalServiceProcess::reset()
{
    return control("POST", "/__control/reset").value("ok").toBool();
}

bool LocalServiceProcess::kick(const QString& phone)
{
    return control("POST", "/__control/kick", QJsonObject{{"phone", phone}}).value("ok").toBool();
}

bool LocalServiceProcess::setClockSkew(qint64 ms)
{
    return control("POST", "/__control/clock", QJsonObject{{"skewMs", double(ms)}}).value("ok").toBool();
}

QString LocalServiceProcess::latestSmsCode(const QString& phone)
{
    QUrlQuery query;
    query.addQueryItem("phone", phone);
    return control("GET", "/__control/sms?" + query.toString(QUrl::FullyEncoded)).value("latest").toString();
}

QJsonArray LocalServiceProcess::requests(const QString& endpoint, qint64 sinceSeq)
{
    QUrlQuery query;
    query.addQueryItem("endpoint", endpoint);
    query.addQueryItem("since", QString::number(sinceSeq));
    return control("GET", "/__control/requests?" + query.toString(QUrl::FullyEncoded))
        .value("requests")
        .toArray();
}

QJsonArray LocalServiceProcess::events()
{
    return control("GET", "/__control/events").value("events").toArray();
}
