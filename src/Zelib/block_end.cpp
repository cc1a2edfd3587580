#include "block_end.h"

#include <cstring>

static bool in_block_comment;

void block_end_reset() { in_block_comment = false; }
bool block_end_in_comment() { return in_block_comment; }

int block_end_scan(const char *line, int *depth, bool is_function) {
    if (!line) return 0;
    return block_end_scan_n(line, strlen(line), depth, is_function);
}

// Position after the literal opened at line[i], or length when it stays open.
static size_t skip_literal(const char *line, size_t length, size_t i) {
    char quote = line[i];
    size_t backslashes = 0;
    for (size_t k = i + 1; k < length; ++k) {
        char c = line[k];
        if (c == quote && backslashes % 2 == 0) return k + 1;
        backslashes = c == '\\' ? backslashes + 1 : 0;
    }
    return length;
}

int block_end_scan_n(const char *line, size_t length, int *depth, bool is_function) {
    if (!line || !depth || length == 0) return 0;
    bool brace_seen = false;
    size_t i = 0;
    while (i < length) {
        char c = line[i];
        char next = i + 1 < length ? line[i + 1] : 0;
        // An opening "/*" counts even inside a comment.
        if (c == '/' && next == '*') {
            in_block_comment = true;
            i += 2;
            continue;
        }
        if (in_block_comment) {
            if (c == '*' && next == '/') {
                in_block_comment = false;
                i += 2;
            } else {
                ++i;
            }
            continue;
        }
        if (c == '/' && next == '/') break;
        if (c == '\'' || c == '"') {
            i = skip_literal(line, length, i);
            continue;
        }
        if (c == '{') {
            ++*depth;
            brace_seen = true;
        } else if (c == '}') {
            --*depth;
            brace_seen = true;
        } else if (c == ';' && *depth == 0 && !is_function) {
            return 1;
        }
        ++i;
    }
    return brace_seen ? 1 : 0;
}
