#include "capture/splithandler.h"

#include "capture/framehold.h"

#include <algorithm>
#include <QtEndian>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

SplitHandler::SplitHandler()
    : m_secondNext(nullptr), m_syncHold(nullptr), m_rx(UnitPairs, '\0'), m_sync(UnitPairs, '\0'),
      m_rxOut(reinterpret_cast<unsigned char*>(m_rx.data())),
      m_syncOut(reinterpret_cast<unsigned char*>(m_sync.data())), m_heldByte(0), m_holding(false)
{}

void SplitHandler::process(QByteArray& data, int len)
{
    // A stream's unit: two whole pairs. The arrays are kept from call to call, and written in
    // place: the elements behind use them only during the call.
    if (len == 2 * UnitPairs && !m_holding) {
        const auto* in = reinterpret_cast<const unsigned char*>(data.constData());
        m_rxOut[0] = rxOctet(in[0], in[1]);
        m_rxOut[1] = rxOctet(in[2], in[3]);
        m_syncOut[0] = syncOctet(in[0], in[1]);
        m_syncOut[1] = syncOctet(in[2], in[3]);
        passOn(m_rx, UnitPairs);
        if (m_secondNext)
            m_secondNext->process(m_sync, UnitPairs);
        return;
    }
    splitBlock(reinterpret_cast<const unsigned char*>(data.constData()), len);
}

void SplitHandler::splitBlock(const unsigned char* in, int len)
{
    if (len <= 0)
        return;
    const int out = split(in, len);
    passOn(m_rx, out);
    if (m_secondNext)
        m_secondNext->process(m_sync, out);
}

namespace {

// The low bytes of the four 16-bit lanes, in order.
quint32 lowBytesOfLanes(quint64 lanes)
{
    lanes = (lanes | lanes >> 8) & 0x0000FFFF0000FFFFULL;
    return quint32(lanes | lanes >> 16);
}

} // namespace

int SplitHandler::split(const unsigned char* in, int len)
{
    const int out = (len + (m_holding ? 1 : 0)) / 2;
    if (m_rx.size() < out) {
        m_rx.resize(out);
        m_sync.resize(out);
    }
    m_rxOut = reinterpret_cast<unsigned char*>(m_rx.data());
    m_syncOut = reinterpret_cast<unsigned char*>(m_sync.data());
    return split(in, len, m_rxOut, m_syncOut);
}

int SplitHandler::split(const unsigned char* in, int len, unsigned char* rxOut,
                        unsigned char* syncOut)
{
    const int out = (len + (m_holding ? 1 : 0)) / 2;
    int i = 0;
    int k = 0;
    if (m_holding) {
        rxOut[0] = rxOctet(m_heldByte, in[0]);
        syncOut[0] = syncOctet(m_heldByte, in[0]);
        i = 1;
        k = 1;
    }
    // In each 16-bit lane of a word the pair's first byte is the low one.
#if defined(__SSE2__)
    // Sixteen pairs a step.
    const __m128i low = _mm_set1_epi16(0x000F);
    const __m128i high = _mm_set1_epi16(0x00F0);
    const auto rxLanes = [&](__m128i p) {
        return _mm_or_si128(_mm_slli_epi16(_mm_and_si128(p, low), 4),
                            _mm_and_si128(_mm_srli_epi16(p, 8), low));
    };
    const auto syncLanes = [&](__m128i p) {
        return _mm_or_si128(_mm_and_si128(p, high), _mm_srli_epi16(p, 12));
    };
    for (; i + 32 <= len; i += 32, k += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i + 16));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(rxOut + k),
                         _mm_packus_epi16(rxLanes(a), rxLanes(b)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(syncOut + k),
                         _mm_packus_epi16(syncLanes(a), syncLanes(b)));
    }
#endif
    // Four pairs a step.
    constexpr quint64 LowNibbles = 0x000F000F000F000FULL;
    constexpr quint64 HighNibbles = 0x00F000F000F000F0ULL;
    for (; i + 8 <= len; i += 8, k += 4) {
        const quint64 pairs = qFromLittleEndian<quint64>(in + i);
        const quint64 rx = (pairs & LowNibbles) << 4 | ((pairs >> 8) & LowNibbles);
        const quint64 sync = (pairs & HighNibbles) | ((pairs >> 12) & LowNibbles);
        qToLittleEndian(lowBytesOfLanes(rx), rxOut + k);
        qToLittleEndian(lowBytesOfLanes(sync), syncOut + k);
    }
    for (; i + 1 < len; i += 2, ++k) {
        rxOut[k] = rxOctet(in[i], in[i + 1]);
        syncOut[k] = syncOctet(in[i], in[i + 1]);
    }
    m_holding = i < len;
    if (m_holding)
        m_heldByte = in[i];
    return out;
}

void SplitHandler::processBlock(const char* data, int len)
{
    if (len <= 0)
        return;
    const int held = m_holding ? 1 : 0;
    const int out = split(reinterpret_cast<const unsigned char*>(data), len);
    if (!m_syncHold || !m_secondNext) {
        passOn(m_rx, out);
        if (m_secondNext)
            m_secondNext->process(m_sync, out);
        return;
    }
    m_syncHold->hold();
    m_secondNext->process(m_sync, out);
    // Fed in units, a Sync packet goes on once both channels have taken the unit that brought
    // the octet of its closing flag: octet r of the block is completed by byte 2r + 1 - held.
    int fed = 0;
    for (int k = 0; k < m_syncHold->count(); ++k) {
        const qint64 byte = 2 * m_syncHold->closedAt(k) + 1 - held;
        const int unitEnd = int(std::min<qint64>(len, byte / 4 * 4 + 4));
        const int rxEnd = (unitEnd + held) / 2;
        if (rxEnd > fed) {
            passRx(fed, rxEnd - fed);
            fed = rxEnd;
        }
        m_syncHold->passOnHeld(k);
    }
    m_syncHold->release();
    if (fed < out)
        passRx(fed, out - fed);
}

void SplitHandler::passRx(int from, int count)
{
    QByteArray octets = QByteArray::fromRawData(m_rx.constData() + from, count);
    passOn(octets, count);
}
