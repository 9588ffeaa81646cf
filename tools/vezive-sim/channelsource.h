#ifndef CHANNELSOURCE_H
#define CHANNELSOURCE_H

#include "framesupply.h"
#include "simoptions.h"

#include <deque>
#include <memory>
#include <QByteArray>
#include <QList>

class ChannelEncoder;

// The line octets of one timeslot, made batch by batch from a frame supply with the planned
// faults, and the good frames they carry, each with the octet count after which the receiver
// has seen its closing flag. Memory stays bounded: each batch has its own encoder and only the
// octets not yet taken are kept.
class ChannelSource
{
public:
    static constexpr int BatchOctets = 2048;
    static constexpr int IdleOnes = 40000;

    // frameLimit: at most that many frames, then only flags (SimOptions::Unlimited: no limit).
    ChannelSource(std::unique_ptr<FrameSupply> supply, const FaultPlan& faults, qint64 frameLimit);

    // The next octetCount octets of the channel.
    QByteArray take(qint64 octetCount);
    // Removes and returns, in order, the good frames whose closing flag lies within the first
    // octetCount octets of the channel.
    QList<QByteArray> takeDelivered(quint64 octetCount);

    quint64 framesStarted() const { return m_frameNumber; }

    // What a receiver makes of a frame sent on its own: normally the frame itself; for a frame
    // longer than the deframer's buffer whatever its tail happens to decode to (nearly always
    // nothing).
    static QList<QByteArray> deliveredFromFrame(const QByteArray& frame);
    // The frame stretched so that it overflows the deframer's buffer and leaves nothing
    // countable behind; a frame already too long is returned as it is.
    static QByteArray oversized(const QByteArray& frame);
    // Zero bits that stuffing adds to bytes sent least significant bit first.
    static int stuffedZeros(const QByteArray& bytes);

private:
    struct Expected
    {
        quint64 endOctet;
        QByteArray frame;
    };

    void generateBatch();
    bool addItem(ChannelEncoder& encoder, quint64 batchStart);
    static bool hits(quint32 every, quint64 frameNumber)
    {
        return every != 0 && frameNumber % every == 0;
    }

    std::unique_ptr<FrameSupply> m_supply;
    FaultPlan m_faults;
    qint64 m_frameLimit;
    quint64 m_frameNumber;
    bool m_framesDone;
    QByteArray m_buffer;
    qsizetype m_offset;
    quint64 m_generated; // octets made so far, taken or not
    std::deque<Expected> m_expected;
};

#endif
