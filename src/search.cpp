#include "search.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "condenser.h"
#include "env.h"
#include "statement.h"
#include "string_array.h"

// ---------------------------------------------------------------- code search

// True when the fragments stand in the statement in their order, each found
// after the end of the one before.
static bool fragments_in_order(const char *stmt, const StringArray *fragments) {
    const char *from = stmt;
    for (int i = 0; i < count(fragments); ++i) {
        const char *fragment = at(fragments, i);
        const char *hit = strstr(from, fragment);
        if (!hit) return false;
        from = hit + strlen(fragment);
    }
    return true;
}

// Statement ends and line-map entries can fall out of step (a literal after
// an at sign); an entry that does not hold its own index was never written.
static const LineMark *mark_of(const FileBuffer *buffer, int stmt) {
    if (!buffer || !buffer->d_marks || stmt < 1 || stmt >= buffer->d_mark_capacity) return nullptr;
    const LineMark *mark = &buffer->d_marks[stmt];
    return mark->d_index == stmt ? mark : nullptr;
}

static bool source_begins_with(const char *at_byte, size_t room, const char *text, size_t length) {
    return length <= room && memcmp(at_byte, text, length) == 0;
}

int lines_back_to_match(const FileBuffer *buffer, int stmt, const StringArray *fragments) {
    const LineMark *mark = mark_of(buffer, stmt);
    if (!mark || !buffer->d_data || buffer->d_size <= 0) return 0;
    const char *data = buffer->d_data;
    long size = buffer->d_size;
    long p = mark->d_offset - 1;
    if (p >= size) p = size - 1;
    if (p < 0) return 0;
    int feeds = 0;
    for (int i = count(fragments) - 1; i >= 0; --i) {
        const char *fragment = at(fragments, i);
        size_t length = strlen(fragment);
        while (p > 0 && !source_begins_with(data + p, (size_t)(size - p), fragment, length)) {
            if (data[p] == '\n') ++feeds;
            --p;
        }
    }
    return -feeds;
}

// Line number index of the source, with its line feed; length 0 past the
// last line.
static const char *source_line(SourceLines *lines, int index, size_t *length) {
    const char *data = lines->d_data;
    while (lines->d_index < index && lines->d_start < lines->d_size) {
        const char *feed = static_cast<const char *>(
            memchr(data + lines->d_start, '\n', (size_t)(lines->d_size - lines->d_start)));
        lines->d_start = feed ? feed - data + 1 : lines->d_size;
        ++lines->d_index;
    }
    while (lines->d_index > index && lines->d_start > 0) {
        long p = lines->d_start - 1;  // the line feed that ends the line before
        while (p > 0 && data[p - 1] != '\n') --p;
        lines->d_start = p;
        --lines->d_index;
    }
    *length = 0;
    if (lines->d_index != index || lines->d_start >= lines->d_size) return nullptr;
    const char *start = data + lines->d_start;
    const char *feed = static_cast<const char *>(memchr(start, '\n', (size_t)(lines->d_size - lines->d_start)));
    *length = feed ? (size_t)(feed - start) + 1 : (size_t)(lines->d_size - lines->d_start);
    return start;
}

void cgrep_report(const FileBuffer *buffer, const StringArray *fragments, SourceLines *lines, FILE *out) {
    Env *env = get_env();
    const LineMark *mark = mark_of(buffer, env->d_stmt_index);
    if (!mark || !out) return;
    int line = mark->d_line + lines_back_to_match(buffer, env->d_stmt_index, fragments);
    if (env->d_flags & FL_TAG_STYLE) {
        fprintf(out, "%s\t%s\t+%i\n", env->d_cgrep_expr, buffer->d_path, line + 1);
    } else {
        // The source line carries its own line feed; a line that is not
        // there still ends the output line. The text stops at a zero byte.
        size_t length = 0;
        const char *text = lines ? source_line(lines, line, &length) : nullptr;
        if (text) length = strnlen(text, length);
        fprintf(out, "%s +%i: %.*s", buffer->d_path, line + 1, (int)length, text ? text : "");
        if (!text || length == 0 || text[length - 1] != '\n') fputc('\n', out);
    }
    fflush(out);
}

