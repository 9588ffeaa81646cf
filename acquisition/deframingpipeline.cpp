#include "acquisition/deframingpipeline.h"

#include "capture/framehold.h"
#include "capture/splithandler.h"
#include "writers/tracefile.h"

#include <algorithm>

DeframingPipeline::DeframingPipeline(SplitHandler* splitter, HdlcHandler* rx, HdlcHandler* sync,
                                     HdlcHandler* clock, ChainHandler* writer, TraceFile* file,
                                     int batchOctets, int helpers)
    : m_splitter(splitter), m_rx(rx), m_sync(sync), m_clock(clock), m_file(file),
      m_batchOctets(batchOctets)
{
    for (Batch& batch : m_batches) {
        batch.rx.resize(size_t(m_batchOctets));
        batch.sync.resize(size_t(m_batchOctets));
        batch.rxHold = std::make_unique<FrameHold>(rx);
        batch.syncHold = std::make_unique<FrameHold>(sync);
        batch.rxHold->setNext(writer);
        batch.syncHold->setNext(writer);
    }
    // The calling thread deframes too while it would wait, so it needs no helper beside it on a
    // processor of its own.
    if (helpers == HelpersByProcessors)
        helpers = int(std::clamp(std::thread::hardware_concurrency(), 2u, 3u)) - 1;
    helpers = std::clamp(helpers, 0, 2);
    for (int k = 0; k < helpers; ++k)
        m_threads.emplace_back([this] { deframeLoop(); });
}

DeframingPipeline::~DeframingPipeline()
{
    finish();
}

void DeframingPipeline::add(const char* data, int len, bool flush)
{
    if (len <= 0)
        return;
    const int octets = len / 2 + 1;
    if (m_batches[m_filling].octets + octets > m_batchOctets)
        handOver();
    Batch& batch = m_batches[m_filling];
    if (batch.octets + octets > int(batch.rx.size())) {
        batch.rx.resize(size_t(batch.octets + octets));
        batch.sync.resize(size_t(batch.octets + octets));
    }
    batch.reads.push_back({len, batch.octets, m_splitter->holdingByte(), flush});
    batch.octets += m_splitter->splitInto(data, len, batch.rx.data() + batch.octets,
                                          batch.sync.data() + batch.octets);
    // Handed over as soon as another read like this one might not fit.
    if (flush || batch.octets + octets > m_batchOctets) {
        handOver();
        // A short read: the source has nothing more for now, so what came goes out now.
        if (flush)
            writeAll();
    }
}

// The batch being filled goes to the threads; the next one is filled once it has been written,
// deframed by now or soon.
void DeframingPipeline::handOver()
{
    Batch& batch = m_batches[m_filling];
    if (batch.reads.empty())
        return;
    {
        std::lock_guard<std::mutex> locker(m_lock);
        batch.state = State::Deframing;
        batch.done[Rx] = false;
        batch.done[Sync] = false;
    }
    m_changed.notify_all();
    m_filling = (m_filling + 1) % BatchCount;
    if (handedOver(m_batches[m_filling]))
        write(m_batches[m_filling]);
}

// The batches on their way, oldest first: the one after the batch being filled.
void DeframingPipeline::writeAll()
{
    for (int k = 1; k < BatchCount; ++k) {
        Batch& batch = m_batches[(m_filling + k) % BatchCount];
        if (handedOver(batch))
            write(batch);
    }
}

bool DeframingPipeline::handedOver(const Batch& batch)
{
    std::lock_guard<std::mutex> locker(m_lock);
    return batch.state != State::Filling;
}

void DeframingPipeline::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    handOver();
    writeAll();
    {
        std::lock_guard<std::mutex> locker(m_lock);
        m_ending = true;
    }
    m_changed.notify_all();
    for (std::thread& thread : m_threads)
        thread.join();
    m_threads.clear();
}

