#include "the_fly.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "condenser.h"
#include "env.h"
#include "fly_text.h"
#include "line_map.h"

// The tokenizer's working state, one for the process.
struct FlyState {
    const char *d_in;
    int d_in_len;
    int d_pos;
    char *d_out;
    int d_out_len;
    int d_line;
    LineMap d_map;
    bool d_blank_done;
    char d_prev;
};
static FlyState fly;

static void fly_trace(int line, const char *marker) {
    Env *env = get_env();
    if (!env || !env->d_debug) return;
    fprintf(env->d_debug, "\tBUG at file %s line %i \"%s\"\n", "src/the_fly", line, marker);
    fflush(env->d_debug);
}

static inline bool is_alnum(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

static inline void fly_put(char c) { fly.d_out[fly.d_out_len++] = c; }

static inline bool is_regex_delimiter(char c) {
    return c == '!' || c == '#' || c == '&' || c == '/' || c == '?' || c == '{' || c == '|';
}

// p[1] and p[2] may be the zero byte after the source, never further: p[2]
// is read only when p[1] is the 'r' of a source byte.
static inline bool regex_starts(const char *p, char prev) {
    if (is_alnum(prev) || prev == ')' || prev == '_') return false;
    if (p[0] == '/') return true;
    if (p[0] == 'm' || p[0] == 's') return is_regex_delimiter(p[1]);
    if (p[0] == 't' && p[1] == 'r') return is_regex_delimiter(p[2]);
    return false;
}

bool fly_is_regex() { return regex_starts(fly.d_in + fly.d_pos, fly.d_prev); }

void fly_skip_regex() {
    int start = fly.d_pos;
    char op = fly.d_in[start];
    int parts = op == 's' ? 2 : 1;
    int open = start + (op == 'm' || op == 's' ? 1 : op == 't' ? 2 : 0);
    char close = fly.d_in[open] == '{' ? '}' : fly.d_in[open];
    int escapes = 0;  // backslashes right before the byte scanned
    for (int i = open + 1; i < fly.d_in_len; ++i) {
        char c = fly.d_in[i];
        if (c == '\n') {
            // Not a regular expression after all: copy its first byte.
            fly.d_pos = start;
            fly_put(op);
            return;
        }
        if (c == close && escapes % 2 == 0 && --parts == 0) {
            fly.d_pos = i;
            return;
        }
        escapes = c == '\\' ? escapes + 1 : 0;
    }
    fly_trace(154, "Varkel 2006.2");
    fly.d_pos = fly.d_in_len - 1;
}

void fly_skip() {
    const char *in = fly.d_in;
    int from = fly.d_pos + 2;
    int word = from;
    if (word < fly.d_in_len && (in[word] == '\'' || in[word] == '"')) ++word;
    int word_end = word;
    while (word_end < fly.d_in_len && (is_alnum(in[word_end]) || in[word_end] == '_' || in[word_end] == '*'))
        ++word_end;
    int word_len = word_end - word;
    // The terminator line: a newline, the word, a newline.
    char small[256];
    char *pattern = word_len + 2 <= (int)sizeof small ? small : static_cast<char *>(malloc(word_len + 2));
    const char *found = nullptr;
    if (pattern) {
        pattern[0] = '\n';
        memcpy(pattern + 1, in + word, word_len);
        pattern[word_len + 1] = '\n';
        found = find_bytes(in + from, fly.d_in_len - from, pattern, word_len + 2);
        if (pattern != small) free(pattern);
    }
    if (!found) {
        fly_trace(84, "fly_skip fail !");
        fly.d_pos = fly.d_in_len;
        return;
    }
    fly.d_line += count_char(in + from, found, '\n') + 2;
    fly.d_pos = (int)(found - in) + word_len + 1;
}

// Byte classes of the main loop; the rest is copied as it is. The letters
// that may open a regular expression ('m', 's', 't') and '/' have a class
// of their own: they are tested for one before their other rules.
enum : unsigned char {
    FLY_COPY, FLY_WORD, FLY_PAREN, FLY_END, FLY_BLANK, FLY_QUOTE, FLY_EQUALS, FLY_LESS, FLY_HASH,
    FLY_REGEX_LETTER, FLY_SLASH
};
struct FlyClasses {
    unsigned char d_of[256];
    FlyClasses() : d_of() {
        for (int c = 0; c < 256; ++c)
            if (is_alnum((char)c)) d_of[c] = FLY_WORD;
        d_of[(unsigned char)'m'] = d_of[(unsigned char)'s'] = d_of[(unsigned char)'t'] = FLY_REGEX_LETTER;
        d_of[(unsigned char)'/'] = FLY_SLASH;
        d_of[(unsigned char)'('] = d_of[(unsigned char)')'] = FLY_PAREN;
        d_of[(unsigned char)';'] = d_of[(unsigned char)'{'] = d_of[(unsigned char)'}'] = FLY_END;
        d_of[(unsigned char)' '] = d_of[(unsigned char)'\t'] = d_of[(unsigned char)'\n'] = FLY_BLANK;
        d_of[(unsigned char)'"'] = d_of[(unsigned char)'\''] = FLY_QUOTE;
        d_of[(unsigned char)'='] = FLY_EQUALS;
        d_of[(unsigned char)'<'] = FLY_LESS;
        d_of[(unsigned char)'#'] = FLY_HASH;
    }
};
static const FlyClasses fly_classes;

// A "<<" before a blank, a digit or '=' is the shift operator, not a
// here-document (`$x << 2`, `1<<8`, `$x <<= 1`).
static inline bool is_shift_operator(const char *p) {
    char c = p[2];
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || (c >= '0' && c <= '9') || c == '=';
}

// A stretch that starts at a letter or digit and holds only bytes copied as
// they are, blanks after a letter or digit (each the one blank of its run),
// '#' after '$', '=' (its line-start rule cannot apply inside), and 'm',
// 's', 't' after a word byte or a blank (no regular expression can start
// there), condenses to itself: it is copied at once. This tells whether
// byte c, after byte before, ends such a stretch.
static inline bool ends_stretch(char c, char before) {
    switch (c) {
    case '(': case ')': case ';': case '{': case '}': case '\t': case '\n':
    case '"': case '\'': case '<': case '/':
        return true;
    case ' ':
        return !is_alnum(before);
    case '#':
        return before != '$';
    case 'm': case 's': case 't':
        return !(is_alnum(before) || before == '_' || before == ' ');
    }
    return false;
}

// Where the runs of the 64 source bytes from d_base end: bit i of d_stops is
// set when byte d_base + i ends a stretch, of d_solid when it is no blank;
// d_feeds marks the line feeds. Bytes past the source set d_stops and
// d_solid, so every run ends at the source's end.
struct FlyWindow {
    int d_base;
    uint64_t d_stops;
    uint64_t d_solid;
    uint64_t d_feeds;
};

#ifdef __SSE2__
static inline __m128i bytes_equal(__m128i x, char c) { return _mm_cmpeq_epi8(x, _mm_set1_epi8(c)); }

// Lanes of x holding a byte in [low, low + span].
static inline __m128i bytes_within(__m128i x, char low, char span) {
    __m128i t = _mm_sub_epi8(x, _mm_set1_epi8(low));
    return _mm_cmpeq_epi8(_mm_min_epu8(t, _mm_set1_epi8(span)), t);
}

static inline uint64_t lane_bits(__m128i lanes, int k) {
    return (uint64_t)(unsigned)_mm_movemask_epi8(lanes) << (16 * k);
}
#endif

static void fly_window_fill(FlyWindow &w, const char *in, int len, int base) {
    w.d_base = base;
    w.d_stops = w.d_solid = w.d_feeds = 0;
#ifdef __SSE2__
    // Sixteen bytes at a time, each with the byte before it (so not at the
    // source's first byte). A stop found here may be a byte that could stay
    // in the stretch ('!', '%', '&', control bytes, '#' after '$'): the
    // stretch is only cut shorter, and the main loop takes that byte by its
    // own rules. Every byte that must end a stretch is found.
    if (base > 0 && base + 64 <= len) {
        for (int k = 0; k < 4; ++k) {
            const char *p = in + base + 16 * k;
            __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
            __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p - 1));
            __m128i alnum_before = _mm_or_si128(bytes_within(_mm_or_si128(y, _mm_set1_epi8(0x20)), 'a', 25),
                                                bytes_within(y, '0', 9));
            __m128i space = bytes_equal(x, ' ');
            __m128i feed = bytes_equal(x, '\n');
            __m128i tab = bytes_equal(x, '\t');
            // Up to ')': blanks, quotes, '#', parentheses, and '$' to take out.
            __m128i low = _mm_cmpeq_epi8(_mm_min_epu8(x, _mm_set1_epi8(')')), x);
            __m128i stop = _mm_andnot_si128(_mm_or_si128(space, bytes_equal(x, '$')), low);
            stop = _mm_or_si128(stop, _mm_andnot_si128(alnum_before, space));
            stop = _mm_or_si128(stop, bytes_equal(x, '/'));
            stop = _mm_or_si128(stop, bytes_within(x, ';', 1));  // ';' and '<'
            stop = _mm_or_si128(stop, bytes_equal(x, '{'));
            stop = _mm_or_si128(stop, bytes_equal(x, '}'));
            __m128i regex_letter = _mm_or_si128(_mm_or_si128(bytes_equal(x, 'm'), bytes_equal(x, 's')),
                                                bytes_equal(x, 't'));
            __m128i safe_before = _mm_or_si128(alnum_before, _mm_or_si128(bytes_equal(y, '_'), bytes_equal(y, ' ')));
            stop = _mm_or_si128(stop, _mm_andnot_si128(safe_before, regex_letter));
            w.d_stops |= lane_bits(stop, k);
            w.d_feeds |= lane_bits(feed, k);
            w.d_solid |= lane_bits(_mm_or_si128(_mm_or_si128(space, feed), tab), k);
        }
        w.d_solid = ~w.d_solid;
        return;
    }
