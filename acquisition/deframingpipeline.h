#ifndef DEFRAMINGPIPELINE_H
#define DEFRAMINGPIPELINE_H

#include "capture/hdlchandler.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class ChainHandler;
class FrameHold;
class SplitHandler;
class TraceFile;

// A replay's chain on several processors: helper threads deframe batches of reads, each channel's
// batches in turn, while the calling thread splits the next reads and writes the frames of the
// batch before; rather than wait for a batch, the calling thread deframes too. The writer
// gets the frames in the order, and with the RX clock, that a feed unit by unit gives, each read
// merged as SplitHandler::processBlock merges it; a read that asks for a flush is written, and the
// file flushed, before add() returns.
class DeframingPipeline
{
public:
    // Large enough that handing batches over costs next to nothing, small enough to stay in the
    // processor's second-level cache.
    static constexpr int DefaultBatchOctets = 32 * 1024;

    // From now on the deframers pass their frames to holds of the pipeline's, and only its
    // threads may touch them. clock stands in for the RX deframer towards the writer, which must
    // be built to stamp with it. file, if there is one, is the writer's.
    // batchOctets: of each channel, gathered before a batch goes; small ones for tests.
    // helpers: threads besides the calling one, at most one per channel; by default one for each
    // processor besides the calling thread's.
    static constexpr int HelpersByProcessors = -1;
    DeframingPipeline(SplitHandler* splitter, HdlcHandler* rx, HdlcHandler* sync,
                      HdlcHandler* clock, ChainHandler* writer, TraceFile* file,
                      int batchOctets = DefaultBatchOctets, int helpers = HelpersByProcessors);
    // finish()
    ~DeframingPipeline();

    // A read of len bytes.
    void add(const char* data, int len, bool flush);
    // Writes the frames of every read so far and ends the threads; the deframers are free again.
    void finish();

private:
    struct Read
    {
        int bytes;
        int firstOctet; // in the batch
        bool held;      // a byte of the read before completes its first pair
        bool flush;
    };
    enum Channel
    {
        Rx,
        Sync
    };
    enum class State
    {
        Filling,
        Deframing,
        Deframed
    };
    struct Batch
    {
        std::vector<unsigned char> rx;
        std::vector<unsigned char> sync;
        int octets = 0;
        std::vector<Read> reads;
        std::unique_ptr<FrameHold> rxHold;
        std::unique_ptr<FrameHold> syncHold;
        quint64 rxStart = 0; // the RX deframer's position before the batch
        HdlcHandler::ClockStart clock;
        State state = State::Filling;
        bool done[2] = {false, false}; // each channel's thread has deframed it
    };

    void handOver();
    void writeAll();
    // Not written yet since it went to the threads.
    bool handedOver(const Batch& batch);
    void write(Batch& batch);
    void passRx(Batch& batch, int k);
    void deframeLoop();
    int freeChannel() const;
    void deframeLocked(std::unique_lock<std::mutex>& locker, Channel channel);
    static void deframe(HdlcHandler* deframer, const std::vector<unsigned char>& octets, int count);

    SplitHandler* m_splitter;
    HdlcHandler* m_rx;
    HdlcHandler* m_sync;
    HdlcHandler* m_clock;
    TraceFile* m_file;
    int m_batchOctets;
    // The threads may run this many batches less one ahead of the writing, so that they seldom
    // wait for it to catch up.
    static constexpr int BatchCount = 4;
    Batch m_batches[BatchCount];
    int m_filling = 0; // the batch that add() fills; those after it, in turn, may be on their way
    bool m_finished = false;

    std::mutex m_lock; // guards the batches' states, the channels' progress and m_ending
    std::condition_variable m_changed;
    bool m_ending = false;
    // Each channel deframes the batches in turn, on whichever thread is free: the one it takes
    // next, whether a thread is at it, and how many it has done.
    int m_nextBatch[2] = {0, 0};
    bool m_busy[2] = {false, false};
    quint64 m_batchesDone[2] = {0, 0};
    std::vector<std::thread> m_threads;
};

#endif
