#include "projection/projectionlog.h"

Q_LOGGING_CATEGORY(lcProjection, "vantelor.projection")
