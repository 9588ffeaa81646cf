#include "capture/splithandler.h"

SplitHandler::SplitHandler() : m_secondNext(nullptr), m_heldByte(0), m_holding(false) {}

void SplitHandler::process(QByteArray& data, int len)
{
    if (len <= 0)
        return;
    const int out = (len + (m_holding ? 1 : 0)) / 2;
    // The arrays are kept from call to call: the elements behind use them only during the call.
    if (m_rx.size() < out) {
        m_rx.resize(out);
        m_sync.resize(out);
    }
    const auto* in = reinterpret_cast<const unsigned char*>(data.constData());
    auto* rxOut = reinterpret_cast<unsigned char*>(m_rx.data());
    auto* syncOut = reinterpret_cast<unsigned char*>(m_sync.data());

    int i = 0;
    int k = 0;
    if (m_holding) {
        rxOut[0] = rxOctet(m_heldByte, in[0]);
        syncOut[0] = syncOctet(m_heldByte, in[0]);
        i = 1;
        k = 1;
    }
    for (; i + 1 < len; i += 2, ++k) {
        rxOut[k] = rxOctet(in[i], in[i + 1]);
        syncOut[k] = syncOctet(in[i], in[i + 1]);
    }
    m_holding = i < len;
    if (m_holding)
        m_heldByte = in[i];

    passOn(m_rx, out);
    if (m_secondNext)
        m_secondNext->process(m_sync, out);
}
