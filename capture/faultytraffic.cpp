#include "capture/faultytraffic.h"

#include "capture/hdlchandler.h"
#include "capture/streamencoder.h"
#include "capture/traffic.h"

namespace {

// Zero bits that stuffing adds to bytes sent least significant bit first.
int stuffedZeros(const QByteArray& bytes)
{
    int ones = 0;
    int zeros = 0;
    for (const char c : bytes) {
        for (int bit = 0; bit < 8; ++bit) {
            ones = ((static_cast<unsigned char>(c) >> bit) & 1u) ? ones + 1 : 0;
            if (ones == 5) {
                ++zeros;
                ones = 0;
            }
        }
    }
    return zeros;
}

} // namespace

FaultyTraffic::FaultyTraffic(const FaultPlan& plan, std::optional<quint32> seed) : m_plan(plan)
{
    if (seed)
        m_random.emplace(*seed);
}

bool FaultyTraffic::due(quint32 every)
{
    if (every == 0)
        return false;
    return m_random ? m_random->bounded(every) == 0 : m_frames % every == 0;
}

FaultyTraffic::Fault FaultyTraffic::addFrame(ChannelEncoder& encoder, const QByteArray& frame)
{
    ++m_frames;
    Fault fault = NoFault;
    if (due(m_plan.oversize)) {
        fault = Oversize;
        encoder.addFrame(oversized(frame));
    } else if (due(m_plan.abort)) {
        fault = Abort;
        encoder.addAbortedFrame(frame);
    } else if (due(m_plan.badFcs)) {
        fault = BadFcs;
        encoder.addFrameWithBadFcs(frame);
    } else if (due(m_plan.extraBits)) {
        fault = ExtraBits;
        encoder.addFrameWithExtraBits(frame, 1 + int(m_frames % 7));
    } else {
        encoder.addFrame(frame);
        m_goodOctets += quint64(frame.size());
    }
    m_idleDue = due(m_plan.idleOnes);
    ++m_counts[fault];
    return fault;
}

void FaultyTraffic::addGap(ChannelEncoder& encoder, int flags)
{
    if (m_idleDue) {
        encoder.addIdleOnes(m_plan.idleRun);
        ++m_counts[IdleRun];
        m_idleDue = false;
    }
    encoder.addFlags(flags);
}

void FaultyTraffic::fill(ChannelEncoder& encoder, Traffic& traffic, quint64 bits)
{
    while (encoder.bitCount() < bits) {
        addFrame(encoder, traffic.nextFrame());
        // The frame's closing flag is the first of those between it and the next.
        addGap(encoder, traffic.nextFlagCount() - 1);
    }
}

// The frame, a zero octet, k octets 0x1F (five ones each, so one stuffed zero each) and zero
// octets, so that the stuffed frame without its FCS is exactly the deframer's buffer. The
// buffer overflows on the frame's last bit and starts again with the FCS alone, and sixteen
// bits are too few to be counted: the frame gives one "Too large" and nothing else.
QByteArray FaultyTraffic::oversized(const QByteArray& frame)
{
    const int bufferOctets = int(HdlcHandler::BitBufferSize / 8);
    const int frameStuffing = stuffedZeros(frame);
    const int k = (8 - frameStuffing % 8) % 8;
    const int zeros = bufferOctets - int(frame.size()) - 1 - k - (frameStuffing + k) / 8;
    if (zeros < 0)
        return frame; // already longer than the buffer
    QByteArray big = frame;
    big.append('\0');
    big.append(k, char(0x1F));
    big.append(zeros, '\0');
    return big;
}
