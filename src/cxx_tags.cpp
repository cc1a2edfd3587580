// C/C++ definitions: every statement the classifier calls a function,
// class, structure, namespace, typedef or macro becomes a tag line. In a C
// file only brace depth 0 is looked at; in C++ every depth.
#include "cxx_tags.h"

#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "classify.h"
#include "condenser.h"
#include "env.h"
#include "statement.h"
#include "tags_format.h"
#include "text.h"

char *define_name(const char *text, char *buffer) {
    char copy[256];
    size_t length = strnlen(text, 255);  // not strncpy: it would pad every copy
    memcpy(copy, text, length);
    copy[length] = 0;
    char *define = strstr(copy, "define");
    if (!define) return nullptr;
    char *blank = strchr(define, ' ');
    if (!blank) return nullptr;
    while (*blank == ' ') ++blank;
    char *end = blank + strcspn(blank, " (");
    *end = 0;
    // "#if defined(X) || \" continues as "defined(X)": no macro is defined.
    if (!*blank) return nullptr;
    strcpy(buffer, blank);
    return buffer;
}

#ifdef __SSE2__
// How many bytes, going back from a[0] and b[0] (at most sixteen), are equal
// and are neither a blank nor a line feed; the fifteen bytes before each are
// readable.
static inline int same_run_back(const char *a, const char *b) {
    __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(a - 15));
    __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i *>(b - 15));
    __m128i stop = _mm_or_si128(_mm_cmpeq_epi8(x, _mm_set1_epi8(' ')), _mm_cmpeq_epi8(x, _mm_set1_epi8('\t')));
    stop = _mm_or_si128(stop, _mm_cmpeq_epi8(x, _mm_set1_epi8('\n')));
    unsigned differ = ~(unsigned)_mm_movemask_epi8(_mm_andnot_si128(stop, _mm_cmpeq_epi8(x, y))) & 0xffff;
    return differ ? 15 - (31 - __builtin_clz(differ)) : 16;
}
#endif

// Lines between the statement's end and its beginning, as 0 or less: the
// source is walked back while the condensed text is, so dropped comments,
// blanks and line breaks are passed over and every newline is counted.
static int lines_back(const FileBuffer *buffer, const char *stmt, int end_offset) {
    const char *src = buffer->d_data;
    int s = (int)strlen(stmt) - 1;
    int p = end_offset - 1;
    int lines = 0;
    if (p < 0) return 0;
    while (s > 0) {
        char c = stmt[s];
        if (c == ' ' || c == '\t') {
            while (p >= 0 && (src[p] == ' ' || src[p] == '\t')) --p;
            if (p < 0) return lines;
            while (s > 0 && (stmt[s] == ' ' || stmt[s] == '\t')) --s;
            continue;
        }
#ifdef __SSE2__
        // A run of bytes the two share is passed in one step: none is a
        // newline, and the walk would only step back over each.
        if (s >= 16 && p >= 16) {
            int run = same_run_back(stmt + s, src + p);
            if (run > 0) {
                s -= run;
                p -= run;
                continue;
            }
        }
#endif
        if (src[p] == '\n') --lines;
        if (src[p] == c) --s;
        if (--p < 0) return lines;
    }
    return lines;
}

static bool tag_name_ok(const char *name) {
    return *name && *name != ' ' && strncmp(name, "enum", 4) != 0 &&
           strncmp(name, "union", 5) != 0 && strncmp(name, "static", 6) != 0 &&
           strncmp(name, "struct", 6) != 0;
}

static char kind_letter(int cls) {
    if (cls & (STMT_FUNCTION | STMT_CLASS)) return (cls & STMT_FUNCTION) ? 'f' : 'c';
    if (cls & STMT_STRUCT) return 's';
    if (cls & STMT_NAMESPACE) return 'n';
    if (cls & STMT_TYPEDEF) return 't';
    return 0;
}

static void write_tag_line(char *stmt, const char *path, int line, int cls, FILE *out) {
    if (cls & STMT_DEFINE) {
        char name[256];
        if (define_name(stmt, name)) write_tag(out, name, path, line, 'd');
        return;
    }
    if (cls & STMT_CLASS) {
        char *colon = strchr(stmt, ':');
        if (colon) *colon = 0;
    }
    char *name = declared_name(stmt);
    if (!tag_name_ok(name)) return;
    char kind = kind_letter(cls);
    if (!kind) return;
    write_tag(out, name, path, line, kind);
    const char *scope = strstr(name, "::");
    if (scope) write_tag(out, scope + 2, path, line, kind);
}

static void emit_tag(FileBuffer *buffer, char *stmt, int cls, FILE *out) {
    if ((cls & STMT_OTHER) || (get_env()->d_flags & FL_SIMULATE)) return;
    const LineMark &mark = buffer->d_marks[get_env()->d_stmt_index];
    int line = mark.d_line + lines_back(buffer, stmt, mark.d_offset) + 1;
    write_tag_line(stmt, buffer->d_path, line, cls, out);
}

int cxx_tags(const char *path, FILE *out) {
    const char *dot = file_extension(path);
    if (!dot) return -1;
    bool c_file = strcmp(dot + 1, "c") == 0;
    StatementCursor cursor;
    cursor_init(&cursor);
    if (cursor_open(&cursor, path) != 0 || cursor_rewind(&cursor) != 0) {
        cursor_close(&cursor);
        return -1;
    }
    const int wanted = STMT_VARIABLE | STMT_TYPEDEF | STMT_FUNCTION | STMT_STRUCT | STMT_CONTROL |
                       STMT_DEFINE | STMT_CLASS | STMT_NAMESPACE;
    while (char *stmt = cursor_next(&cursor)) {
        if (c_file && cursor.d_brace_depth > 0) continue;
        int cls = cursor_classify(&cursor);
        if (cls & wanted) emit_tag(cursor.d_buffer, stmt, cls, out);
    }
    cursor_close(&cursor);
    return 0;
}
