#include "packetsink.h"

void PacketSink::process(QByteArray& data, int len)
{
    if (len == 0)
        ++zeroLengthCalls;
    calls.append(QByteArray(data.constData(), len));
    stamps.append(m_timeReference ? m_timeReference->timestamp() : ChannelClock{0, 0});
}

QByteArray PacketSink::joined() const
{
    QByteArray all;
    for (const QByteArray& call : calls)
        all += call;
    return all;
}

QList<QByteArray> PacketSink::framesOf(int tag) const
{
    QList<QByteArray> frames;
    for (const QByteArray& call : calls)
        if (!call.isEmpty() && static_cast<unsigned char>(call[0]) == tag)
            frames.append(call.mid(1));
    return frames;
}
