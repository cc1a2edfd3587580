// What the fuzz targets share: the run environment, built once in a scratch
// directory of the process's own (also its HOME), with standard output sent
// to /dev/null; the input as an exactly sized heap copy with the zero byte
// after it that every scanner may read; and the input written to a file for
// the scanners that take a path. The scratch directory goes at exit.
#pragma once
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "env.h"

// Inputs beyond this many bytes are passed over: the scanners are single
// passes, so size adds time and nothing else to a run.
static const size_t FUZZ_MAX_INPUT = 1 << 20;

static inline std::string &fuzz_dir() {
    static std::string dir;
    return dir;
}

static void fuzz_remove_dir() {
    std::string command = "rm -rf '" + fuzz_dir() + "'";
    if (!fuzz_dir().empty() && system(command.c_str()) != 0) {}
}

static void fuzz_setup() {
    static bool done = false;
    if (done) return;
    done = true;
    const char *base = getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/zk_fuzz.XXXXXX";
    char *dir = mkdtemp(&pattern[0]);
    if (!dir) abort();
    fuzz_dir() = dir;
    atexit(fuzz_remove_dir);
    setenv("HOME", dir, 1);
    init_env();
    if (!freopen("/dev/null", "w", stdout)) abort();
    // The buffer init_env gave standard output went with freopen.
    static char out_buffer[1 << 16];
    setvbuf(stdout, out_buffer, _IOFBF, sizeof out_buffer);
}

// The path of name in the scratch directory; valid until the next call.
static inline const char *fuzz_path(const char *name) {
    static std::string path;
    path = fuzz_dir() + "/" + name;
    return path.c_str();
}

// Writes the input to name in the scratch directory and returns its path.
static inline const char *fuzz_file(const char *name, const uint8_t *data, size_t size) {
    const char *path = fuzz_path(name);
    int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0) abort();
    size_t done = 0;
    while (done < size) {
        ssize_t n = write(fd, data + done, size - done);
        if (n <= 0) abort();
        done += (size_t)n;
    }
    close(fd);
    return path;
}

// A heap block of exactly size + 1 bytes: the input and a zero byte.
static inline char *fuzz_copy(const uint8_t *data, size_t size) {
    char *copy = static_cast<char *>(malloc(size + 1));
    if (!copy) abort();
    if (size) memcpy(copy, data, size);
    copy[size] = 0;
    return copy;
}

// Checks the head every tag line shares, name TAB path TAB digits, on the
// line [p, nl): a name that holds no tab, this path, a line number. Returns
// the byte after the digits; aborts on a broken head.
static inline const char *fuzz_line_head(const char *p, const char *nl, const char *path) {
    size_t path_length = strlen(path);
    if (memchr(p, 0, (size_t)(nl - p))) abort();
    const char *tab = static_cast<const char *>(memchr(p, '\t', (size_t)(nl - p)));
    if (!tab || tab == p) abort();
    const char *file = tab + 1;
    if ((size_t)(nl - file) < path_length + 1 || memcmp(file, path, path_length) != 0 ||
        file[path_length] != '\t')
        abort();
    const char *digits = file + path_length + 1, *q = digits;
    while (q < nl && *q >= '0' && *q <= '9') ++q;
    if (q == digits) abort();
    return q;
}

// Aborts unless text is a run of well-formed definition lines for path:
// name TAB path TAB digits TAB "; " letter LF. A broken line would mislead
// every reader that bisects the file.
static inline void fuzz_check_tag_lines(const char *text, size_t length, const char *path) {
    const char *p = text, *end = text + length;
    while (p < end) {
        const char *nl = static_cast<const char *>(memchr(p, '\n', (size_t)(end - p)));
        if (!nl) abort();
        const char *q = fuzz_line_head(p, nl, path);
        if (nl - q != 4 || memcmp(q, "\t; ", 3) != 0) abort();
        p = nl + 1;
    }
}

typedef int (*FuzzExtractor)(const char *path, FILE *out);

// Runs a tag extractor over the input written to name; checks its lines.
static inline int fuzz_extractor(const uint8_t *data, size_t size, const char *name,
                                 FuzzExtractor extract) {
    if (size > FUZZ_MAX_INPUT) return 0;
    fuzz_setup();
    const char *path = fuzz_file(name, data, size);
    std::string kept = path;
    char *lines = nullptr;
    size_t length = 0;
    FILE *out = open_memstream(&lines, &length);
    if (!out) abort();
    extract(kept.c_str(), out);
    fclose(out);
    fuzz_check_tag_lines(lines, length, kept.c_str());
    free(lines);
    return 0;
}
