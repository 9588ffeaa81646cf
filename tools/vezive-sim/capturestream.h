#ifndef CAPTURESTREAM_H
#define CAPTURESTREAM_H

#include "channelsource.h"

#include <QByteArray>
#include <QList>
#include <QRandomGenerator>

class SentLog;

// The capture data of one request: RX and Sync channel octets as nibble-interleaved pairs,
// up to an optional byte limit, or random bytes from a chosen point on. Frames go to the sent
// log only once the bytes that complete them are confirmed as written.
class CaptureStream
{
public:
    // Frames for either channel: empty for the built-in scenario. limit in stream bytes, or
    // SimOptions::Unlimited.
    CaptureStream(const SimOptions& options, const QList<QByteArray>* rxFrames,
                  const QList<QByteArray>* syncFrames, SentLog* log, qint64 limit);

    // Up to maxBytes more stream bytes; fewer, down to none, at the limit.
    QByteArray take(qint64 maxBytes);
    // count more of the bytes taken have gone out. False when the sent log cannot be written.
    bool confirm(qint64 count);

    bool exhausted() const { return m_limit != SimOptions::Unlimited && m_taken >= m_limit; }
    qint64 taken() const { return m_taken; }
    qint64 confirmed() const { return m_confirmed; }

    static quint32 rxSeed(quint32 seed) { return seed * 2u; }
    static quint32 syncSeed(quint32 seed) { return seed * 2u + 1u; }

private:
    QByteArray takeStream(qint64 count);
    QByteArray takeGarbage(qint64 count);

    ChannelSource m_rx;
    ChannelSource m_sync;
    SentLog* m_log;
    qint64 m_limit;
    qint64 m_garbageAfter;
    QRandomGenerator m_garbage;
    qint64 m_taken;
    qint64 m_confirmed;
    QByteArray m_spare; // second byte of a pair cut by the caller's count
};

#endif
