#include "writers/lapdheader.h"

#include <cstring>

namespace {

void putBe16(char* at, quint16 value)
{
    at[0] = char(value >> 8);
    at[1] = char(value & 0xFF);
}

} // namespace

void LapdHeader::put(char* at, int channel)
{
    putBe16(at, channel == 0 ? SentToUs : SentByUs);
    putBe16(at + 2, HardwareType);
    putBe16(at + 4, 1);        // address length: only the "we network" byte means anything
    std::memset(at + 6, 0, 8); // "we network" 0: we are the user side
    putBe16(at + 14, Protocol);
}
