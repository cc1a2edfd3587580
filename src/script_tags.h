// The tag extractors of the scripting languages: each writes one "tags"
// definition line per package, class, module, function or type of one file
// to out, in the file's own order, and never sorts; a name is cut at its
// first CR or LF before it is written. Also the line walker of the readers.
#pragma once
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int perl_tags(const char *path, FILE *out);
int python_tags(const char *path, FILE *out);
int java_tags(const char *path, FILE *out);
int go_tags(const char *path, FILE *out);
int lua_tags(const char *path, FILE *out);
int php_tags(const char *path, FILE *out);
int ruby_tags(const char *path, FILE *out);

// Calls on_line with each line of path (line feed kept, writable) and its
// number from 1. Lines are read whole, however long, so a long line never
// shifts the numbers of the lines after it. -1 when the file cannot be
// opened as a regular file (a FIFO must not hang the run), else 0.
template <typename OnLine>
int for_each_source_line(const char *path, OnLine on_line) {
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    struct stat st;
    FILE *in = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? fdopen(fd, "r") : nullptr;
    if (!in) {
        close(fd);
        return -1;
    }
    char *line = nullptr;
    size_t capacity = 0;
    int number = 0;
    while (getline(&line, &capacity, in) >= 0) on_line(line, ++number);
    free(line);
    fclose(in);
    return 0;
}
