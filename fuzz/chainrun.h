#ifndef CHAINRUN_H
#define CHAINRUN_H

#include "fuzzinput.h"

#include <QByteArray>
#include <QString>

// Every element that can end the chain, with the variants worth telling apart. The loopback
// injector gets a made-up adapter list, so no network is touched: none at all, one without the
// loopback address, or one whose loopback adapter does not exist (the open itself fails).
enum class WriterKind
{
    RawTaps,
    PcapNull,
    PcapMtp2,
    PcapIsdn,
    Toshiba,
    I4b,
    I7,
    LoopbackNoList,
    LoopbackNoMatch,
    LoopbackAbsent,
    Count
};

// The front of a chain-target input; the rest of the input is the stream.
//
//   offset 0      writer selector (modulo the number of writer kinds)
//          1-2    minimum packet length, little-endian
//          3      echo bytes to skip after "ATU" (modulo 16; port chain only)
//          4-7    RX clock start, seconds, little-endian
//          8-11   RX clock start, microseconds, little-endian (may exceed a second)
//          12     number of block sizes (modulo 9), then that many 16-bit sizes (modulo 4097)
struct ChainInput
{
    quint8 writer = 0;
    quint16 minLength = 0;
    quint8 skip = 6;
    quint32 seconds = 0;
    quint32 microseconds = 0;
    Cuts cuts;
    QByteArray stream;

    static constexpr int MaxCuts = 8;
    static constexpr int MaxBlock = 4096;

    static ChainInput decode(const char* data, qsizetype size);
    QByteArray encode() const;
    WriterKind kind() const { return WriterKind(writer % int(WriterKind::Count)); }
    // Raw taps take the channel octets as they are; every other writer is behind deframers.
    bool deframes() const { return kind() != WriterKind::RawTaps; }
};

// A port run's front (header check, echo skip, channel split), both deframers with their clocks
// set from the input, and the chosen writer, fed the stream in the input's calls. Every output
// is read back and held against what the stream must give.
void runPortChain(const ChainInput& input);

// A replay run: the splitter, both deframers and the writer fed in 4-byte units from read blocks
// of the input's choosing, then the same blocks whole, which must write the very same files; then
// the acquisition thread itself, run on the caller's thread, over the stream as a replay file with
// the same clock start (for every trace type but the loopback, which would search the real
// adapters).
void runFileChains(const ChainInput& input);

#endif
