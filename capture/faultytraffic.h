#ifndef FAULTYTRAFFIC_H
#define FAULTYTRAFFIC_H

#include <optional>
#include <QByteArray>
#include <QRandomGenerator>

class ChannelEncoder;
class Traffic;

// How often each fault comes on a channel, in frames (0: never), and how long an idle run is.
struct FaultPlan
{
    quint32 badFcs = 0;
    quint32 abort = 0;
    quint32 idleOnes = 0;
    quint32 oversize = 0;
    quint32 extraBits = 0;
    int idleRun = 40000; // ones: past the deframer's buffer, so "Too large"
};

// Frames on a channel with the faults a real line shows, by a plan: each fault on every Nth
// frame, or, given a seed, on frames drawn at random about once in N. A frame takes the first
// of oversize, abort, bad FCS and extra bits that is due; an idle run may follow any frame.
class FaultyTraffic
{
public:
    enum Fault
    {
        NoFault,
        BadFcs,
        Abort,
        IdleRun,
        Oversize,
        ExtraBits,
        FaultKinds
    };

    explicit FaultyTraffic(const FaultPlan& plan, std::optional<quint32> seed = std::nullopt);

    // The frame with its fault, if any, closed by a flag.
    Fault addFrame(ChannelEncoder& encoder, const QByteArray& frame);
    // The idle run after the last frame, if due, then flags more flags.
    void addGap(ChannelEncoder& encoder, int flags);
    // Frames and the flags between them until the encoder holds at least bits bits.
    void fill(ChannelEncoder& encoder, Traffic& traffic, quint64 bits);

    quint64 frames() const { return m_frames; }
    // Frames that had the fault; for NoFault, those sent as they are, and idle runs for IdleRun.
    quint64 count(Fault fault) const { return m_counts[fault]; }
    // The octets of the frames sent as they are.
    quint64 goodOctets() const { return m_goodOctets; }

    // The frame stretched so that it overflows the deframer's buffer and leaves nothing
    // countable behind; a frame already too long is returned as it is.
    static QByteArray oversized(const QByteArray& frame);

private:
    bool due(quint32 every);

    FaultPlan m_plan;
    std::optional<QRandomGenerator> m_random;
    quint64 m_frames = 0;
    bool m_idleDue = false;
    quint64 m_counts[FaultKinds] = {};
    quint64 m_goodOctets = 0;
};

#endif
