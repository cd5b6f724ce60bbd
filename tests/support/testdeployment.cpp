#include "support/testdeployment.h"

#include "core/deployment.h"
#include "core/deviceidentity.h"

#include <QFile>
#include <QHostAddress>
#include <QJsonDocument>
#include <QProcess>
#include <QtDebug>

namespace {
QJsonObject moved(const QJsonObject& object, const QString& from, const QString& to)
{
    QJsonObject out;
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (it.value().isObject()) {
            out.insert(it.key(), moved(it.value().toObject(), from, to));
        } else if (it.value().isString()) {
            out.insert(it.key(), it.value().toString().replace(from, to));
        } else {
            out.insert(it.key(), it.value());
        }
    }
    return out;
}
} // namespace

QJsonObject TestDeployment::local()
{
    QFile file(QStringLiteral(VANTELOR_SOURCE_DIR) + "/config/local.json");
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning() << "cannot read" << file.fileName();
        return QJsonObject();
    }
    return QJsonDocument::fromJson(file.readAll()).object();
}

QJsonObject TestDeployment::local(quint16 port)
{
    return moved(local(), "127.0.0.1:18480", "127.0.0.1:" + QString::number(port));
}

bool TestDeployment::useLocalService(quint16 port)
{
    QString error;
    if (!CDeployment::loadForTesting(local(port), &error)) {
        qWarning().noquote() << "deployment refused:" << error;
        return false;
    }
    return true;
}

QString TestDeployment::devPrivateKeyPath()
{
    return QStringLiteral(VANTELOR_SOURCE_DIR) + "/standins/localservice/dev-private-key.pem";
}

QByteArray TestDeployment::openssl(const QStringList& arguments, const QByteArray& input)
{
    QProcess process;
    process.start("openssl", arguments);
    if (!process.waitForStarted(10000)) {
        qWarning() << "openssl did not start";
        return QByteArray();
    }
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        qWarning().noquote() << "openssl" << arguments.join(' ')
                             << "failed:" << process.readAllStandardError();
        return QByteArray();
    }
    return process.readAllStandardOutput();
}

void TestDeployment::useFixedDeviceIdentity()
{
    CDeviceIdentity::Sources sources;
    sources.activeInterfaces = [] {
        CDeviceIdentity::Interface ethernet;
        ethernet.humanReadableName = "Ethernet";
        ethernet.hardwareAddress = "3C:7C:3F:12:34:56";
        ethernet.addresses = {QHostAddress("192.168.1.20")};
        return QList<CDeviceIdentity::Interface>{ethernet};
    };
    CDeviceIdentity::setSourcesForTesting(sources);
}
