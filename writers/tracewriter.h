#ifndef TRACEWRITER_H
#define TRACEWRITER_H

#include "capture/chainhandler.h"
#include "capture/hdlchandler.h"
#include "writers/tracefile.h"
#include "writers/writertotals.h"

// What every trace file writer shares: the channel whose clock stamps the frames, the output
// file, the totals and the minimum length. A format adds only its record layout in process().
// When the writer goes, a file that was opened is flushed and the totals are posted; a file
// that could not be opened has been reported, and a regular file that got no frame is deleted:
// totals of nothing would only mislead.
class TraceWriter : public ChainHandler
{
public:
    ~TraceWriter() override;

    // The output file, for the run to choose buffering and flush it.
    TraceFile& traceFile() { return m_file; }

protected:
    // headerCounted: whether the file header counts in the "bytes written" total.
    TraceWriter(HdlcHandler* timeReference, const QString& fileName, const QByteArray& fileHeader,
                unsigned short minPacketLength, bool headerCounted);

    // Opens the file on the first call; true while it is usable.
    bool openFile()
    {
        m_frameCame = true;
        return m_file.openOnce();
    }
    // A frame asked for the file; without one, a file the run opened early is deleted at the end.
    bool frameCame() const { return m_frameCame; }
    bool tooShort(int frameLength) const { return frameLength < int(m_minPacketLength); }
    ChannelClock clock() const { return m_timeReference->timestamp(); }

    WriterTotals m_totals; // before m_file, which counts into it
    TraceFile m_file;

private:
    HdlcHandler* m_timeReference; // not owned
    unsigned short m_minPacketLength;
    qsizetype m_countedHeader; // header bytes that count in the totals
    bool m_frameCame = false;
};

#endif