int cgrep_file(const char *path, FILE *out) {
    if (!out || !path) return -1;
    char *path_copy = strdup(path);
    FileBuffer *buffer = file_buffer_new(path_copy);
    if (!buffer || !file_buffer_condense(buffer)) {
        file_buffer_free(buffer);
        free(path_copy);
        return -1;
    }
    Env *env = get_env();
    env->d_stmt_index = 0;
    StringArray *fragments = split(env->d_cgrep_expr, ",");
    if (!fragments) {
        file_buffer_free(buffer);
        free(path_copy);
        return -2;
    }
    // The lines come from the bytes that were condensed, not from a second
    // read of a file that may have changed since.
    SourceLines lines = {buffer->d_data, buffer->d_size, 0, 0};

    char *position = buffer->d_text;
    char *stmt = nullptr;
    while (split_statement(&position, &stmt) != 0) {
        ++env->d_stmt_index;
        if (fragments_in_order(stmt, fragments)) cgrep_report(buffer, fragments, &lines, out);
    }

    free_strings(fragments);
    string_array_delete(fragments);
    file_buffer_free(buffer);
    free(path_copy);
    return 0;
}

// ---------------------------------------------------------------- text search

static const char *current_grep_file = "";
static size_t current_grep_file_length;

// Result lines gather here and leave in whole lines, at most PIPE_BUF bytes
// per write: workers sharing one pipe never cut into each other's lines.
static char g_out[PIPE_BUF];
static size_t g_out_len;

static void out_flush() {
    if (g_out_len == 0) return;
    fflush(stdout);
    fwrite(g_out, 1, g_out_len, stdout);
    fflush(stdout);
    g_out_len = 0;
}

static size_t format_number(char *digits, long value) {
    char reversed[24];
    size_t n = 0;
    do {
        reversed[n++] = (char)('0' + value % 10);
        value /= 10;
    } while (value > 0);
    for (size_t i = 0; i < n; ++i) digits[i] = reversed[n - 1 - i];
    return n;
}

struct Piece {
    const char *d_text;
    size_t d_length;
};

// One result line made of pieces, handed on whole.
static void out_line(const Piece *pieces, int n) {
    size_t total = 0;
    for (int i = 0; i < n; ++i) total += pieces[i].d_length;
    if (total > sizeof g_out - g_out_len) out_flush();
    if (total > sizeof g_out) {
        // Longer than one atomic write: alone, through the stream's buffer.
        for (int i = 0; i < n; ++i) fwrite(pieces[i].d_text, 1, pieces[i].d_length, stdout);
        fflush(stdout);
        return;
    }
    for (int i = 0; i < n; ++i) {
        memcpy(g_out + g_out_len, pieces[i].d_text, pieces[i].d_length);
        g_out_len += pieces[i].d_length;
    }
}

// "path:line: text" or, in tags style, "pattern<TAB>path<TAB>line".
static void print_match(long line, const char *text, size_t text_length,
                        const char *pattern, size_t pattern_length) {
    char digits[24];
    size_t ndigits = format_number(digits, line);
    if (get_env()->d_flags & FL_TAG_STYLE) {
        Piece pieces[] = {{pattern, pattern_length}, {"\t", 1},
                          {current_grep_file, current_grep_file_length}, {"\t", 1},
                          {digits, ndigits}, {"\n", 1}};
        out_line(pieces, 6);
    } else {
        Piece pieces[] = {{current_grep_file, current_grep_file_length}, {":", 1},
                          {digits, ndigits}, {": ", 2}, {text, text_length}, {"\n", 1}};
        out_line(pieces, 6);
    }
}

// The printed text of a line stops at its first carriage return or line
// feed, or at a zero byte, as a C string would.
static size_t line_text_length(const char *line, const char *end) {
    const char *p = line;
    while (p < end && *p != '\n' && *p != '\r' && *p != '\0') ++p;
    return (size_t)(p - line);
}

