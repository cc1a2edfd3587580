// The tag extractors of the scripting languages: each writes one "tags"
// definition line per package, class, module, function or type of one file
// to out, in the file's own order, and never sorts; a name is cut at its
// first CR or LF before it is written. Also the line walker of the readers.
#pragma once
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
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

// Calls on_line with each line of path (writable, without its line feed)
// and its number from 1. The file is read whole, so a line of any length is
// one line and never shifts the numbers of those after it. -1 when the file
// cannot be opened as a regular file (a FIFO must not hang the run), else 0.
template <typename OnLine>
int for_each_source_line(const char *path, OnLine on_line) {
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size >= INT_MAX) {
        close(fd);
        return -1;
    }
    size_t size = (size_t)st.st_size;
    char *data = static_cast<char *>(malloc(size + 1));
    size_t done = 0;
    while (data && done < size) {
        ssize_t n = read(fd, data + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += (size_t)n;
    }
    close(fd);
    if (!data) return -1;
    data[done] = 0;
    int number = 0;
    for (char *line = data, *end = data + done; line < end;) {
        char *feed = static_cast<char *>(memchr(line, '\n', end - line));
        if (!feed) feed = end;
        *feed = 0;
        on_line(line, ++number);
        line = feed + 1;
    }
    free(data);
    return 0;
}
