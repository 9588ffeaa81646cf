#ifndef TRAFFIC_H
#define TRAFFIC_H

#include <QByteArray>

// The two directions of a simulated link. Each channel's generator sends as one end and knows
// what the other end sends on the other channel.
enum class Direction
{
    Rx,  // SS7: from point code A to B; ISDN: the network side, towards the user
    Sync // SS7: from B to A; ISDN: the user side, towards the network
};

inline Direction opposite(Direction direction)
{
    return direction == Direction::Rx ? Direction::Sync : Direction::Rx;
}

// Frames one direction of a link carries, as the deframer delivers them (no FCS), and the
// flags between them.
class Traffic
{
public:
    virtual ~Traffic() = default;
    virtual QByteArray nextFrame() = 0;
    // Flags to put between two frames, counting the one that closes the first.
    virtual int nextFlagCount() = 0;
};

#endif