#endif
    for (int i = 0; i < 64; ++i) {
        uint64_t bit = (uint64_t)1 << i;
        if (base + i >= len) {
            w.d_stops |= bit;
            w.d_solid |= bit;
            continue;
        }
        char c = in[base + i];
        char before = base + i > 0 ? in[base + i - 1] : 0;
        if (ends_stretch(c, before)) w.d_stops |= bit;
        if (c != ' ' && c != '\t' && c != '\n') w.d_solid |= bit;
        if (c == '\n') w.d_feeds |= bit;
    }
}

// The first byte at or after pos whose bit is set in the window's field
// (d_stops or d_solid); the window moves forward as needed. Adds the line
// feeds passed to *lines when it is given.
static inline int fly_run_end(FlyWindow &w, uint64_t FlyWindow::*bits, const char *in, int len, int pos,
                              int *lines) {
    for (;;) {
        if (pos >= len) return len;
        if (pos < w.d_base || pos >= w.d_base + 64) fly_window_fill(w, in, len, pos);
        int shift = pos - w.d_base;
        uint64_t rest = (w.*bits) >> shift;
        uint64_t feeds = w.d_feeds >> shift;
        if (rest) {
            int run = __builtin_ctzll(rest);
            if (lines) {
                for (feeds &= ((uint64_t)1 << run) - 1; feeds; feeds &= feeds - 1) ++*lines;
            }
            return pos + run;
        }
        if (lines) {
            for (; feeds; feeds &= feeds - 1) ++*lines;
        }
        pos = w.d_base + 64;
    }
}