// How common each byte value is in source trees, 0 for the rarest: the
// scan waits on the pattern's rarest byte, so it stops on few candidates.
static const unsigned char g_byte_rank[256] = {
      0,   1,  72,   2,   3,   4,   5,   6,   7, 250, 249,   8,  76,   9,  10,  11,
     12,  13,  14,  15,  16,  17,  18,  19,  20,  21,  22,  23,  24,  25,  26,  27,
    255, 168, 200, 204, 164, 169, 183, 165, 217, 218, 216, 173, 229, 212, 197, 203,
    251, 215, 209, 202, 193, 186, 187, 181, 191, 179, 185, 219, 178, 208, 201, 159,
    167, 235, 205, 237, 226, 240, 220, 206, 198, 231, 162, 192, 222, 223, 225, 221,
    227, 175, 233, 234, 239, 207, 196, 184, 190, 182, 171, 177, 170, 176, 150, 254,
    161, 244, 211, 241, 243, 253, 238, 213, 214, 248, 166, 199, 236, 228, 246, 242,
    230, 180, 247, 245, 252, 232, 210, 195, 224, 194, 174, 189, 172, 188, 163,  73,
    154, 152, 151, 142, 148, 125, 118, 114, 138, 124, 117, 131, 147, 112,  98, 134,
    119,  91,  83,  96, 139, 121, 113, 107, 122, 116, 144, 111, 143, 115,  94, 105,
    127, 123,  88,  90, 126, 110, 103, 100, 141,  92, 104,  95,  93, 108, 135, 133,
    132,  86,  85,  97, 101,  82, 109,  89, 149, 106, 136, 140, 146, 130, 102, 120,
     28,  29,  81,  80,  74,  79,  30,  31,  32,  33,  34,  35,  36,  37,  75,  38,
     78,  77,  39,  40,  41,  42,  43,  44,  45,  46,  47,  48,  49,  50,  51,  52,
     53,  54,  99, 157, 156, 160, 158, 155, 153, 145,  84, 128, 137,  87,  55, 129,
     56,  57,  58,  59,  60,  61,  62,  63,  64,  65,  66,  67,  68,  69,  70,  71,
};

// The pattern's byte that the scan looks for with memchr.
static size_t rarest_byte_at(const char *pattern, size_t length) {
    size_t best = 0;
    for (size_t i = 1; i < length; ++i)
        if (g_byte_rank[(unsigned char)pattern[i]] < g_byte_rank[(unsigned char)pattern[best]]) best = i;
    return best;
}

// First occurrence of the pattern in [from, end): memchr on its rarest byte,
// then a compare; when that byte turns out common here, memmem takes over.
static const char *find_pattern(const char *from, const char *end, const char *pattern,
                                size_t length, size_t rare_at) {
    const unsigned char rare = (unsigned char)pattern[rare_at];
    const char *probe = from + rare_at;
    size_t misses = 0;
    while (probe < end) {
        const char *hit = static_cast<const char *>(memchr(probe, rare, (size_t)(end - probe)));
        if (!hit) return nullptr;
        const char *start = hit - rare_at;
        if ((size_t)(end - start) < length) return nullptr;
        if (memcmp(start, pattern, length) == 0) return start;
        probe = hit + 1;
        if (++misses > 16 && (size_t)(probe - from) < misses * 64)
            return static_cast<const char *>(memmem(start + 1, (size_t)(end - start - 1), pattern, length));
    }
    return nullptr;
}

static size_t count_line_feeds(const char *p, const char *end) {
    size_t n = 0;
    for (; p < end; ++p) n += *p == '\n';
    return n;
}

// Every line holds the empty text: each is printed once.
static void grep_every_line(const char *bytes, size_t length, const char *pattern) {
    const char *end = bytes + length;
    long line = 1;
    for (const char *start = bytes; start < end; ++line) {
        const char *feed = static_cast<const char *>(memchr(start, '\n', (size_t)(end - start)));
        print_match(line, start, line_text_length(start, end), pattern, 0);
        if (!feed) break;
        start = feed + 1;
    }
}

