#ifndef TOSHIBAHANDLER_H
#define TOSHIBAHANDLER_H

#include "capture/chainhandler.h"
#include "writers/tracefile.h"
#include "writers/writertotals.h"

#include <QTime>

class HdlcHandler;

// Writes every frame of both channels as a text record of a router's ISDN snoop: a numbered
// header line with the local time and the direction, a ruler with the length and a hex dump of
// sixteen bytes a line. The file is created by the first frame that arrives, whatever its length.
class ToshibaHandler : public ChainHandler
{
public:
    static const char FileHeader[];

    ToshibaHandler(HdlcHandler* timeReference, const QString& fileName,
                   unsigned short minPacketLength);
    ~ToshibaHandler() override;
    void process(QByteArray& data, int len) override;

    // The output file, for the run to choose buffering and flush it.
    TraceFile& traceFile() { return m_file; }

    // One record as the file holds it. time is local wall-clock time; hundredths of a second
    // are taken from it, truncated.
    static QByteArray record(quint32 number, const QTime& time, int tag, const char* frame,
                             int length);

private:
    QTime localTime();

    HdlcHandler* m_timeReference; // not owned
    WriterTotals m_totals;        // before m_file, which counts into it
    TraceFile m_file;
    unsigned short m_minPacketLength;
    // The local time of the last second seen: converting is costly and seconds repeat.
    quint32 m_cachedSecond;
    QTime m_cachedTime;
};

#endif
