#include "testchains.h"

#include "capture/faultytraffic.h"

#include <QStringList>

DeframingChain::DeframingChain(Source source, unsigned echoLength,
                               HdlcHandler::DeStuffing deStuffing)
    : rx(0, deStuffing), sync(1, deStuffing)
{
    if (source == Port) {
        m_header = std::make_unique<HeaderHandler>();
        m_skip = std::make_unique<SkipHandler>(echoLength);
        m_header->setNext(m_skip.get());
        m_skip->setNext(&m_split);
        m_head = m_header.get();
    } else {
        m_head = &m_split;
    }
    m_split.setNext(&rx);
    m_split.setSecondNext(&sync);
    m_split.setSyncHold(&hold);
    rx.setNext(&sink);
    sync.setNext(&hold);
    hold.setNext(&sink);
    for (ChainHandler* element :
         {static_cast<ChainHandler*>(m_header.get()), static_cast<ChainHandler*>(m_skip.get()),
          static_cast<ChainHandler*>(&m_split), static_cast<ChainHandler*>(&rx),
          static_cast<ChainHandler*>(&sync), static_cast<ChainHandler*>(&sink)}) {
        if (element) {
            element->setMessageHandler(&messages);
            element->setStatHandler(&stats);
        }
    }
}

void DeframingChain::feed(const QByteArray& bytes)
{
    QByteArray copy = bytes;
    m_head->process(copy, int(copy.size()));
}

void feedInBlocks(ChainHandler* head, const QByteArray& bytes, const QList<int>& cuts)
{
    int at = 0;
    for (int i = 0; at < bytes.size(); ++i) {
        const int size = std::min(cuts[i % cuts.size()], int(bytes.size()) - at);
        QByteArray block = bytes.mid(at, size);
        head->process(block, size);
        at += size;
    }
}

void feedRandomly(ChainHandler* head, const QByteArray& bytes, QRandomGenerator& random,
                  int maxBlock)
{
    int at = 0;
    while (at < bytes.size()) {
        const int size = std::min(int(random.bounded(maxBlock + 1)), int(bytes.size()) - at);
        QByteArray block = bytes.mid(at, size);
        head->process(block, size);
        at += size;
    }
}

QList<QList<int>> allCuttings(int n)
{
    QList<QList<int>> result;
    // Each of the n - 1 gaps between bytes is cut or not.
    for (quint32 mask = 0; mask < (1u << (n - 1)); ++mask) {
        QList<int> sizes;
        int size = 1;
        for (int gap = 0; gap < n - 1; ++gap) {
            if (mask & (1u << gap)) {
                sizes.append(size);
                size = 1;
            } else {
                ++size;
            }
        }
        sizes.append(size);
        result.append(sizes);
    }
    return result;
}

QByteArray randomBytes(QRandomGenerator& random, int length)
{
    QByteArray bytes(length, Qt::Uninitialized);
    for (int i = 0; i < length; ++i)
        bytes[i] = char(random.bounded(256));
    return bytes;
}

void addRandomItems(ChannelEncoder& encoder, QRandomGenerator& random, int items, int maxFrame,
                    bool faults)
{
    FaultPlan plan;
    if (faults)
        plan = {10, 10, 10, 0, 10, int(HdlcHandler::BitBufferSize) + 3};
    FaultyTraffic traffic(plan, random.generate());
    for (int i = 0; i < items; ++i) {
        traffic.addFrame(encoder, randomBytes(random, 1 + int(random.bounded(maxFrame))));
        traffic.addGap(encoder, int(random.bounded(4)));
    }
}

QStringList drainMessages(MessageHandler& handler)
{
    QStringList lines;
    while (handler.hasMessages()) {
        const Message message = handler.takeMessage();
        lines.append((message.isError() ? QStringLiteral("E:") : QString()) + message.text());
    }
    return lines;
}

QByteArray taggedPacket(int tag, int length, int seed)
{
    QByteArray bytes(1, char(tag));
    for (int k = 0; k < length; ++k)
        bytes.append(char(seed * 31 + k * 7 + 1));
    return bytes;
}

QStringList totalsPosted(quint32 packets, quint32 bytes)
{
    return {QStringLiteral("%1 packets written").arg(packets),
            QStringLiteral("%1 bytes written").arg(bytes)};
}

ChannelOctets channelOctets(const QByteArray& stream)
{
    ChannelOctets octets;
    for (int i = 0; i + 1 < stream.size(); i += 2) {
        const auto a = static_cast<unsigned char>(stream[i]);
        const auto b = static_cast<unsigned char>(stream[i + 1]);
        octets.rx.append(char(((a & 0x0F) << 4) | (b & 0x0F)));
        octets.sync.append(char((a & 0xF0) | (b >> 4)));
    }
    return octets;
}
