// The two searches: the code search (--cgrep: fragments in order within one
// condensed C/C++ statement) and the text search (--grep: a fixed string,
// line by line). Buffers returned here are the caller's to free; every
// result line leaves the process whole, in a single write.
#pragma once
#include <cstddef>
#include <cstdio>

struct FileBuffer;
struct StringArray;

// Finds source lines by number in a file's bytes, moving from the line it
// found last, so that lines asked for in order cost one pass in all.
struct SourceLines {
    const char *d_data;
    long d_size;
    int d_index;    // number of the line that starts at d_start, from 0
    long d_start;
};

// 0 when searched; -1 without a stream or when the file cannot be condensed;
// -2 when the expression cannot be split.
int cgrep_file(const char *path, FILE *out);
// Prints the match of statement d_stmt_index, with its source line taken
// from lines (over the buffer's source bytes) unless FL_TAG_STYLE is set.
void cgrep_report(const FileBuffer *buffer, const StringArray *fragments, SourceLines *lines, FILE *out);
// Minus the line feeds between the first fragment and the end of statement
// number stmt, walking the source backwards; 0 or negative.
int lines_back_to_match(const FileBuffer *buffer, int stmt, const StringArray *fragments);

// 0 when searched; -1 (after perror("DFILE")) when it could not be read.
int grep_file(const char *path);
// Prints every match of pattern in bytes, as lines of current_grep_file.
void grep_buffer(const char *bytes, size_t length, const char *pattern, size_t pattern_length);
// The bytes of a regular file, sized from the opened file and followed by a
// zero byte; null (errno set) for anything else or on a failed read.
char *read_whole_file(const char *path, size_t *out_length);
// New string: from line up to and including the next line feed, or up to
// and including last when none comes first.
char *copy_line(const char *line, const char *last);
