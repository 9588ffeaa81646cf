#include "capture/isdntraffic.h"

#include <algorithm>

namespace {

constexpr int Channels = 30; // B channels of an E1: timeslots 1-15 and 17-31

constexpr int MaxIdle = 400; // octets: a D channel is mostly idle

// Line octets of each message at most.
std::vector<CallPlan::Script> q931Calls()
{
    using M = IsdnTraffic::Message;
    const std::vector<CallPlan::Step> answered = {{M::Setup, true, 50},
                                                  {M::CallProceeding, false, 20},
                                                  {M::Alerting, false, 14},
                                                  {M::Connect, false, 14},
                                                  {M::ConnectAck, true, 14}};
    auto clearing = [](bool byOriginator) {
        return std::vector<CallPlan::Step>{{M::Disconnect, byOriginator, 18},
                                           {M::Release, !byOriginator, 18},
                                           {M::ReleaseComplete, byOriginator, 14}};
    };
    auto call = [](std::vector<CallPlan::Step> a, const std::vector<CallPlan::Step>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    const std::vector<CallPlan::Step> unanswered(answered.begin(), answered.begin() + 3);
    return {call(answered, clearing(true)), call(answered, clearing(false)),
            call(unanswered, clearing(true))};
}

QByteArray element(char identifier, const QByteArray& contents)
{
    return QByteArray(1, identifier) + char(contents.size()) + contents;
}

// Exclusive B channel of a primary rate interface, by number.
QByteArray channelIdentification(int circuit)
{
    const int timeslot = circuit < 15 ? circuit + 1 : circuit + 2;
    return element('\x18', QByteArray("\xA9\x83", 2) + char(0x80 | timeslot));
}

} // namespace

IsdnTraffic::IsdnTraffic(quint32 seed, Direction direction)
    : m_random(seed), m_direction(direction), m_own(q931Calls(), Channels, MaxIdle),
      m_peer(q931Calls(), Channels, MaxIdle), m_nextOwn(m_own.next(direction)),
      m_nextPeer(m_peer.next(opposite(direction)))
{}

QByteArray IsdnTraffic::address(bool command) const
{
    const bool network = m_direction == Direction::Rx;
    const bool cr = command == network;
    return QByteArray(1, char(cr ? 0x02 : 0x00)) + '\x01'; // SAPI 0, EA 0; TEI 0, EA 1
}

QByteArray IsdnTraffic::q931(const CallPlan::Event& event)
{
    // Two-octet call reference; its flag is set in messages to the side that chose it.
    const int reference = event.call % 0x7FFF + 1;
    QByteArray out("\x08\x02", 2);
    out.append(char((event.byOriginator ? 0x00 : 0x80) | reference >> 8));
    out.append(char(reference & 0xFF));
    out.append(char(event.message));
    const bool fromNetwork = m_direction == Direction::Rx;
    switch (event.message) {
    case Setup: {
        out += element('\x04', QByteArray("\x80\x90\xA3", 3)); // speech, 64 kbit/s, A-law
        out += channelIdentification(event.circuit);
        const QByteArray calling = QByteArray::number(3000000 + m_random.bounded(1000000));
        out += element('\x6C', "\x21\x81" + calling); // national, ISDN; allowed, user verified
        const QByteArray called =
            QByteArray::number(2000000 + event.circuit * 1000 + event.call % 1000);
        out += element('\x70', '\xA1' + called); // national, ISDN
        if (event.extra > 0) {
            QByteArray text(event.extra, Qt::Uninitialized);
            for (char& c : text)
                c = char('a' + m_random.bounded(26));
            out += element('\x7E', '\x04' + text); // IA5 characters
        }
        break;
    }
    case CallProceeding:
        out += channelIdentification(event.circuit);
        break;
    case Disconnect:
    case Release:
        // ITU coding, the user or the public network serving the local user, normal clearing.
        out += element('\x08', QByteArray(1, char(fromNetwork ? 0x82 : 0x80)) + '\x90');
        break;
    default:
        break;
    }
    return out;
}

QByteArray IsdnTraffic::information(const CallPlan::Event& event)
{
    QByteArray frame = address(true);
    frame.append(char((m_sent & 0x7F) << 1));
    frame.append(char((m_received & 0x7F) << 1)); // P 0
    m_sent = (m_sent + 1) & 0x7F;
    return frame + q931(event);
}

QByteArray IsdnTraffic::sent(const QByteArray& frame)
{
    m_position += quint64(frame.size()) + 2; // with the FCS
    return frame;
}

QByteArray IsdnTraffic::nextFrame()
{
    // Both ends ask for multiple frame operation at once, as after a restart, and each accepts
    // the other's request: SABME, then UA, with P and F set.
    if (m_linkStep < 2)
        return sent(m_linkStep++ == 0 ? address(true) + '\x7F' : address(false) + '\x73');
    // Whatever is due first: an I frame of this end, or the acknowledgement of the other's.
    if (m_nextOwn.at <= m_nextPeer.dueAt(m_direction)) {
        const CallPlan::Event event = m_nextOwn;
        m_nextOwn = m_own.next(m_direction);
        return sent(information(event));
    }
    m_nextPeer = m_peer.next(opposite(m_direction));
    m_received = (m_received + 1) & 0x7F;
    return sent(address(false) + '\x01' + char(m_received << 1));
}

int IsdnTraffic::nextFlagCount()
{
    const quint64 due =
        m_linkStep == 1 ? 16 : std::min(m_nextOwn.at, m_nextPeer.dueAt(m_direction));
    const int flags = due > m_position ? int(due - m_position) : 1;
    m_position += quint64(flags);
    return flags;
}
