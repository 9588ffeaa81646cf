#ifndef CALLPLAN_H
#define CALLPLAN_H

#include "capture/traffic.h"

#include <QRandomGenerator>
#include <vector>

// Calls between the two ends of a link, a few at a time on different circuits, as the messages
// each end sends, each at its time in line octets. The plan does not depend on a channel's seed,
// so the generators of both directions draw the same calls and each sends its own end's share.
// Both channels run at the same octet rate: an end that answers a message only once its own
// line has passed the time the message took on the other stays causally in step with it, give
// or take stuffing and faults.
class CallPlan
{
public:
    struct Step
    {
        int message;
        bool byOriginator;
        int octets; // on the line at most, FCS and stuffing included
    };
    using Script = std::vector<Step>;

    struct Event
    {
        int message;
        int circuit; // 0 .. circuits - 1
        int call;    // numbered from 0 in the order the calls begin
        Direction sender;
        bool byOriginator;
        int extra;     // octets of extra information, 0 to MaxExtra
        quint64 at;    // line octets before it goes out
        quint64 reach; // line octets until the other end has it, at most

        // When the end self acts on it: sends it, or has had it from the other end.
        quint64 dueAt(Direction self) const { return sender == self ? at : at + reach; }
    };

    static constexpr int MaxExtra = 128;
    // How late a message may go out: the frame on the way and the flags after it.
    static constexpr int LateOctets = 16;

    // Each call follows one of the scripts, picked at random; an end waits up to maxIdle octets
    // before each of its messages.
    CallPlan(std::vector<Script> scripts, int circuits, int maxIdle);

    Event next();
    // The next event sent by sender, passing over the others.
    Event next(Direction sender);

private:
    struct Call
    {
        const Script* script;
        int circuit;
        int number;
        Direction originator;
        size_t step;
        quint64 ready; // when the call's last message has arrived
    };

    void begin();
    static Direction nextSender(const Call& call);

    static constexpr int MaxCalls = 16;
    std::vector<Script> m_scripts;
    int m_circuits;
    int m_maxIdle;
    QRandomGenerator m_random;
    std::vector<Call> m_calls;
    int m_begun = 0;
    quint64 m_free[2] = {64, 64}; // when each end's line is free: after the link's start
};

#endif
