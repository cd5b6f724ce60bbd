#include "conference/conferencelog.h"

Q_LOGGING_CATEGORY(lcConference, "vantelor.conference")