void grep_buffer(const char *bytes, size_t length, const char *pattern, size_t pattern_length) {
    if (!bytes || !pattern) return;
    if (pattern_length == 0) {
        grep_every_line(bytes, length, pattern);
        out_flush();
        return;
    }
    if (length < pattern_length) return;
    const char *end = bytes + length;
    const char *from = bytes;           // where the next search starts
    const char *counted = bytes;        // line feeds before this are counted
    const char *line_start = bytes;
    long line = 1;
    size_t rare_at = rarest_byte_at(pattern, pattern_length);
    while ((size_t)(end - from) >= pattern_length) {
        const char *hit = find_pattern(from, end, pattern, pattern_length, rare_at);
        if (!hit) break;
        // A line feed at the match itself starts the match's line.
        size_t feeds = count_line_feeds(counted, hit + 1);
        if (feeds > 0) {
            line += (long)feeds;
            const char *p = hit;
            while (*p != '\n') --p;
            line_start = p + 1;
        }
        counted = hit + 1;
        print_match(line, line_start, line_text_length(line_start, end), pattern, pattern_length);
        from = hit + pattern_length;
    }
    out_flush();
}

// Reads a regular file whole into *buffer (grown as needed, a zero byte
// after the bytes); 0, or -1 with errno set.
static int read_regular_file(const char *path, char **buffer, size_t *capacity, size_t *out_length) {
    *out_length = 0;
    if (!path) {
        errno = EINVAL;
        return -1;
    }
    // Without blocking: a FIFO must not hang the run.
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    struct stat st;
    int error = 0;
    if (fstat(fd, &st) != 0) error = errno;
    else if (!S_ISREG(st.st_mode)) error = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;  // no end to read to
    size_t size = error ? 0 : (size_t)st.st_size;
    if (!error && (!*buffer || *capacity < size + 1)) {
        char *grown = static_cast<char *>(realloc(*buffer, size + 1));
        if (grown) {
            *buffer = grown;
            *capacity = size + 1;
        } else {
            error = ENOMEM;
        }
    }
    // Never past the size taken from the open file: a growing file is cut there.
    size_t done = 0;
    while (!error && done < size) {
        ssize_t n = read(fd, *buffer + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) error = errno;
        else if (n == 0) break;
        else done += (size_t)n;
    }
    close(fd);
    if (error) {
        errno = error;
        return -1;
    }
    (*buffer)[done] = 0;
    *out_length = done;
    return 0;
}

char *read_whole_file(const char *path, size_t *out_length) {
    char *buffer = nullptr;
    size_t capacity = 0, length = 0;
    if (read_regular_file(path, &buffer, &capacity, &length) != 0) {
        int saved = errno;
        free(buffer);
        errno = saved;
        buffer = nullptr;
    }
    if (out_length) *out_length = length;
    return buffer;
}

char *copy_line(const char *line, const char *last) {
    if (!line || !last) return nullptr;
    size_t room = line <= last ? (size_t)(last - line) + 1 : 0;
    const char *feed = static_cast<const char *>(memchr(line, '\n', room));
    size_t length = feed ? (size_t)(feed - line) + 1 : room;
    char *copy = static_cast<char *>(malloc(length + 1));
    if (!copy) return nullptr;
    memcpy(copy, line, length);
    copy[length] = 0;
    return copy;
}

// One buffer serves every file of the process: no fresh pages per file.
static char *g_file_bytes;
static size_t g_file_capacity;

int grep_file(const char *path) {
    size_t length = 0;
    if (read_regular_file(path, &g_file_bytes, &g_file_capacity, &length) != 0) {
        perror("DFILE");
        return -1;
    }
    const char *pattern = get_env()->d_grep_pattern;
    current_grep_file = path;
    current_grep_file_length = strlen(path);
    if (pattern) grep_buffer(g_file_bytes, length, pattern, strlen(pattern));
    return 0;
}