// Each read as processBlock() would have fed it: a Sync packet goes once the RX channel has had
// the four-byte unit that brought the octet of its closing flag (octet r of a read is completed
// by byte 2r + 1 - held), every RX packet that unit or an earlier one closed before it.
void DeframingPipeline::write(Batch& batch)
{
    {
        // Rather than wait, the writing thread deframes whatever no helper has taken yet.
        std::unique_lock<std::mutex> locker(m_lock);
        while (batch.state != State::Deframed) {
            const int channel = freeChannel();
            if (channel >= 0)
                deframeLocked(locker, Channel(channel));
            else
                m_changed.wait(locker);
        }
    }
    FrameHold& rxHold = *batch.rxHold;
    FrameHold& syncHold = *batch.syncHold;
    int rxNext = 0;
    int syncNext = 0;
    for (const Read& read : batch.reads) {
        const int held = read.held ? 1 : 0;
        const qint64 end = read.firstOctet + (read.bytes + held) / 2;
        int fed = 0; // octets of the read the RX deframer would have taken
        for (; syncNext < syncHold.count() && syncHold.closedAt(syncNext) < end; ++syncNext) {
            const qint64 byte = 2 * (syncHold.closedAt(syncNext) - read.firstOctet) + 1 - held;
            const int unitEnd = int(std::min<qint64>(read.bytes, byte / 4 * 4 + 4));
            fed = std::max(fed, (unitEnd + held) / 2);
            while (rxNext < rxHold.count() && rxHold.closedAt(rxNext) < read.firstOctet + fed)
                passRx(batch, rxNext++);
            m_clock->standAt(batch.clock, batch.rxStart + quint64(read.firstOctet + fed));
            syncHold.passOnHeld(syncNext);
        }
        while (rxNext < rxHold.count() && rxHold.closedAt(rxNext) < end)
            passRx(batch, rxNext++);
        m_clock->standAt(batch.clock, batch.rxStart + quint64(end));
        if (read.flush && m_file)
            m_file->flush();
    }
    rxHold.release();
    syncHold.release();
    batch.reads.clear();
    batch.octets = 0;
    std::lock_guard<std::mutex> locker(m_lock);
    batch.state = State::Filling;
}

// Stamped with the octet in which its closing flag ended, as the deframer stamps it.
void DeframingPipeline::passRx(Batch& batch, int k)
{
    m_clock->standAt(batch.clock, batch.rxStart + quint64(batch.rxHold->closedAt(k)));
    batch.rxHold->passOnHeld(k);
}

// A helper deframes whichever channel's next batch is there to take, the older first.
void DeframingPipeline::deframeLoop()
{
    std::unique_lock<std::mutex> locker(m_lock);
    for (;;) {
        const int channel = freeChannel();
        if (channel >= 0)
            deframeLocked(locker, Channel(channel));
        else if (m_ending)
            return;
        else
            m_changed.wait(locker);
    }
}

// A channel whose next batch has been handed over and that nobody deframes now, -1 if none;
// of two, the one further behind.
int DeframingPipeline::freeChannel() const
{
    int found = -1;
    for (int channel : {Rx, Sync}) {
        const Batch& batch = m_batches[m_nextBatch[channel]];
        // A channel a lap ahead of the other finds its next batch done by itself.
        if (m_busy[channel] || batch.state != State::Deframing || batch.done[channel])
            continue;
        if (found < 0 || m_batchesDone[channel] < m_batchesDone[found])
            found = channel;
    }
    return found;
}

// Deframes the channel's next batch, without the lock meanwhile.
void DeframingPipeline::deframeLocked(std::unique_lock<std::mutex>& locker, Channel channel)
{
    Batch& batch = m_batches[m_nextBatch[channel]];
    m_busy[channel] = true;
    locker.unlock();
    if (channel == Rx) {
        m_rx->setNext(batch.rxHold.get());
        batch.rxStart = m_rx->position();
        batch.rxHold->hold();
        deframe(m_rx, batch.rx, batch.octets);
        batch.clock = m_rx->clockStart();
    } else {
        m_sync->setNext(batch.syncHold.get());
        batch.syncHold->hold();
        deframe(m_sync, batch.sync, batch.octets);
    }
    locker.lock();
    m_busy[channel] = false;
    m_nextBatch[channel] = (m_nextBatch[channel] + 1) % BatchCount;
    ++m_batchesDone[channel];
    batch.done[channel] = true;
    if (batch.done[Rx] && batch.done[Sync])
        batch.state = State::Deframed;
    // The writer may wait for this batch, a helper for this channel's next one.
    m_changed.notify_all();
}

void DeframingPipeline::deframe(HdlcHandler* deframer, const std::vector<unsigned char>& octets,
                                int count)
{
    QByteArray data = QByteArray::fromRawData(reinterpret_cast<const char*>(octets.data()), count);
    deframer->process(data, count);
}