int fly_condense(const char *source, int size, char *out) {
    fly.d_in = source;
    fly.d_in_len = size > 0 ? size : 0;
    fly.d_out = out;
    line_map_start(&fly.d_map, fly.d_in_len);

    // The loop keeps the state in locals: stores through the output pointer
    // could otherwise alias the state record. The steps that work on the
    // record get it in sync before they run.
    const unsigned char *of = fly_classes.d_of;
    const char *in = source;
    int len = fly.d_in_len;
    int pos = 0;
    char *o = out;
    int line = 0;
    bool blank_done = false;
    char prev = 'a';
    FlyWindow window = {-64, 0, 0, 0};
    LineMap map = fly.d_map;
    auto to_state = [&] {
        fly.d_pos = pos;
        fly.d_out_len = (int)(o - out);
        fly.d_line = line;
        fly.d_prev = prev;
        fly.d_blank_done = blank_done;
        fly.d_map = map;
    };
    auto from_state = [&] {
        pos = fly.d_pos;
        o = out + fly.d_out_len;
        line = fly.d_line;
        map = fly.d_map;
    };
    // An interpreter line (#!) or a leading '=' line is passed over; its
    // newline is then counted by the loop like any other.
    if (len > 0 && (in[0] == '=' || in[0] == '#')) {
        const char *nl = static_cast<const char *>(memchr(in + 1, '\n', len - 1));
        pos = nl ? (int)(nl - in) : len;
    }
    for (; pos < len; ++pos) {
        char c = in[pos];
        char before = pos > 0 ? in[pos - 1] : 0;
        switch (of[(unsigned char)c]) {
        case FLY_SLASH:
        case FLY_REGEX_LETTER:
            if (regex_starts(in + pos, prev)) {
                to_state();
                fly_skip_regex();
                from_state();
                break;
            }
            if (of[(unsigned char)c] == FLY_SLASH) {
                prev = c;
                *o++ = c;
                break;
            }
            // A letter that starts no regular expression begins a word.
            [[fallthrough]];
        case FLY_WORD: {
            // A stretch (see ends_stretch) starts at a letter or digit; none
            // of its bytes after the first can start a regular expression.
            // It is copied at once.
            int end = fly_run_end(window, &FlyWindow::d_stops, in, len, pos + 1, nullptr);
            int run = end - pos;
            // The text never runs ahead of three times the bytes read, so out has room.
            o = copy_stretch(o, in, pos, run, len);
            pos = end - 1;
            // The last blank or letter or digit sets the blank flag (the
            // first byte is one); the other bytes leave it. A blank in a
            // stretch follows a letter or digit, so prev, the last byte that
            // is no blank, is the one before.
            int k = pos;
            while (in[k] != ' ' && !is_alnum(in[k])) --k;
            blank_done = in[k] == ' ';
            prev = in[pos] == ' ' ? in[pos - 1] : in[pos];
            break;
        }
        default:
            prev = c;
            *o++ = c;
            break;
        case FLY_PAREN:
            if (!blank_done) *o++ = ' ';
            *o++ = c;
            *o++ = ' ';
            blank_done = true;
            prev = c;
            break;
        case FLY_END: {
            // The statement walker takes an end right after a backslash for an
            // escaped one, so the text shows a backslash before exactly the
            // ends that have no map entry: those escaped in the source.
            bool with_entry = before != '\\';
            if (with_entry && (!blank_done || (o > out && o[-1] == '\\'))) *o++ = ' ';
            *o++ = c;
            if (with_entry) line_map_add(&map, line, pos);
            *o++ = ' ';
            blank_done = true;
            prev = c;
            break;
        }
        case FLY_BLANK:
            // A run of blanks leaves one, or none after another blank.
            if (!blank_done) {
                *o++ = ' ';
                blank_done = true;
            }
            pos = fly_run_end(window, &FlyWindow::d_solid, in, len, pos, &line) - 1;
            break;
        case FLY_QUOTE:
            if (before == '$' || before == '\\' || (c == '\'' && (before == '&' || is_alnum(before)))) {
                prev = c;
                *o++ = c;
            } else {
                const char *end = skip_string_lines(in + pos, in + len + 1, &line);
                pos = (int)(end - in);
                prev = c;
                *o++ = c;
                *o++ = c;
            }
            break;
        case FLY_EQUALS:
            if (before == '\n') {
                // A POD block runs to its "=cut" line.
                const char *cut = find_bytes(in + pos, len - pos, "\n=cut\n", 6);
                if (cut) {
                    line += count_char(in + pos, cut, '\n') + 1;
                    pos = (int)(cut - in) + 4;
                } else {
                    pos = len;
                }
            } else {
                *o++ = c;
            }
            prev = '=';
            break;
        case FLY_LESS:
            if (in[pos + 1] != '<') {
                *o++ = c;
            } else if (is_shift_operator(in + pos)) {
                *o++ = '<';
                *o++ = '<';
                ++pos;
            } else {
                to_state();
                fly_skip();
                from_state();
                if (pos >= len) {
                    // No terminator: the rest is skipped and no end written.
                    *o++ = 0;
                    goto done;
                }
                if (o > out && o[-1] == '\\') *o++ = ' ';
                *o++ = ';';
                line_map_add(&map, line, pos);
                *o++ = ' ';
                blank_done = false;
            }
            prev = '<';
            break;
        case FLY_HASH:
            if (before == '$') {
                *o++ = c;
            } else {
                const char *nl = static_cast<const char *>(memchr(in + pos, '\n', len - pos));
                pos = nl ? (int)(nl - in) - 1 : len - 1;
            }
            prev = '#';
            break;
        }
    }
done:
    *o++ = 0;
    to_state();
    return fly.d_out_len;
}

