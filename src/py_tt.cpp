#include "py_tt.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "condenser.h"
#include "fly_text.h"
#include "line_map.h"
#include "the_fly.h"

// The condenser's working state, one for the process.
struct PyTtState {
    const char *d_in;
    int d_in_len;
    int d_pos;
    char *d_out;
    int d_out_len;
    int d_line;
    LineMap d_map;
    bool d_blank_done;
};
static PyTtState py;

static inline void py_put(char c) { py.d_out[py.d_out_len++] = c; }

static void py_mark(int line, int pos) { line_map_add(&py.d_map, line, pos); }

// Byte classes of the condenser; every byte without a rule of its own is
// copied like a letter.
enum : unsigned char { PY_COPY, PY_QUOTE, PY_BLANK, PY_COMMENT, PY_LINE_FEED, PY_COLON };
struct PyClasses {
    unsigned char d_of[256];
    PyClasses() : d_of() {
        d_of[(unsigned char)'"'] = d_of[(unsigned char)'\''] = PY_QUOTE;
        d_of[(unsigned char)' '] = d_of[(unsigned char)'\t'] = PY_BLANK;
        d_of[(unsigned char)'#'] = PY_COMMENT;
        d_of[(unsigned char)'\n'] = PY_LINE_FEED;
        d_of[(unsigned char)':'] = PY_COLON;
    }
};
static const PyClasses py_classes;

int py_tt_condense(const char *source, int size, char *out) {
    py.d_in = source;
    py.d_in_len = size > 0 ? size : 0;
    py.d_out = out;
    line_map_start(&py.d_map, py.d_in_len);

    // The loop works on locals: stores through the output pointer could
    // otherwise alias the state record and force it back to memory.
    const unsigned char *of = py_classes.d_of;
    const char *in = source;
    int len = py.d_in_len;
    char *o = out;
    int line = 0;
    bool blank_done = false;
    bool token_seen = false;
    for (int pos = 0; pos < len; ++pos) {
        char c = in[pos];
        switch (of[(unsigned char)c]) {
        case PY_COPY:
            // Words and operators come in runs: copy the run at once.
            blank_done = false;
            token_seen = true;
            *o++ = c;
            while (pos + 1 < len && of[(unsigned char)in[pos + 1]] == PY_COPY) *o++ = in[++pos];
            break;
        case PY_QUOTE:
            if (in[pos + 1] == c && in[pos + 2] == c) {
                // A triple-quoted string leaves nothing but its line count.
                const char triple[3] = {c, c, c};
                const char *end = find_bytes(in + pos + 3, len - pos - 3, triple, 3);
                const char *stop = end ? end + 2 : in + len - 1;
                line += count_char(in + pos, stop, '\n');
                pos = (int)(stop - in);
            } else {
                const char *end = skip_string(in + pos);
                line += count_char(in + pos, end, '\n');
                pos = (int)(end - in);
                *o++ = c;
                *o++ = c;
            }
            break;
        case PY_BLANK:
            if (!token_seen) {
                *o++ = c;
                blank_done = true;
            } else {
                if (!blank_done) {
                    *o++ = ' ';
                    blank_done = true;
                }
                // The rest of the run changes nothing.
                while (pos + 1 < len && of[(unsigned char)in[pos + 1]] == PY_BLANK) ++pos;
            }
            break;
        case PY_COMMENT: {
            const char *nl = static_cast<const char *>(memchr(in + pos, '\n', len - pos));
            pos = nl ? (int)(nl - in) - 1 : len - 1;
            break;
        }
        case PY_LINE_FEED:
            py_mark(line, pos);
            ++line;
            *o++ = '\n';
            break;
        case PY_COLON:
            py_mark(line, pos);
            *o++ = ':';
            blank_done = false;
            token_seen = true;
            break;
        }
    }
    *o++ = 0;
    py.d_pos = len;
    py.d_line = line;
    py.d_blank_done = blank_done;
    py.d_out_len = (int)(o - out);
    return py.d_out_len;
}

LineMark *py_tt_take_marks(int *count) {
    LineMark *marks = py.d_map.d_marks;
    if (count) *count = py.d_map.d_count;
    py.d_map.d_marks = nullptr;
    py.d_map.d_capacity = 0;
    return marks;
}

char *py_tt_load(FileBuffer *buffer) {
    if (!buffer) return nullptr;
    // Opening is the test of readability: no separate access call per file.
    if (file_buffer_read(buffer) != 0) {
        fprintf(stderr, "No such file %s\n", buffer->d_path ? buffer->d_path : "");
        return nullptr;
    }
    int size = buffer->d_size > 0 ? buffer->d_size : 0;
    // A literal of one byte (a lone quote) gives two: no byte gives more.
    char *text = static_cast<char *>(malloc((size_t)size * 2 + 2));
    if (!text) return nullptr;
    text[0] = 0;
    buffer->d_text = text;
    int written = py_tt_condense(buffer->d_data, size, text);
    buffer->d_text_len = written - 1;
    int count = 0;
    buffer->d_marks = py_tt_take_marks(&count);
    // Only written entries count as held: a reader past them gets no line.
    buffer->d_mark_capacity = buffer->d_marks ? count + 1 : 0;
    return text;
}

char py_next_statement(char **cursor) {
    char *p = *cursor;
    p += strcspn(p, "\n:");
    char end = *p;
    if (end) *p = 0;
    *cursor = p + 1;
    return end;
}
