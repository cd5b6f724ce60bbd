#pragma once

#include "standins/localservice/answer.h"
#include "standins/localservice/formbody.h"
#include "standins/localservice/signedcalls.h"

#include <httplib.h>

class LocalService;

// The signed calls of the account service and the conference configuration:
// each request is verified first, then answered from the account store.
class SignedApi
{
public:
    explicit SignedApi(LocalService& service);

private:
    QString handle(const SignedCalls::Call& call, const httplib::Request& req, httplib::Response& res,
                   qint64 seq);
    Answer dispatch(const QString& role, const FormBody& form, const QString& origin);

    LocalService& m_service;
};
