#ifndef LIMITOPTIONS_H
#define LIMITOPTIONS_H

#include "writers/filesequence.h"

#include <QString>
#include <QStringList>

// dumpcap's ring buffer (-b filesize:KB, duration:SEC, files:N) and stop conditions
// (-a duration:SEC, packets:N, filesize:KB, files:N), one criterion per option, into limits. A kB
// is 1000 bytes; seconds are whole. Empty when they are sound, else the usage error.
QString readFileLimits(const QStringList& ringBuffer, const QStringList& autostop,
                       FileLimits* limits);

#endif
