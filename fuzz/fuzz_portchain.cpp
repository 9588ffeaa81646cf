// The front of a port run (header check, echo skip, channel split) with both deframers and each
// writer in turn, fed the tester's answer in blocks of the input's choosing. The layout of an
// input is ChainInput's.

#include "chainrun.h"
#include "fuzzenvironment.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzEnvironment::setUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    runPortChain(ChainInput::decode(reinterpret_cast<const char*>(data), qsizetype(size)));
    return 0;
}
