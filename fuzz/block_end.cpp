// The block-end scanner over any bytes, split into lines as the block printer
// splits them, in both modes. Checks that it answers only 0 or 1 and that the
// zero-terminated and the counted forms agree line for line when the input
// holds no zero byte.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "block_end.h"
#include "support/fuzz_support.h"

// Scans every line of text; the answers and depths, line after line.
static std::vector<int> scan_lines(const char *text, size_t size, bool is_function, bool counted) {
    std::vector<int> seen;
    int depth = 0;
    block_end_reset();
    for (const char *line = text; line < text + size;) {
        const char *nl = static_cast<const char *>(memchr(line, '\n', text + size - line));
        size_t length = nl ? (size_t)(nl - line) : (size_t)(text + size - line);
        int r;
        if (counted) {
            // An exactly sized copy: a read past the line is caught.
            char *copy = static_cast<char *>(malloc(length ? length : 1));
            memcpy(copy, line, length);
            r = block_end_scan_n(copy, length, &depth, is_function);
            free(copy);
        } else {
            char *copy = static_cast<char *>(malloc(length + 1));
            memcpy(copy, line, length);
            copy[length] = 0;
            r = block_end_scan(copy, &depth, is_function);
            free(copy);
        }
        if (r != 0 && r != 1) abort();
        seen.push_back(r);
        seen.push_back(depth);
        line += length + 1;
    }
    return seen;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > FUZZ_MAX_INPUT) return 0;
    fuzz_setup();
    char *text = fuzz_copy(data, size);
    bool has_zero = memchr(text, 0, size) != nullptr;
    for (int mode = 0; mode < 2; ++mode) {
        std::vector<int> plain = scan_lines(text, size, mode == 1, false);
        std::vector<int> counted = scan_lines(text, size, mode == 1, true);
        if (!has_zero && plain != counted) abort();
    }
    block_end_reset();
    free(text);
    return 0;
}
