#ifndef SIGNALLINGTRAFFIC_H
#define SIGNALLINGTRAFFIC_H

#include "capture/callplan.h"
#include "capture/traffic.h"

#include <QByteArray>
#include <QRandomGenerator>

// Frames as an SS7 signalling link carries them: message signal units with ITU ISUP call set-up
// and release (IAM, ACM, ANM, REL, RLC) for calls on several circuits at once, and fill-in and
// some link status signal units in between. About every other message carries user-to-user
// information, which makes it long. The forward sequence number counts this end's messages, the
// backward one those received from the other end.
class SignallingTraffic : public Traffic
{
public:
    explicit SignallingTraffic(quint32 seed, Direction direction = Direction::Rx);

    QByteArray nextFrame() override;
    int nextFlagCount() override;

    // ISUP message types
    enum Message
    {
        Iam = 0x01,
        Acm = 0x06,
        Anm = 0x09,
        Rel = 0x0C,
        Rlc = 0x10
    };

private:
    QByteArray header(int lengthIndicator);
    QByteArray fillIn();
    QByteArray linkStatus(unsigned char status);
    QByteArray message(const CallPlan::Event& event);
    QByteArray isup(const CallPlan::Event& event);

    QByteArray sent(const QByteArray& frame);

    QRandomGenerator m_random;
    Direction m_direction;
    CallPlan m_own;  // for this end's messages
    CallPlan m_peer; // for the other end's
    CallPlan::Event m_nextOwn;
    CallPlan::Event m_nextPeer;
    quint64 m_position = 0; // line octets so far, without stuffing
    unsigned m_forwardSequence;
    unsigned m_backwardSequence;
};

#endif
