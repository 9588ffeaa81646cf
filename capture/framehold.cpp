#include "capture/framehold.h"

#include "capture/hdlchandler.h"

FrameHold::FrameHold(const HdlcHandler* source) : m_source(source), m_holding(false), m_start(0) {}

void FrameHold::process(QByteArray& data, int len)
{
    if (!m_holding) {
        passOn(data, len);
        return;
    }
    m_packets.insert(m_packets.end(), data.constData(), data.constData() + len);
    m_ends.push_back(int(m_packets.size()));
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
    m_packets.clear();
    m_ends.clear();
    m_closedAt.clear();
}
