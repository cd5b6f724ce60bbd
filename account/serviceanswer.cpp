#include "account/serviceanswer.h"

void CServiceAnswer::applyErrorTo(QString& callerErrorCode, QString& callerErrorMsg, Take take) const
{
    if (!received) {
        return;
    }
    if (take == Take::AsItCame) {
        callerErrorCode = errorCode;
        callerErrorMsg = errorMsg;
        return;
    }
    if (success) {
        return;
    }
    if (!errorMsg.isEmpty()) {
        callerErrorMsg = errorMsg;
    }
    callerErrorCode = errorCode;
}
