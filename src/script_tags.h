// The tag extractors of the scripting languages: each writes one "tags"
// definition line per package, class, module, function or type of one file
// to out, in the file's own order, and never sorts. Also the two helpers
// they share: the guarded tag writer and the line walker of the line readers.
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

// Writes "name\tpath\tline\t; kind\n", the name being head, or head, ':'
// and tail when tail is given. Each part ends at its first CR or LF, so no
// tag line is ever split; an empty name writes nothing.
inline void write_script_tag(FILE *out, const char *head, const char *tail, const char *path, int line,
                             char kind) {
    int head_len = (int)strcspn(head, "\r\n");
    int tail_len = tail ? (int)strcspn(tail, "\r\n") : 0;
    if (head_len + tail_len == 0) return;
    if (tail)
        fprintf(out, "%.*s:%.*s\t%s\t%d\t; %c\n", head_len, head, tail_len, tail, path, line, kind);
    else
        fprintf(out, "%.*s\t%s\t%d\t; %c\n", head_len, head, path, line, kind);
}

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
