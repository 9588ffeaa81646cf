#ifndef CHANNELSOURCE_H
#define CHANNELSOURCE_H

#include "capture/faultytraffic.h"
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

    // frameLimit: at most that many frames, then only flags (SimOptions::Unlimited: no limit).
    ChannelSource(std::unique_ptr<FrameSupply> supply, const FaultPlan& faults, qint64 frameLimit);

    // The next octetCount octets of the channel.
    QByteArray take(qint64 octetCount);
    // Removes and returns, in order, the good frames whose closing flag lies within the first
    // octetCount octets of the channel.
    QList<QByteArray> takeDelivered(quint64 octetCount);

    // What a receiver makes of a frame sent on its own: normally the frame itself; for a frame
    // longer than the deframer's buffer whatever its tail happens to decode to (nearly always
    // nothing).
    static QList<QByteArray> deliveredFromFrame(const QByteArray& frame);

private:
    struct Expected
    {
        quint64 endOctet;
        QByteArray frame;
    };

    void generateBatch();
    bool addItem(ChannelEncoder& encoder, quint64 batchStart);
    std::unique_ptr<FrameSupply> m_supply;
    FaultyTraffic m_traffic;
    qint64 m_frameLimit;
    bool m_framesDone;
    QByteArray m_buffer;
    qsizetype m_offset;
    quint64 m_generated; // octets made so far, taken or not
    std::deque<Expected> m_expected;
};

#endif
