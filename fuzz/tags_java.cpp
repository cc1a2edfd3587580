// The Java tag extractor over any bytes written to a .java file; every
// line it writes must be a well-formed definition line.
#include <cstdint>

#include "script_tags.h"
#include "support/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    return fuzz_extractor(data, size, "input.java", java_tags);
}
