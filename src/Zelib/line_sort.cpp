#include "line_sort.h"

#include <algorithm>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "big_block.h"

bool line_less(const char *a, const char *b) {
    while (*a == *b && *a != '\n') {
        ++a;
        ++b;
    }
    return (unsigned char)*a < (unsigned char)*b;
}

static uint64_t load_big_endian(const char *p) {
    uint64_t v;
    memcpy(&v, p, 8);
    return __builtin_bswap64(v);
}

// Sets the two keys from the first sixteen bytes of a line of the given
// length (line feed included); avail is how many bytes may be read.
static void line_key(const char *line, size_t length, size_t avail, uint64_t key[2]) {
    if (avail >= 16) {
        key[0] = load_big_endian(line);
        key[1] = load_big_endian(line + 8);
    } else {
        unsigned char bytes[16] = {0};
        memcpy(bytes, line, avail);
        key[0] = load_big_endian(reinterpret_cast<char *>(bytes));
        key[1] = load_big_endian(reinterpret_cast<char *>(bytes) + 8);
    }
    // Zeros after the line feed.
    if (length < 8) {
        key[0] &= ~(~0ULL >> (8 * length));
        key[1] = 0;
    } else if (length < 16) {
        key[1] &= ~(~0ULL >> (8 * (length - 8)));
    }
}

static inline int key_byte(const SortedLine &s, int at) {
    return (int)(s.d_key[at >> 3] >> (56 - 8 * (at & 7))) & 0xff;
}

size_t line_head_length(const SortedLine &line, const LineSegment *segments) {
    if (!segments[line.d_segment].d_insert) return line.d_length;
    // Names are short: look at them in place, sixteen bytes at a time.
    const char *p = line.d_line;
    size_t i = 0, n = line.d_length;
#ifdef __SSE2__
    for (; i + 16 <= n; i += 16) {
        int mask = _mm_movemask_epi8(
            _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p + i)), _mm_set1_epi8('\t')));
        if (mask) return i + __builtin_ctz(mask) + 1;
    }
#endif
    for (; i < n; ++i)
        if (p[i] == '\t') return i + 1;
    return n;
}

// Copies bytes [from, from + n) of the whole line into out, stopping after
// its line feed; returns how many were copied.
static size_t whole_line_bytes(const SortedLine &line, const LineSegment *segments, size_t from, char *out,
                               size_t n) {
    const LineSegment &segment = segments[line.d_segment];
    size_t head = line_head_length(line, segments);
    size_t insert = segment.d_insert ? segment.d_insert_length : 0;
    const char *parts[3] = {line.d_line, segment.d_insert, line.d_line + head};
    size_t lengths[3] = {head, insert, line.d_length - head};
    size_t copied = 0;
    for (int k = 0; k < 3 && copied < n; ++k) {
        if (from >= lengths[k]) {
            from -= lengths[k];
            continue;
        }
        size_t take = std::min(lengths[k] - from, n - copied);
        memcpy(out + copied, parts[k] + from, take);
        copied += take;
        from = 0;
    }
    return copied;
}

// The keys of the sixteen bytes of the whole line from `from`.
static void whole_line_key(const SortedLine &line, const LineSegment *segments, size_t from, uint64_t key[2]) {
    char bytes[16];
    size_t n = whole_line_bytes(line, segments, from, bytes, 16);
    line_key(bytes, n, n, key);
}

static size_t whole_length(const SortedLine &line, const LineSegment *segments) {
    const LineSegment &segment = segments[line.d_segment];
    return line.d_length + (segment.d_insert ? segment.d_insert_length : 0);
}

// Orders records whose whole lines share their first `base` bytes and whose
// keys hold the sixteen bytes from there.
struct LessFrom {
    size_t d_base;
    const LineSegment *d_segments;
    bool operator()(const SortedLine &a, const SortedLine &b) const {
        if (a.d_key[0] != b.d_key[0]) return a.d_key[0] < b.d_key[0];
        if (a.d_key[1] != b.d_key[1]) return a.d_key[1] < b.d_key[1];
        // Sixteen more bytes are equal; lines that end within them are equal.
        size_t from = d_base + 16;
        if (whole_length(a, d_segments) <= from || whole_length(b, d_segments) <= from) return false;
        const char *insert_a = d_segments[a.d_segment].d_insert, *insert_b = d_segments[b.d_segment].d_insert;
        if (!insert_a && !insert_b) return line_less(a.d_line + from, b.d_line + from);
        // Still within both names (no tab yet), the stored bytes are the line's.
        if (insert_a && insert_b && !memchr(a.d_line, '\t', from) && !memchr(b.d_line, '\t', from)) {
            const char *x = a.d_line + from, *y = b.d_line + from;
            while (*x == *y && *x != '\t' && *x != '\n') {
                ++x;
                ++y;
            }
            if (*x != *y || *x == '\n') return (unsigned char)*x < (unsigned char)*y;
            // The same name: the inserted fields, then the rest of the lines.
            size_t length_a = d_segments[a.d_segment].d_insert_length;
            size_t length_b = d_segments[b.d_segment].d_insert_length;
            int order = memcmp(insert_a, insert_b, std::min(length_a, length_b));
            if (order != 0 || length_a != length_b) {
                if (order != 0) return order < 0;
                // One field is a prefix of the other: the next byte decides.
                return length_a < length_b ? (unsigned char)x[1] < (unsigned char)insert_b[length_a]
                                           : (unsigned char)insert_a[length_b] < (unsigned char)y[1];
            }
            return line_less(x + 1, y + 1);
        }
        for (;; from += 64) {
            char x[64], y[64];
            size_t nx = whole_line_bytes(a, d_segments, from, x, 64);
            size_t ny = whole_line_bytes(b, d_segments, from, y, 64);
            for (size_t i = 0; i < std::min(nx, ny); ++i) {
                if (x[i] != y[i]) return (unsigned char)x[i] < (unsigned char)y[i];
                if (x[i] == '\n') return false;
            }
            if (nx != ny || nx < 64) return nx < ny;
        }
    }
};

