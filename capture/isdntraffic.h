#ifndef ISDNTRAFFIC_H
#define ISDNTRAFFIC_H

#include "capture/callplan.h"
#include "capture/traffic.h"

#include <QByteArray>
#include <QRandomGenerator>

// Frames as a primary rate ISDN D channel carries them: LAPD (SAPI 0, TEI 0) set up by SABME
// and UA from both ends, then I frames with Q.931 call control for calls on several B channels
// at once, each acknowledged by an RR from the other end, with idle flags in between. RX is the
// network side, Sync the user side: the network sets C/R in its commands, the user in its
// responses. About every other SETUP carries user-user information, which makes it long.
class IsdnTraffic : public Traffic
{
public:
    explicit IsdnTraffic(quint32 seed, Direction direction = Direction::Rx);

    QByteArray nextFrame() override;
    int nextFlagCount() override;

    // Q.931 message types
    enum Message
    {
        Alerting = 0x01,
        CallProceeding = 0x02,
        Setup = 0x05,
        Connect = 0x07,
        ConnectAck = 0x0F,
        Disconnect = 0x45,
        Release = 0x4D,
        ReleaseComplete = 0x5A
    };

private:
    QByteArray address(bool command) const;
    QByteArray information(const CallPlan::Event& event);
    QByteArray q931(const CallPlan::Event& event);
    QByteArray sent(const QByteArray& frame);

    QRandomGenerator m_random;
    Direction m_direction;
    CallPlan m_own;  // for this end's messages
    CallPlan m_peer; // for the other end's
    CallPlan::Event m_nextOwn;
    CallPlan::Event m_nextPeer;
    int m_linkStep = 0;      // SABME and UA sent
    quint64 m_position = 0;  // line octets so far, without stuffing
    unsigned m_sent = 0;     // N(S) of the next I frame
    unsigned m_received = 0; // N(R): I frames had from the other end
};

#endif
