// The text search over any bytes: the first byte gives the pattern's
// length (0 to 32), the pattern follows, the rest is searched. What it
// prints is checked against a plain search: one line per match, left to
// right without overlap, each with the number of the line it starts on
// (a line feed at the match itself belongs to the next line).
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "search.h"
#include "support/fuzz_support.h"

static std::vector<long> plain_search(const char *text, size_t length, const char *pattern, size_t n) {
    std::vector<long> lines;
    size_t from = 0;
    while (from + n <= length) {
        const char *hit = static_cast<const char *>(memmem(text + from, length - from, pattern, n));
        if (!hit) break;
        long line = 1;
        for (const char *p = text; p <= hit; ++p) line += *p == '\n';
        lines.push_back(line);
        from = (size_t)(hit - text) + n;
    }
    return lines;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > FUZZ_MAX_INPUT || size == 0) return 0;
    fuzz_setup();
    static int out_fd = -1;
    if (out_fd < 0) {
        // Standard output goes to a file of its own, read back after each run.
        out_fd = open(fuzz_path("grep.out"), O_RDWR | O_CREAT | O_TRUNC, 0600);
        if (out_fd < 0 || dup2(out_fd, 1) < 0) abort();
    }
    size_t n = data[0] % 33;
    if (n > size - 1) n = size - 1;
    char *pattern = fuzz_copy(data + 1, n);
    size_t length = size - 1 - n;
    char *text = fuzz_copy(data + 1 + n, length);

    fflush(stdout);
    if (ftruncate(1, 0) != 0 || lseek(1, 0, SEEK_SET) != 0) abort();
    grep_buffer(text, length, pattern, n);
    fflush(stdout);

    if (n > 0) {
        std::string printed;
        char block[65536];
        ssize_t got;
        for (off_t at = 0; (got = pread(out_fd, block, sizeof block, at)) > 0; at += got) printed.append(block, (size_t)got);
        std::vector<long> want = plain_search(text, length, pattern, n);
        size_t line_start = 0;
        for (long expected : want) {
            // Each result line is ":" number ": " text, the path being empty.
            if (line_start >= printed.size() || printed[line_start] != ':') abort();
            long number = strtol(printed.c_str() + line_start + 1, nullptr, 10);
            if (number != expected) abort();
            size_t feed = printed.find('\n', line_start);
            if (feed == std::string::npos) abort();
            line_start = feed + 1;
        }
        if (line_start != printed.size()) abort();
    }
    free(text);
    free(pattern);
    return 0;
}
