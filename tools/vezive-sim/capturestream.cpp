#include "capturestream.h"

#include "capture/isdntraffic.h"
#include "capture/streamencoder.h"
#include "sentlog.h"

#include <algorithm>

namespace {

std::unique_ptr<FrameSupply> makeSupply(const QList<QByteArray>* frames, quint32 seed,
                                        SimOptions::TrafficKind kind, Direction direction)
{
    if (frames)
        return std::make_unique<ListSupply>(*frames, seed);
    if (kind == SimOptions::Isdn)
        return std::make_unique<ScenarioSupply>(std::make_unique<IsdnTraffic>(seed, direction));
    return std::make_unique<ScenarioSupply>(std::make_unique<SignallingTraffic>(seed, direction));
}

} // namespace

CaptureStream::CaptureStream(const SimOptions& options, const QList<QByteArray>* rxFrames,
                             const QList<QByteArray>* syncFrames, SentLog* log, qint64 limit)
    : m_rx(makeSupply(rxFrames, rxSeed(options.seed), options.traffic, Direction::Rx),
           options.faults, options.count),
      m_sync(makeSupply(syncFrames, syncSeed(options.seed), options.traffic, Direction::Sync),
             options.faults, options.count),
      m_log(log), m_limit(limit), m_garbageAfter(options.garbageAfter), m_garbage(options.seed),
      m_taken(0), m_confirmed(0)
{}

QByteArray CaptureStream::take(qint64 maxBytes)
{
    if (m_limit != SimOptions::Unlimited)
        maxBytes = std::min(maxBytes, m_limit - m_taken);
    if (maxBytes <= 0)
        return QByteArray();
    qint64 streamBytes = maxBytes;
    if (m_garbageAfter != SimOptions::Unlimited)
        streamBytes = std::clamp<qint64>(m_garbageAfter - m_taken, 0, maxBytes);
    QByteArray out = takeStream(streamBytes);
    out += takeGarbage(maxBytes - out.size());
    m_taken += out.size();
    return out;
}

QByteArray CaptureStream::takeStream(qint64 count)
{
    QByteArray out;
    if (count <= 0)
        return out;
    out.swap(m_spare);
    const qint64 needed = count - out.size();
    if (needed > 0) {
        const qint64 pairs = (needed + 1) / 2;
        const QByteArray bytes = StreamFormat::interleave(m_rx.take(pairs), m_sync.take(pairs));
        out += bytes.left(needed);
        m_spare = bytes.mid(needed);
    }
    return out;
}

QByteArray CaptureStream::takeGarbage(qint64 count)
{
    QByteArray out(count, Qt::Uninitialized);
    for (char& byte : out)
        byte = char(m_garbage.generate());
    return out;
}

bool CaptureStream::confirm(qint64 count)
{
    m_confirmed += count;
    // The receiver splits whole pairs only: a lone first byte delivers no octet yet. Random
    // bytes complete no frame of the stream.
    qint64 streamBytes = m_confirmed;
    if (m_garbageAfter != SimOptions::Unlimited)
        streamBytes = std::min(streamBytes, m_garbageAfter);
    const quint64 octets = quint64(streamBytes / 2);
    const QList<QByteArray> rx = m_rx.takeDelivered(octets);
    const QList<QByteArray> sync = m_sync.takeDelivered(octets);
    if (!m_log)
        return true;
    return m_log->add("rx", rx) && m_log->add("sync", sync);
}
