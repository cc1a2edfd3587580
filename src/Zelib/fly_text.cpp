#include "fly_text.h"

#include <cstring>

const char *skip_string(const char *p) {
    if (!p || *p == 0) return nullptr;
    const char *s = p;
    for (;;) {
        char quote = *s;
        if (quote != '"' && quote != '\'') return s - 1;
        // Inside the literal: a backslash escapes the byte after it, so the
        // closing quote is the first one not preceded by an odd run of them.
        ++s;
        for (;;) {
            char c = *s;
            if (c == 0) return s - 1;
            if (c == '\\') {
                if (s[1] == 0) return s;
                s += 2;
                continue;
            }
            ++s;
            if (c == quote) break;
        }
        // s is past the closing quote: a literal right after it joins the run.
    }
}

int count_char(const char *begin, const char *end, char c) {
    if (!begin || !end || end <= begin) return 0;
    int n = 0;
    const char *p = begin;
    while ((p = static_cast<const char *>(memchr(p, c, end - p)))) {
        ++n;
        ++p;
    }
    return n;
}

const char *find_bytes(const char *text, int text_length, const char *pattern, int pattern_length) {
    if (!text || !pattern || text_length < pattern_length || pattern_length < 0) return nullptr;
    return static_cast<const char *>(memmem(text, text_length, pattern, pattern_length));
}
