#ifndef DEBUGLOG_H
#define DEBUGLOG_H

#include <QLoggingCategory>

// Diagnostics for developers, off unless QT_LOGGING_RULES turns them on ("vezive.debug=true"),
// so a release build says nothing on standard error.
Q_DECLARE_LOGGING_CATEGORY(veziveLog)

#endif
