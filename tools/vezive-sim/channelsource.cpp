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
    : m_supply(std::move(supply)), m_faults(faults), m_frameLimit(frameLimit), m_frameNumber(0),
      m_framesDone(false), m_offset(0), m_generated(0)
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

int ChannelSource::stuffedZeros(const QByteArray& bytes)
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

// The frame, a zero octet, k octets 0x1F (five ones each, so one stuffed zero each) and zero
// octets, so that the stuffed frame without its FCS is exactly the deframer's buffer. The
// buffer overflows on the frame's last bit and starts again with the FCS alone, and sixteen
// bits are too few to be counted: the frame gives one "Too large" and nothing else.
QByteArray ChannelSource::oversized(const QByteArray& frame)
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

// One frame of the supply with its fault, if any, and the flags after it. False when the
// supply has nothing more to give.
bool ChannelSource::addItem(ChannelEncoder& encoder, quint64 batchStart)
{
    if (m_framesDone)
        return false;
    QByteArray frame;
    // Empty records carry nothing a receiver could deliver; they are skipped.
    do {
        if ((m_frameLimit != SimOptions::Unlimited && qint64(m_frameNumber) >= m_frameLimit) ||
            !m_supply->next(frame)) {
            m_framesDone = true;
            return false;
        }
    } while (frame.isEmpty());
    const quint64 k = ++m_frameNumber;

    QList<QByteArray> good;
    // A frame that fits the deframer's buffer arrives as it is; only a longer one needs a look
    // at what its tail decodes to.
    auto addGood = [&encoder, &good](const QByteArray& f) {
        const quint64 before = encoder.bitCount();
        encoder.addFrame(f);
        if (encoder.bitCount() - before - 8 < HdlcHandler::BitBufferSize)
            good = {f};
        else
            good = deliveredFromFrame(f);
    };
    if (hits(m_faults.oversize, k)) {
        addGood(oversized(frame));
    } else if (hits(m_faults.abort, k)) {
        encoder.addAbortedFrame(frame);
    } else if (hits(m_faults.badFcs, k)) {
        encoder.addFrameWithBadFcs(frame);
    } else if (hits(m_faults.extraBits, k)) {
        encoder.addFrameWithExtraBits(frame, 1 + int(k % 7));
    } else {
        addGood(frame);
    }
    // The receiver has the frame once the octet holding the last bit of its closing flag is in.
    const quint64 endOctet = batchStart + (encoder.bitCount() + 7) / 8;
    for (const QByteArray& delivered : good)
        m_expected.push_back({endOctet, delivered});

    if (hits(m_faults.idleOnes, k))
        encoder.addIdleOnes(IdleOnes);
    encoder.addFlags(m_supply->flagCount() - 1);
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
