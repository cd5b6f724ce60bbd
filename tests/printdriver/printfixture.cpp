#include "printfixture.h"

#include "support/localserviceprocess.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QSignalSpy>

QString PrintFixture::installBackend(const QString& dir, const LocalServiceProcess& service,
                                     const QMap<QString, int>& settings)
{
    QDir().mkpath(dir);
    const QString backend = dir + "/vantelor";
    QFile::remove(backend);
    if (!QFile::copy(VANTELOR_CUPS_BACKEND, backend)) {
        return QString();
    }
    QFile::setPermissions(backend, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                                       QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
    QMap<QString, int> values{
        {"connectTimeoutMs", 1000}, {"printInfoTimeoutMs", 12000}, {"uploadTimeoutMs", 1500}, {"waitMs", 0}};
    for (auto it = settings.begin(); it != settings.end(); ++it) {
        values.insert(it.key(), it.value());
    }
    QString text = "[General]\nprintService=" + service.origin() + "\n";
    for (auto it = values.begin(); it != values.end(); ++it) {
        text += QString("%1=%2\n").arg(it.key()).arg(it.value());
    }
    QFile ini(dir + "/vantelor.ini");
    if (!ini.open(QIODevice::WriteOnly) || ini.write(text.toUtf8()) < 0) {
        return QString();
    }
    ini.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    return backend;
}

bool PrintFixture::writePdf(const QString& path, int pages)
{
    QPdfWriter writer(path);
    writer.setTitle("Vantelor test page");
    writer.setPageSize(QPageSize(QPageSize::A4));
    QPainter painter(&writer);
    if (!painter.isActive()) {
        return false;
    }
    QFont font = painter.font();
    font.setPointSize(28);
    painter.setFont(font);
    for (int page = 1; page <= pages; ++page) {
        if (page > 1) {
            writer.newPage();
        }
        painter.drawText(QRect(0, 0, writer.width(), writer.height() / 4), Qt::AlignCenter,
                         QString("Vantelor %1 / %2").arg(page).arg(pages));
    }
    return painter.end();
}

QByteArray PrintFixture::printInfoOf(LocalServiceProcess& service)
{
    const QByteArray accountId = "10001";
    const QByteArray appId = "vantelor-print";
    const QByteArray sign =
        QCryptographicHash::hash("accountId=" + accountId + "appId=" + appId, QCryptographicHash::Md5)
            .toHex()
            .toUpper();
    QNetworkAccessManager manager;
    QNetworkRequest request(QUrl(service.origin() + "/print/online/info"));
    request.setHeader(QNetworkRequest::ContentTypeHeader, "application/x-www-form-urlencoded");
    QNetworkReply* reply =
        manager.post(request, "accountId=" + accountId + "&appId=" + appId + "&signPc=" + sign);
    QSignalSpy finished(reply, &QNetworkReply::finished);
    finished.wait(10000);
    const QJsonObject data = QJsonDocument::fromJson(reply->readAll())
                                 .object()
                                 .value("content")
                                 .toObject()
                                 .value("data")
                                 .toObject();
    delete reply;
    return data.isEmpty() ? QByteArray() : QJsonDocument(data).toJson();
}

QJsonArray PrintFixture::storedJobs(LocalServiceProcess& service)
{
    return service.control("GET", "/__control/printjobs").value("jobs").toArray();
}

QStringList PrintFixture::Run::lines(const QString& kind) const
{
    QStringList texts;
    const QString prefix = kind + ": ";
    for (const QString& line : status.split('\n')) {
        if (line.startsWith(prefix)) {
            texts << line.mid(prefix.size());
        }
    }
    return texts;
}

PrintFixture::Run PrintFixture::runJob(const QString& backend, const QString& jobId, const QString& user,
                                       const QByteArray& pdf, int timeoutMs)
{
    qRegisterMetaType<QProcess::ExitStatus>();
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DEVICE_URI", "vantelor://cloud");
    environment.insert("PRINTER", "Vantelor");
    environment.insert("CONTENT_TYPE", "application/pdf");
    environment.insert("FINAL_CONTENT_TYPE", "application/pdf");
    process.setProcessEnvironment(environment);
    QSignalSpy finished(&process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished));
    process.start(backend, {jobId, user, "report.pdf", "1", "PageSize=A4"});
    Run run;
    if (!process.waitForStarted(5000)) {
        run.status = process.errorString();
        return run;
    }
    process.write(pdf);
    process.closeWriteChannel();
    if (!finished.wait(timeoutMs)) {
        process.kill();
        process.waitForFinished(2000);
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.status = QString::fromUtf8(process.readAllStandardError());
    return run;
}
