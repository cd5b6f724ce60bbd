#include "account/serviceanswer.h"

void CServiceAnswer::applyErrorTo(QString& callerErrorCode, QString& callerErrorMsg) const
{
    if (!received || success) {
        return;
    }
    if (!errorMsg.isEmpty()) {
        callerErrorMsg = errorMsg;
    }
    callerErrorCode = errorCode;
}
