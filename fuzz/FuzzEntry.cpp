// The libFuzzer entry point; FUZZ_TARGET names the function it calls.
#include "fuzz/FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    fuzz::FUZZ_TARGET(data, size);
    return 0;
}
