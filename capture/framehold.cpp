#include "capture/framehold.h"

#include "capture/bytecopy.h"
#include "capture/hdlchandler.h"

#include <algorithm>

namespace {

// The first byte, the channel tag the deframer has only just put there, goes on its own: a wider
// read that took it in would wait for that one-byte write to reach the cache.
void copyPacket(char* to, const char* from, size_t len)
{
    if (len == 0)
        return;
    to[0] = from[0];
    copyFrameBytes(to + 1, from + 1, len - 1);
}

} // namespace

FrameHold::FrameHold(const HdlcHandler* source) : m_source(source), m_holding(false), m_start(0) {}

void FrameHold::process(QByteArray& data, int len)
{
    if (!m_holding) {
        passOn(data, len);
        return;
    }
    if (m_used + size_t(len) > m_packets.size())
        m_packets.resize(std::max(2 * m_packets.size(), m_used + size_t(len)));
    copyPacket(m_packets.data() + m_used, data.constData(), size_t(len));
    m_used += size_t(len);
    m_ends.push_back(int(m_used));
    m_closedAt.push_back(qint64(m_source->position() - m_start));
}

void FrameHold::hold()
{
    m_holding = true;
    m_start = m_source->position();
}

void FrameHold::passOnHeld(int k)
{
    const int from = k ? m_ends[size_t(k - 1)] : 0;
    const int len = m_ends[size_t(k)] - from;
    QByteArray packet = QByteArray::fromRawData(m_packets.data() + from, len);
    passOn(packet, len);
}

void FrameHold::release()
{
    m_holding = false;
    m_used = 0;
    m_ends.clear();
    m_closedAt.clear();
}
