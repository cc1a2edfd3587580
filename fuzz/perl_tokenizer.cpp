// The Perl tokenizer over any bytes: the text must fit the buffer it was
// given, and every line-map entry must be numbered in order and point into
// the source.
#include <cstdint>
#include <cstdlib>

#include "condenser.h"
#include "support/fuzz_support.h"
#include "the_fly.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > FUZZ_MAX_INPUT) return 0;
    fuzz_setup();
    char *source = fuzz_copy(data, size);
    size_t room = size * 4 + 4;
    char *out = static_cast<char *>(malloc(room));
    int n = fly_condense(source, (int)size, out);
    if (n < 0 || (size_t)n > room) abort();
    int count = 0, capacity = 0;
    LineMark *marks = fly_take_marks(&count, &capacity);
    if (count < 0 || (count > 0 && (!marks || count >= capacity))) abort();
    for (int k = 1; k <= count; ++k)
        if (marks[k].d_index != k || marks[k].d_offset < 0 || marks[k].d_offset > (int)size ||
            marks[k].d_line < 0)
            abort();
    free(marks);
    free(out);
    free(source);
    return 0;
}
