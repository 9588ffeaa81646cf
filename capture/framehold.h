#ifndef FRAMEHOLD_H
#define FRAMEHOLD_H

#include "capture/chainhandler.h"

#include <QtGlobal>
#include <vector>

class HdlcHandler;

// Between the Sync deframer and the writer. Open, it passes every packet straight on. While the
// splitter takes a whole block, it keeps the Sync packets, each with the octet of the block that
// closed it, until the RX deframer has taken the octets a feed unit by unit would have given it
// by then: the writers stamp both channels with the RX clock and write packets as they come.
class FrameHold : public ChainHandler
{
public:
    explicit FrameHold(const HdlcHandler* source);
    void process(QByteArray& data, int len) override;

    // Keeps packets from now on, their octets counted from the source's next one.
    void hold();
    int count() const { return int(m_closedAt.size()); }
    // The octet, from where hold() started counting, in which packet k's closing flag ended.
    qint64 closedAt(int k) const { return m_closedAt[size_t(k)]; }
    // Passes packet k on; the packets stay until release().
    void passOnHeld(int k);
    // Forgets the packets kept and passes the next ones straight on again.
    void release();

private:
    const HdlcHandler* m_source; // not owned
    bool m_holding;
    quint64 m_start;
    std::vector<char> m_packets; // the packets kept, one after another, in the first m_used
    size_t m_used = 0;
    std::vector<int> m_ends; // where each ends in m_packets
    std::vector<qint64> m_closedAt;
};

#endif