LineMark *fly_take_marks(int *count, int *capacity) {
    LineMark *marks = fly.d_map.d_marks;
    if (count) *count = fly.d_map.d_count;
    if (capacity) *capacity = fly.d_map.d_capacity;
    fly.d_map.d_marks = nullptr;
    fly.d_map.d_capacity = 0;
    return marks;
}

char *fly_load(FileBuffer *buffer) {
    if (!buffer) return nullptr;
    // Opening is the test of readability: no separate access call per file.
    if (file_buffer_read(buffer) != 0) {
        fprintf(stderr, "No such file %s\n", buffer->d_path ? buffer->d_path : "");
        return nullptr;
    }
    int size = buffer->d_size > 0 ? buffer->d_size : 0;
    // No source byte gives more than three bytes of text; one or two zeros end it.
    char *text = static_cast<char *>(malloc((size_t)size * 4 + 4));
    if (!text) return nullptr;
    text[0] = 0;
    buffer->d_text = text;
    int written = fly_condense(buffer->d_data, size, text);
    buffer->d_text_len = written > 0 ? written - 1 : 0;
    int count = 0;
    buffer->d_marks = fly_take_marks(&count, nullptr);
    // Only written entries count as held: a reader past them gets no line.
    buffer->d_mark_capacity = buffer->d_marks ? count + 1 : 0;
    return text;
}
