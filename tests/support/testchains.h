#ifndef TESTCHAINS_H
#define TESTCHAINS_H

#include "capture/framehold.h"
#include "capture/hdlchandler.h"
#include "capture/headerhandler.h"
#include "capture/messagehandler.h"
#include "capture/skiphandler.h"
#include "capture/splithandler.h"
#include "capture/stathandler.h"
#include "capture/streamencoder.h"
#include "packetsink.h"

#include <memory>
#include <QList>
#include <QRandomGenerator>

// The front of the chain (header, skip and split for a port stream, split alone for a file)
// with both deframers, the Sync hold and one sink behind them, as a run builds it.
class DeframingChain
{
public:
    enum Source
    {
        Port,
        File
    };
    explicit DeframingChain(
        Source source, unsigned echoLength = 6,
        HdlcHandler::DeStuffing deStuffing = HdlcHandler::DeStuffing::Automatic);

    ChainHandler* head() { return m_head; }
    void feed(const QByteArray& bytes);
    // A replay's read block, taken whole as the acquisition thread takes it.
    void feedBlock(const QByteArray& bytes)
    {
        m_split.processBlock(bytes.constData(), int(bytes.size()));
    }

    MessageHandler messages;
    StatHandler stats;
    HdlcHandler rx;
    HdlcHandler sync;
    FrameHold hold{&sync};
    PacketSink sink{&rx};

private:
    std::unique_ptr<HeaderHandler> m_header;
    std::unique_ptr<SkipHandler> m_skip;
    SplitHandler m_split;
    ChainHandler* m_head;
};

// Feeds bytes to head in blocks whose sizes follow cuts (cycled); sizes of 0 make empty calls.
void feedInBlocks(ChainHandler* head, const QByteArray& bytes, const QList<int>& cuts);
// Feeds bytes in random blocks of 0 to maxBlock bytes.
void feedRandomly(ChainHandler* head, const QByteArray& bytes, QRandomGenerator& random,
                  int maxBlock);
// Every way of cutting a stream of length n into consecutive non-empty blocks, as block sizes.
QList<QList<int>> allCuttings(int n);

QByteArray randomBytes(QRandomGenerator& random, int length);
// Random frames of 1 to maxFrame octets with 0 to 3 extra flags between them; with faults, about
// one frame in ten each has a bad FCS, an abort or extra bits, or is followed by a run of idle
// ones a bit buffer and three ones long ("Too large", then an errored length).
void addRandomItems(ChannelEncoder& encoder, QRandomGenerator& random, int items, int maxFrame,
                    bool faults);
// A packet as a deframer delivers it: the tag byte, then length frame bytes that depend on seed.
QByteArray taggedPacket(int tag, int length, int seed);
// The two lines a trace writer posts when it is destroyed.
QStringList totalsPosted(quint32 packets, quint32 bytes);
// The octets of the RX and Sync timeslots in a stream of the tester's byte pairs: RX in the low
// nibbles, Sync in the high ones, the first byte of a pair holding the upper halves.
struct ChannelOctets
{
    QByteArray rx;
    QByteArray sync;
};
ChannelOctets channelOctets(const QByteArray& stream);
// Every message still queued, as text; errors are marked with a leading "E:".
QStringList drainMessages(MessageHandler& handler);

#endif
