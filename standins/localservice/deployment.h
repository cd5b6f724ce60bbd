#pragma once

#include <QMap>
#include <QString>

// The deployment file the client was built with (config/local.json and its
// siblings), read at run time: the service answers at its paths and checks the
// client with its keys.
struct Deployment
{
    QString baseUrl;
    QString basePath; // path part of baseUrl, prepended to every service path
    QString hmacSecret;
    QString apiKey;
    QString appCode;
    QString keyVersion;
    QString signatureVersionA;
    QString signatureVersionB;
    QString contentType;
    QMap<QString, QString> paths; // role ("tokenFromAuthCode", ...) -> path
    QString printInfoPath;
    QString printAppId;
    QString rsaPublicKeyPem;
    QString conferenceDefaultAppId;
    QString conferenceDefaultAppKey;
    QString weatherApiKey;
    QString analyticsAppKey;

    // False with a message naming the missing or malformed key.
    bool load(const QString& file, QString& error);
};
