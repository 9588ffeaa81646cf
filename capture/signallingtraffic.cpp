#include "capture/signallingtraffic.h"

#include <algorithm>

SignallingTraffic::SignallingTraffic(quint32 seed)
    : m_random(seed), m_forwardSequence(0), m_backwardSequence(0)
{}

QByteArray SignallingTraffic::header(int lengthIndicator)
{
    QByteArray frame;
    frame.append(char(m_backwardSequence & 0x7F)); // BSN, BIB 0
    frame.append(char(m_forwardSequence & 0x7F));  // FSN, FIB 0
    frame.append(char(std::min(lengthIndicator, 63) & 0x3F));
    return frame;
}

QByteArray SignallingTraffic::fillIn()
{
    return header(0);
}

QByteArray SignallingTraffic::linkStatus(unsigned char status)
{
    QByteArray frame = header(1);
    frame.append(char(status));
    return frame;
}

QByteArray SignallingTraffic::message(int payloadLength)
{
    m_forwardSequence = (m_forwardSequence + 1) & 0x7F;
    const int signallingInfo = 4 + payloadLength; // routing label + payload
    QByteArray frame = header(1 + signallingInfo);
    frame.append(char(0x85)); // SIO: national network, ISUP
    const quint32 label = m_random.generate();
    for (int i = 0; i < 4; ++i)
        frame.append(char(label >> (8 * i)));
    for (int i = 0; i < payloadLength; ++i)
        frame.append(char(m_random.bounded(256)));
    return frame;
}

QByteArray SignallingTraffic::nextFrame()
{
    const unsigned pick = m_random.bounded(100);
    if (pick < 55)
        return fillIn();
    if (pick < 60)
        return linkStatus(char(m_random.bounded(6)));
    m_backwardSequence = (m_backwardSequence + 1) & 0x7F;
    // ISUP messages: mostly short call set-up and release, sometimes long ones.
    const int payload = pick < 90 ? 8 + int(m_random.bounded(40)) : 40 + int(m_random.bounded(230));
    return message(payload);
}

int SignallingTraffic::nextFlagCount()
{
    const unsigned pick = m_random.bounded(100);
    return pick < 85 ? 1 : 2 + int(m_random.bounded(6));
}
