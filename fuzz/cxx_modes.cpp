// The C/C++ analyses that read a file, over any bytes written to one: tag
// extraction (which walks the source back from each statement's end), call
// tags, the outline, the structures listing, the code search with an
// expression that every statement matches, and the indenter on standard
// input. Definition and call lines must keep their form.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "call_tags.h"
#include "cxx_tags.h"
#include "indent.h"
#include "listings.h"
#include "search.h"
#include "support/fuzz_support.h"

// Aborts unless text is a run of call lines for path: name TAB path TAB
// digits, then LF or TAB ";" TAB "by" TAB caller LF, no field with a tab.
static void check_call_lines(const char *text, size_t length, const char *path) {
    const char *p = text, *end = text + length;
    while (p < end) {
        const char *nl = static_cast<const char *>(memchr(p, '\n', (size_t)(end - p)));
        if (!nl) abort();
        const char *q = fuzz_line_head(p, nl, path);
        if (q != nl) {
            if (nl - q < 7 || memcmp(q, "\t;\tby\t", 6) != 0) abort();
            if (memchr(q + 6, '\t', (size_t)(nl - q - 6))) abort();
        }
        p = nl + 1;
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > FUZZ_MAX_INPUT) return 0;
    fuzz_setup();
    const char *path = fuzz_file("input.cpp", data, size);
    char *lines = nullptr;
    size_t length = 0;
    FILE *out = open_memstream(&lines, &length);
    if (!out) abort();
    cxx_tags(path, out);
    fclose(out);
    fuzz_check_tag_lines(lines, length, path);
    free(lines);
    out = open_memstream(&lines, &length);
    if (!out) abort();
    cxx_call_tags(path, out);
    fclose(out);
    check_call_lines(lines, length, path);
    free(lines);
    print_outline(path);
    print_structs(path);
    // One empty fragment: every statement is reported with its line.
    get_env()->d_cgrep_expr = ",";
    static FILE *sink = fopen("/dev/null", "w");
    cgrep_file(path, sink);
    // The indenter reads standard input, and an empty one ends the process.
    if (size > 0) {
        int saved = dup(0);
        int fd = open(path, O_RDONLY);
        if (saved < 0 || fd < 0 || dup2(fd, 0) < 0) abort();
        close(fd);
        indent_stdin();
        dup2(saved, 0);
        close(saved);
    }
    fflush(stdout);
    return 0;
}
