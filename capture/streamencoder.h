#ifndef STREAMENCODER_H
#define STREAMENCODER_H

#include <QByteArray>
#include <QList>
#include <QtGlobal>

// What a deframer must make of a channel: the good frames in order, and the counts.
struct DeframerOutcome
{
    QList<QByteArray> frames;
    quint32 erroredLength = 0;
    quint32 badCrc = 0;
    quint32 tooLarge = 0;
};

// Builds the line bits of one timeslot the way an HDLC transmitter sends them: flags, frames
// with their FCS and zero stuffing, and on request the faults a real line shows. The first bit
// on the line goes into bit 7 of the timeslot octet. Every item is closed by a flag, so each
// starts on an empty deframer.
class ChannelEncoder
{
public:
    ChannelEncoder();

    void addFlags(int count);
    void addFrame(const QByteArray& frame);
    void addFrameWithBadFcs(const QByteArray& frame);
    // The first part of the frame, then seven ones: the receiver drops it without a count.
    void addAbortedFrame(const QByteArray& frame);
    // A run of ones between two flags (an idle line).
    void addIdleOnes(int count);
    // A good frame followed by 1 to 7 zero bits before its closing flag.
    void addFrameWithExtraBits(const QByteArray& frame, int extraBits);

    // Bits exactly as given: no stuffing, no flag, nothing expected. For tests of the bit level.
    void addRawBits(quint32 bits, int count);

    // Frames are kept for outcome() only while recording (the default).
    void setRecording(bool on) { m_recording = on; }
    const DeframerOutcome& outcome() const { return m_outcome; }

    quint64 bitCount() const { return m_bitCount; }
    // Pads with flags and then fewer than eight ones (which complete nothing) to exactly
    // octetCount octets, which must hold every bit so far.
    QByteArray octets(qint64 octetCount) const;
    // The octets so far, the last one padded with ones.
    QByteArray octets() const { return octets(qint64((m_bitCount + 7) / 8)); }

    // The FCS as sent: low octet first, each octet least significant bit first.
    static quint16 frameCheckSequence(const char* data, int len);

private:
    void putBit(unsigned bit);
    void putOctetPlain(unsigned octet); // least significant bit first, no stuffing
    void putStuffed(const QByteArray& bytes, int octetLimit);
    void putFlag();
    void putFrameBody(const QByteArray& frame, quint16 fcs);

    QByteArray m_octets;
    unsigned m_partial;
    int m_partialBits;
    quint64 m_bitCount;
    int m_ones;
    bool m_recording;
    DeframerOutcome m_outcome;
};

// The tester's side of the serial line: the echo of the request and the nibble-interleaved
// RX/Sync pairs of two channels.
namespace StreamFormat {
// "ATU%02u %02u\n": what the receiver sends and the tester echoes.
QByteArray request(unsigned rxTimeslot, unsigned syncTimeslot);
// Pairs the two channels' octets; the shorter one is padded with idle ones (0xFF).
QByteArray interleave(const QByteArray& rx, const QByteArray& sync);
// Both channels padded to the same length and interleaved: what a replay file holds.
QByteArray captureData(const ChannelEncoder& rx, const ChannelEncoder& sync);
// What the tester sends on the serial line: the echo of the request, then the capture data.
QByteArray testerAnswer(unsigned rxTimeslot, unsigned syncTimeslot, const ChannelEncoder& rx,
                        const ChannelEncoder& sync);
} // namespace StreamFormat

#endif
