#include "capture/callplan.h"

#include <algorithm>

CallPlan::CallPlan(std::vector<Script> scripts, int circuits, int maxIdle)
    : m_scripts(std::move(scripts)), m_circuits(circuits), m_maxIdle(maxIdle), m_random(0x43414C4C)
{}

void CallPlan::begin()
{
    auto busy = [this](int circuit) {
        return std::any_of(m_calls.begin(), m_calls.end(),
                           [circuit](const Call& call) { return call.circuit == circuit; });
    };
    int circuit = int(m_random.bounded(m_circuits));
    while (busy(circuit))
        circuit = (circuit + 1) % m_circuits;
    const Script* script = &m_scripts[m_random.bounded(quint32(m_scripts.size()))];
    const Direction originator = m_random.bounded(2) ? Direction::Sync : Direction::Rx;
    m_calls.push_back({script, circuit, m_begun++, originator, 0, 0});
}

Direction CallPlan::nextSender(const Call& call)
{
    const bool byOriginator = (*call.script)[call.step].byOriginator;
    return byOriginator == (call.originator == Direction::Rx) ? Direction::Rx : Direction::Sync;
}

// A message goes out once its end's line is free and the call's message before has arrived, so
// each end's messages come in time order, and so do the times the other end has them. Of the
// calls going on, the one whose next message can go out first has its turn.
CallPlan::Event CallPlan::next()
{
    if (m_calls.empty() || (m_calls.size() < size_t(MaxCalls) && m_random.bounded(3) == 0))
        begin();
    auto start = [this](const Call& call) {
        return std::max(m_free[nextSender(call) == Direction::Rx ? 0 : 1], call.ready);
    };
    const auto call =
        std::min_element(m_calls.begin(), m_calls.end(),
                         [&start](const Call& a, const Call& b) { return start(a) < start(b); });
    const Direction sender = nextSender(*call);
    const quint64 at = start(*call) + m_random.bounded(quint32(m_maxIdle));
    const Step step = (*call->script)[call->step++];
    // Every other message or so is long; the stuffing of its text stays below one in eight.
    const int extra = m_random.bounded(2) == 0 ? 1 + int(m_random.bounded(MaxExtra)) : 0;
    const quint64 octets = quint64(step.octets + extra + extra / 8 + 2);
    const quint64 reach = octets + LateOctets;
    m_free[sender == Direction::Rx ? 0 : 1] = at + octets;
    call->ready = at + reach;
    const Event event{step.message,      call->circuit, call->number, sender,
                      step.byOriginator, extra,         at,           reach};
    if (call->step == call->script->size())
        m_calls.erase(call);
    return event;
}

CallPlan::Event CallPlan::next(Direction sender)
{
    Event event = next();
    while (event.sender != sender)
        event = next();
    return event;
}
