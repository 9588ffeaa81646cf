#ifndef SIGNALLINGTRAFFIC_H
#define SIGNALLINGTRAFFIC_H

#include <QByteArray>
#include <QRandomGenerator>

// Frames as an SS7 signalling link carries them: mostly fill-in signal units, some link status
// units, and message signal units with a routing label and a payload of typical size. The
// sequence numbers advance as a live link's would.
class SignallingTraffic
{
public:
    explicit SignallingTraffic(quint32 seed);

    QByteArray nextFrame();
    // Flags to put between two frames: one mostly, now and then a few more.
    int nextFlagCount();

    QByteArray fillIn();
    QByteArray linkStatus(unsigned char status);
    QByteArray message(int payloadLength);

private:
    QByteArray header(int lengthIndicator);

    QRandomGenerator m_random;
    unsigned m_forwardSequence;
    unsigned m_backwardSequence;
};

#endif
