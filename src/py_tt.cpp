#include "py_tt.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

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

// A stretch of plain bytes and single blanks after them condenses to itself
// (each such blank is the one a run of blanks leaves), so it is copied at
// once. Where the runs of the 64 source bytes from d_base end: bit i of
// d_stops is set when byte d_base + i cannot be in a stretch (a byte with a
// rule of its own other than the blank, a tab, or a blank after a blank), of
// d_solid when it is no blank. Bytes past the source set both, so every run
// ends at the source's end.
struct PyWindow {
    int d_base;
    uint64_t d_stops;
    uint64_t d_solid;
};

static void py_window_fill(PyWindow &w, const char *in, int len, int base) {
    w.d_base = base;
    uint64_t spaces = 0, others = 0, solid = 0;
#ifdef __SSE2__
    if (base + 64 <= len) {
        for (int k = 0; k < 4; ++k) {
            __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + base + 16 * k));
            __m128i space = _mm_cmpeq_epi8(x, _mm_set1_epi8(' '));
            __m128i tab = _mm_cmpeq_epi8(x, _mm_set1_epi8('\t'));
            __m128i other = _mm_or_si128(tab, _mm_cmpeq_epi8(x, _mm_set1_epi8('"')));
            other = _mm_or_si128(other, _mm_cmpeq_epi8(x, _mm_set1_epi8('\'')));
            other = _mm_or_si128(other, _mm_cmpeq_epi8(x, _mm_set1_epi8('#')));
            other = _mm_or_si128(other, _mm_cmpeq_epi8(x, _mm_set1_epi8('\n')));
            other = _mm_or_si128(other, _mm_cmpeq_epi8(x, _mm_set1_epi8(':')));
            spaces |= (uint64_t)(unsigned)_mm_movemask_epi8(space) << (16 * k);
            others |= (uint64_t)(unsigned)_mm_movemask_epi8(other) << (16 * k);
            solid |= (uint64_t)(unsigned)(~_mm_movemask_epi8(_mm_or_si128(space, tab)) & 0xffff) << (16 * k);
        }
    } else
#endif
    {
        for (int i = 0; i < 64; ++i) {
            if (base + i >= len) {
                others |= (uint64_t)1 << i;
                solid |= (uint64_t)1 << i;
                continue;
            }
            char c = in[base + i];
            if (c == ' ') spaces |= (uint64_t)1 << i;
            else if (py_classes.d_of[(unsigned char)c] != PY_COPY) others |= (uint64_t)1 << i;
            if (c != ' ' && c != '\t') solid |= (uint64_t)1 << i;
        }
    }
    uint64_t after_space = spaces << 1 | (uint64_t)(base > 0 && in[base - 1] == ' ');
    w.d_stops = others | (spaces & after_space);
    w.d_solid = solid;
}

// The first byte at or after pos whose bit is set in the window's field
// (d_stops or d_solid); the window moves forward as needed.
static inline int py_run_end(PyWindow &w, uint64_t PyWindow::*bits, const char *in, int len, int pos) {
    for (;;) {
        if (pos >= len) return len;
        if (pos < w.d_base || pos >= w.d_base + 64) py_window_fill(w, in, len, pos);
        uint64_t rest = (w.*bits) >> (pos - w.d_base);
        if (rest) return pos + __builtin_ctzll(rest);
        pos = w.d_base + 64;
    }
}

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
    PyWindow window = {-64, 0, 0};
    LineMap map = py.d_map;
    for (int pos = 0; pos < len; ++pos) {
        char c = in[pos];
        switch (of[(unsigned char)c]) {
        case PY_COPY: {
            // Words and operators come in stretches: copy the stretch at once.
            token_seen = true;
            int end = py_run_end(window, &PyWindow::d_stops, in, len, pos + 1);
            blank_done = in[end - 1] == ' ';
            int run = end - pos;
            // The text never runs ahead of twice the bytes read, so out has room.
            o = copy_stretch(o, in, pos, run, len);
            pos = end - 1;
            break;
        }
        case PY_QUOTE:
            if (in[pos + 1] == c && in[pos + 2] == c) {
                // A triple-quoted string leaves nothing but its line count.
                const char triple[3] = {c, c, c};
                const char *end = find_bytes(in + pos + 3, len - pos - 3, triple, 3);
                const char *stop = end ? end + 2 : in + len - 1;
                line += count_char(in + pos, stop, '\n');
                pos = (int)(stop - in);
            } else {
                const char *end = skip_string_lines(in + pos, in + len + 1, &line);
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
                pos = py_run_end(window, &PyWindow::d_solid, in, len, pos + 1) - 1;
            }
            break;
        case PY_COMMENT: {
            const char *nl = static_cast<const char *>(memchr(in + pos, '\n', len - pos));
            pos = nl ? (int)(nl - in) - 1 : len - 1;
            break;
        }
        case PY_LINE_FEED:
            line_map_add(&map, line, pos);
            ++line;
            *o++ = '\n';
            break;
        case PY_COLON:
            line_map_add(&map, line, pos);
            *o++ = ':';
            blank_done = false;
            token_seen = true;
            break;
        }
    }
    *o++ = 0;
    py.d_map = map;
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

char py_next_statement(char **cursor, const char *limit) {
    char *p = *cursor;
#ifdef __SSE2__
    // Sixteen bytes at a time while they lie before limit.
    while (limit - p >= 16) {
        __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        __m128i hit = _mm_or_si128(_mm_cmpeq_epi8(x, _mm_set1_epi8('\n')), _mm_cmpeq_epi8(x, _mm_set1_epi8(':')));
        hit = _mm_or_si128(hit, _mm_cmpeq_epi8(x, _mm_setzero_si128()));
        unsigned mask = (unsigned)_mm_movemask_epi8(hit);
        if (mask) {
            p += __builtin_ctz(mask);
            goto found;
        }
        p += 16;
    }
#endif
    while (*p != '\n' && *p != ':' && *p != 0) ++p;
#ifdef __SSE2__
found:
#endif
    char end = *p;
    if (end) *p = 0;
    *cursor = p + 1;
    return end;
}
