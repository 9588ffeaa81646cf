#include "capture/debuglog.h"

Q_LOGGING_CATEGORY(veziveLog, "vezive", QtInfoMsg)
