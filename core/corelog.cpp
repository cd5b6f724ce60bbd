#include "core/corelog.h"

Q_LOGGING_CATEGORY(lcCore, "vantelor.core")
