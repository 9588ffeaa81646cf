#ifndef TOSHIBAHANDLER_H
#define TOSHIBAHANDLER_H

#include "writers/tracewriter.h"

#include <QTime>

// Writes every frame of both channels as a text record of a router's ISDN snoop: a numbered
// header line with the local time and the direction, a ruler with the length and a hex dump of
// sixteen bytes a line. The file is created by the first frame that arrives, whatever its length.
class ToshibaHandler : public TraceWriter
{
public:
    static const char FileHeader[];

    ToshibaHandler(HdlcHandler* timeReference, const QString& fileName,
                   unsigned short minPacketLength);
    void process(QByteArray& data, int len) override;

    // One record as the file holds it. time is local wall-clock time; hundredths of a second
    // are taken from it, truncated.
    static QByteArray record(quint64 number, const QTime& time, int tag, const char* frame,
                             int length);

private:
    QTime localTime();

    // The local time of the last second seen: converting is costly and seconds repeat.
    quint32 m_cachedSecond;
    QTime m_cachedTime;
};

#endif
