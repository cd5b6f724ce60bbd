#include "account/accountlog.h"

Q_LOGGING_CATEGORY(lcAccount, "vantelor.account")