// Most significant byte first over the keys, in place. A group whose lines
// agree in all sixteen key bytes takes the next sixteen as its keys; small
// groups are left to comparisons.
static void radix_sort(SortedLine *lines, size_t n, int at, size_t base, const LineSegment *segments) {
    while (n > 48) {
        if (at == 16) {
            // Every line here is longer than base + 16: those that ended
            // were set apart at their line feed.
            base += 16;
            at = 0;
            for (size_t i = 0; i < n; ++i) whole_line_key(lines[i], segments, base, lines[i].d_key);
        }
        size_t counts[256] = {0};
        for (size_t i = 0; i < n; ++i) ++counts[key_byte(lines[i], at)];
        size_t next[256], end[256], sum = 0;
        int groups = 0;
        for (int k = 0; k < 256; ++k) {
            next[k] = sum;
            sum += counts[k];
            end[k] = sum;
            groups += counts[k] != 0;
        }
        if (groups == 1) {  // all share this byte: look at the next one
            if (key_byte(lines[0], at) == '\n') return;
            ++at;
            continue;
        }
        for (int k = 0; k < 256; ++k) {
            while (next[k] < end[k]) {
                SortedLine moving = lines[next[k]];
                int d = key_byte(moving, at);
                while (d != k) {
                    std::swap(moving, lines[next[d]++]);
                    d = key_byte(moving, at);
                }
                lines[next[k]++] = moving;
            }
        }
        // A line feed here ends every line of its group: they are equal.
        for (int k = 0; k < 256; ++k)
            if (counts[k] > 1 && k != '\n')
                radix_sort(lines + end[k] - counts[k], counts[k], at + 1, base, segments);
        return;
    }
    std::sort(lines, lines + n, LessFrom{base, segments});
}

SortedLine *sort_lines(const char *text, size_t length, const LineSegment *segments, size_t segment_count,
                       size_t *out_count) {
    *out_count = 0;
    if (length > 0 && (text[length - 1] != '\n' || segment_count == 0 || segments[segment_count - 1].d_end != length))
        return nullptr;
    size_t capacity = length / 32 + 64, n = 0;
    SortedLine *lines = static_cast<SortedLine *>(big_block_grow(nullptr, 0, capacity * sizeof(SortedLine)));
    uint32_t segment = 0;
    for (size_t at = 0; lines && at < length; ++n) {
        if (n == capacity) {
            void *grown = big_block_grow(lines, capacity * sizeof(SortedLine), 2 * capacity * sizeof(SortedLine));
            if (!grown) {
                big_block_free(lines, capacity * sizeof(SortedLine));
                return nullptr;
            }
            lines = static_cast<SortedLine *>(grown);
            capacity *= 2;
        }
        while (segments[segment].d_end <= at) ++segment;
        const char *line = text + at;
        size_t line_length = static_cast<const char *>(memchr(line, '\n', length - at)) - line + 1;
        if (line_length > UINT32_MAX) {
            big_block_free(lines, capacity * sizeof(SortedLine));
            return nullptr;
        }
        SortedLine &s = lines[n];
        s.d_line = line;
        s.d_length = (uint32_t)line_length;
        s.d_segment = segment;
        if (segments[segment].d_insert) whole_line_key(s, segments, 0, s.d_key);
        else line_key(line, line_length, length - at, s.d_key);
        at += line_length;
    }
    if (!lines) return nullptr;
    // Give back what the estimate left over, so that the size is the count.
    void *shrunk = big_block_grow(lines, capacity * sizeof(SortedLine), n * sizeof(SortedLine));
    if (shrunk) lines = static_cast<SortedLine *>(shrunk);
    radix_sort(lines, n, 0, 0, segments);
    *out_count = n;
    return lines;
}

void free_sorted_lines(SortedLine *lines, size_t count) { big_block_free(lines, count * sizeof(SortedLine)); }
