#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QNetworkReply>
#include <QString>

// A service answer envelope after the common handling: {"success", "content",
// "errorCode", "errorMsg", "timeOffest"}. Made by CSignedRequest::readAnswer.
struct CServiceAnswer
{
    // False only for a null reply: there was nothing to read.
    bool received = false;
    bool success = false;
    QJsonValue content;
    // The answer's "errorCode" text, empty when absent.
    QString errorCode;
    // The answer's "errorMsg" when non-empty, otherwise the network-error text
    // when the transfer failed, otherwise empty (the caller keeps its own).
    QString errorMsg;
    QJsonObject object;
    QNetworkReply::NetworkError networkError = QNetworkReply::NoError;
    // The reply had not finished when it was read (a time limit ran out).
    bool unfinished = false;
    // A failed answer carried a non-zero "timeOffest", which is now the
    // client's offset: the calls that retry may send once more.
    bool timeOffsetChanged = false;

    // How applyErrorTo takes the answer's error pair.
    enum class Take
    {
        // The manager-side part of the common handling: on failure, errorMsg
        // replaces the caller's text when non-empty and errorCode always
        // replaces the caller's code; a success leaves both alone.
        Failure,
        // Both as they came, an empty errorMsg too, for a caller that has
        // judged the call failed itself: the sign-in record holds the pair of
        // the last failed step (a ticket answer without a ticket failed too).
        AsItCame,
    };
    // Nothing for an answer not received.
    void applyErrorTo(QString& callerErrorCode, QString& callerErrorMsg, Take take = Take::Failure) const;
};
