// The C/C++ analyses that read a file, over any bytes written to one: tag
// extraction (which walks the source back from each statement's end), the
// outline, the structures listing, the code search with an expression that
// every statement matches, and the indenter on standard input.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "cxx_tags.h"
#include "indent.h"
#include "listings.h"
#include "search.h"
#include "support/fuzz_support.h"

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
