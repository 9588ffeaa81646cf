// A replay run: the splitter, both deframers and each writer in turn, fed in 4-byte units as the
// acquisition thread feeds them, in read blocks of the input's choosing; then the acquisition
// thread itself over the same bytes as a replay file. The layout of an input is ChainInput's.

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
    runFileChains(ChainInput::decode(reinterpret_cast<const char*>(data), qsizetype(size)));
    return 0;
}
