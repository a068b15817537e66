// The libFuzzer entry of one target; ORVALIS_FUZZ_BODY names its body in fuzz_targets.h.
#include "fuzz_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ORVALIS_FUZZ_BODY(data, size);
    return 0;
}
