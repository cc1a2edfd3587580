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
