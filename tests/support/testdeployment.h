#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QStringList>

// Deployments for test fixtures that run the local service on a port of their own.
namespace TestDeployment {
// The shipped config/local.json.
QJsonObject local();
// config/local.json with every origin moved from port 18480 to port.
QJsonObject local(quint16 port);
// Loads local(port) through the client's test seam; false when it is refused.
bool useLocalService(quint16 port);
// One Ethernet adapter, 192.168.1.20 with MAC 3C:7C:3F:12:34:56, as the
// client's device identity, so signed calls carry known device headers.
void useFixedDeviceIdentity();
// Path of the development private key matching local.json's public key.
QString devPrivateKeyPath();
// Runs the openssl command line (an implementation independent of ours):
// input on stdin, stdout returned; empty and a warning when it fails.
QByteArray openssl(const QStringList& arguments, const QByteArray& input = QByteArray());
} // namespace TestDeployment
