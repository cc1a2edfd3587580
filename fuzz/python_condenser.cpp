// The Python condenser over any bytes, then its statement walk: the text
// must fit the buffer it was given, the walk must stay inside the text, and
// every line-map entry must be numbered in order and point into the source.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "condenser.h"
#include "py_tt.h"
#include "support/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > FUZZ_MAX_INPUT) return 0;
    fuzz_setup();
    char *source = fuzz_copy(data, size);
    size_t room = size * 2 + 2;
    char *out = static_cast<char *>(malloc(room));
    int n = py_tt_condense(source, (int)size, out);
    if (n < 1 || (size_t)n > room || out[n - 1] != 0) abort();
    int count = 0;
    LineMark *marks = py_tt_take_marks(&count);
    if (count < 0 || (count > 0 && !marks)) abort();
    for (int k = 1; k <= count; ++k)
        if (marks[k].d_index != k || marks[k].d_offset < 0 || marks[k].d_offset > (int)size ||
            marks[k].d_line < 0)
            abort();
    char *cursor = out;
    while (py_next_statement(&cursor, out + n) != 0)
        if (cursor < out || cursor > out + n) abort();
    free(marks);
    free(out);
    free(source);
    return 0;
}
