#ifndef STREAMFILEWRITER_H
#define STREAMFILEWRITER_H

#include "simoptions.h"

#include <QByteArray>
#include <QList>
#include <QString>

class SentLog;

// Writes a replay stream file: the capture data alone, as a file source reads it.
class StreamFileWriter
{
public:
    static constexpr qint64 BlockBytes = 65536;

    // False with error() set when the file cannot be written.
    bool write(const SimOptions& options, const QList<QByteArray>* rxFrames,
               const QList<QByteArray>* syncFrames, SentLog* log);
    QString error() const { return m_error; }

private:
    QString m_error;
};

#endif
