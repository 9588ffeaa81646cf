#include "capture/signallingtraffic.h"

#include <algorithm>
#include <QList>

namespace {

// Signalling point codes of the two ends: RX goes from the first to the second.
constexpr quint32 PointCodes[2] = {1001, 2002};

constexpr int Circuits = 30;
constexpr int MaxIdle = 4; // octets: a busy link

// Line octets of each message at most.
std::vector<CallPlan::Script> isupCalls()
{
    using M = SignallingTraffic::Message;
    const CallPlan::Step iam{M::Iam, true, 44}, acm{M::Acm, false, 20}, anm{M::Anm, false, 18};
    return {
        {iam, acm, anm, {M::Rel, true, 22}, {M::Rlc, false, 18}},
        {iam, acm, anm, {M::Rel, false, 22}, {M::Rlc, true, 18}},
        {iam, acm, {M::Rel, true, 22}, {M::Rlc, false, 18}},
    };
}

// Address signals two to a octet, the first in the low half; an odd count leaves a filler.
QByteArray bcdDigits(const QByteArray& digits)
{
    QByteArray out((digits.size() + 1) / 2, '\0');
    for (int i = 0; i < digits.size(); ++i)
        out[i / 2] = char(out[i / 2] | ((digits[i] - '0') << (i % 2 ? 4 : 0)));
    return out;
}

// A called or calling party number: odd/even and nature of address (national), then the
// numbering plan (ISDN) with the second octet's other bits given.
QByteArray partyNumber(const QByteArray& digits, unsigned char secondOctet)
{
    QByteArray out;
    out.append(char((digits.size() % 2 ? 0x80 : 0x00) | 0x03));
    out.append(char(secondOctet));
    return out + bcdDigits(digits);
}

QByteArray withLength(const QByteArray& contents)
{
    return char(contents.size()) + contents;
}

} // namespace

SignallingTraffic::SignallingTraffic(quint32 seed, Direction direction)
    : m_random(seed), m_direction(direction), m_own(isupCalls(), Circuits, MaxIdle),
      m_peer(isupCalls(), Circuits, MaxIdle), m_nextOwn(m_own.next(direction)),
      m_nextPeer(m_peer.next(opposite(direction))), m_forwardSequence(0), m_backwardSequence(0)
{}

QByteArray SignallingTraffic::sent(const QByteArray& frame)
{
    m_position += quint64(frame.size()) + 2; // with the FCS
    return frame;
}

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

// The parts of an ISUP message after its type: mandatory fixed, pointers to the mandatory
// variable parameters and the optional part (each counted from the pointer itself), those
// parameters, then the optional part.
QByteArray SignallingTraffic::isup(const CallPlan::Event& event)
{
    QByteArray fixed;
    QList<QByteArray> variable;
    QByteArray optional;
    switch (event.message) {
    case Iam: {
        // Nature of connection, forward call indicators (ISUP all the way, ISDN access),
        // calling party's category (ordinary subscriber), transmission medium (speech).
        fixed = QByteArray("\x00\x20\x01\x0A\x00", 5);
        QByteArray called = QByteArray::number(2000000 + event.circuit * 1000 + event.call % 1000);
        variable.append(partyNumber(called, 0x10)); // ISDN numbering plan, internal routing
        QByteArray calling = QByteArray::number(3000000 + m_random.bounded(1000000));
        optional += '\x0A' + withLength(partyNumber(calling, 0x13)); // network provided
        break;
    }
    case Acm:
        fixed = QByteArray("\x16\x14", 2); // charge, subscriber free, ordinary subscriber,
                                           // ISUP all the way, ISDN access
        break;
    case Rel:
        // Cause indicators: ITU coding, public network serving the local user, normal call
        // clearing.
        variable.append(QByteArray("\x82\x90", 2));
        break;
    default:
        break;
    }
    if (event.extra > 0 && event.message != Rlc) {
        // User-to-user information (IA5 text, up to 131 octets) makes a long message.
        QByteArray info(1 + event.extra, Qt::Uninitialized);
        for (char& c : info)
            c = char('a' + m_random.bounded(26));
        info[0] = '\x04'; // protocol discriminator: IA5 characters
        optional += '\x20' + withLength(info);
    }

    QByteArray out = fixed;
    const int pointers = int(variable.size()) + 1;
    int start = pointers; // where the next parameter begins, counted from the first pointer
    for (int i = 0; i < variable.size(); ++i) {
        out.append(char(start - i));
        start += int(variable[i].size()) + 1;
    }
    out.append(char(optional.isEmpty() ? 0 : start - (pointers - 1)));
    for (const QByteArray& parameter : variable)
        out += withLength(parameter);
    if (!optional.isEmpty())
        out += optional + '\0'; // end of optional parameters
    return out;
}

QByteArray SignallingTraffic::message(const CallPlan::Event& event)
{
    m_forwardSequence = (m_forwardSequence + 1) & 0x7F;
    const int self = m_direction == Direction::Rx ? 0 : 1;
    // ITU routing label: DPC, OPC, then the SLS, which follows the circuit so that a call's
    // messages stay in order.
    const quint32 cic = quint32(event.circuit) + 1;
    const quint32 label = PointCodes[1 - self] | PointCodes[self] << 14 | (cic & 0x0F) << 28;
    QByteArray signallingInfo;
    for (int i = 0; i < 4; ++i)
        signallingInfo.append(char(label >> (8 * i)));
    signallingInfo.append(char(cic & 0xFF));
    signallingInfo.append(char(cic >> 8));
    signallingInfo.append(char(event.message));
    signallingInfo += isup(event);
    QByteArray frame = header(1 + int(signallingInfo.size()));
    frame.append(char(0x85)); // SIO: national network, ISUP
    return frame + signallingInfo;
}

QByteArray SignallingTraffic::nextFrame()
{
    // The other end's messages had so far are acknowledged by the backward sequence number.
    while (m_nextPeer.dueAt(m_direction) <= m_position) {
        m_backwardSequence = (m_backwardSequence + 1) & 0x7F;
        m_nextPeer = m_peer.next(opposite(m_direction));
    }
    if (m_nextOwn.at <= m_position) {
        const CallPlan::Event event = m_nextOwn;
        m_nextOwn = m_own.next(m_direction);
        return sent(message(event));
    }
    if (m_random.bounded(100) < 8)
        return sent(linkStatus(char(m_random.bounded(6))));
    return sent(fillIn());
}

int SignallingTraffic::nextFlagCount()
{
    const unsigned pick = m_random.bounded(100);
    const int flags = pick < 85 ? 1 : 2 + int(m_random.bounded(6));
    m_position += quint64(flags);
    return flags;
}
