#include "channelsource.h"

#include "capture/chainhandler.h"
#include "capture/hdlchandler.h"
#include "capture/streamencoder.h"

namespace {

// Keeps what a deframer hands on, tag byte removed.
class FrameCollector : public ChainHandler
{
public:
    void process(QByteArray& data, int len) override
    {
        if (len > 1)
            frames.append(QByteArray(data.constData() + 1, len - 1));
    }
    QList<QByteArray> frames;
};

} // namespace

ChannelSource::ChannelSource(std::unique_ptr<FrameSupply> supply, const FaultPlan& faults,
                             qint64 frameLimit)
    : m_supply(std::move(supply)), m_traffic(faults), m_frameLimit(frameLimit), m_framesDone(false),
      m_offset(0), m_generated(0)
{}

QList<QByteArray> ChannelSource::deliveredFromFrame(const QByteArray& frame)
{
    ChannelEncoder encoder;
    encoder.setRecording(false);
    const quint64 before = encoder.bitCount();
    encoder.addFrame(frame);
    // Bits between the flags, stuffing included, are what fills the deframer's buffer.
    if (encoder.bitCount() - before - 8 < HdlcHandler::BitBufferSize)
        return {frame};
    QByteArray octets = encoder.octets();
    HdlcHandler deframer(0);
    FrameCollector collector;
    deframer.setNext(&collector);
    deframer.process(octets, int(octets.size()));
    return collector.frames;
}

// One frame of the supply with its fault, if any, and the flags after it. False when the
// supply has nothing more to give.
bool ChannelSource::addItem(ChannelEncoder& encoder, quint64 batchStart)
{
    if (m_framesDone)
        return false;
    QByteArray frame;
    // Empty records carry nothing a receiver could deliver; they are skipped.
    do {
        if ((m_frameLimit != SimOptions::Unlimited && qint64(m_traffic.frames()) >= m_frameLimit) ||
            !m_supply->next(frame)) {
            m_framesDone = true;
            return false;
        }
    } while (frame.isEmpty());

    const quint64 before = encoder.bitCount();
    const FaultyTraffic::Fault fault = m_traffic.addFrame(encoder, frame);
    // The receiver has the frame once the octet holding the last bit of its closing flag is in.
    const quint64 endOctet = batchStart + (encoder.bitCount() + 7) / 8;
    if (fault == FaultyTraffic::NoFault || fault == FaultyTraffic::Oversize) {
        const QByteArray sent =
            fault == FaultyTraffic::Oversize ? FaultyTraffic::oversized(frame) : frame;
        // A frame that fits the deframer's buffer arrives as it is; only a longer one needs a
        // look at what its tail decodes to.
        const bool fits = encoder.bitCount() - before - 8 < HdlcHandler::BitBufferSize;
        for (const QByteArray& delivered : fits ? QList{sent} : deliveredFromFrame(sent))
            m_expected.push_back({endOctet, delivered});
    }
    m_traffic.addGap(encoder, m_supply->flagCount() - 1);
    return true;
}

void ChannelSource::generateBatch()
{
    ChannelEncoder encoder; // begins with a flag
    encoder.setRecording(false);
    const quint64 targetBits = quint64(BatchOctets) * 8;
    while (encoder.bitCount() < targetBits) {
        if (!addItem(encoder, m_generated)) {
            encoder.addFlags(int((targetBits - encoder.bitCount() + 7) / 8));
            break;
        }
    }
    // Fill to the octet boundary with ones. The next batch opens with a flag, so these ones
    // stand between two flags: one to five of them would count as a frame of errored length,
    // six or more are an abort, which the deframer drops without a count.
    int pad = int((8 - encoder.bitCount() % 8) % 8);
    if (pad > 0 && pad < 6)
        pad += 8;
    encoder.addRawBits(0xFFFF, pad);
    const QByteArray octets = encoder.octets();

    m_buffer.remove(0, m_offset);
    m_offset = 0;
    m_buffer.append(octets);
    m_generated += quint64(octets.size());
}

QByteArray ChannelSource::take(qint64 octetCount)
{
    while (m_buffer.size() - m_offset < octetCount)
        generateBatch();
    const QByteArray out = m_buffer.mid(m_offset, octetCount);
    m_offset += octetCount;
    return out;
}

QList<QByteArray> ChannelSource::takeDelivered(quint64 octetCount)
{
    QList<QByteArray> frames;
    while (!m_expected.empty() && m_expected.front().endOctet <= octetCount) {
        frames.append(m_expected.front().frame);
        m_expected.pop_front();
    }
    return frames;
}
