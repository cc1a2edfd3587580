#include "line_sort.h"

#include <algorithm>
#include <vector>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "big_block.h"

// Eight bytes at a time while neither read leaves its page; a read may pass
// the line feed (and the block) within the page, hence no address checks.
__attribute__((no_sanitize_address)) bool line_less(const char *a, const char *b) {
    const uint64_t ones = 0x0101010101010101ULL, highs = 0x8080808080808080ULL, feeds = ones * '\n';
    for (;;) {
        if (((uintptr_t)a & 4095) <= 4088 && ((uintptr_t)b & 4095) <= 4088) {
            uint64_t x, y;
            memcpy(&x, a, 8);
            memcpy(&y, b, 8);
            uint64_t f = x ^ feeds;
            if (x == y && !((f - ones) & ~f & highs)) {
                a += 8;
                b += 8;
                continue;
            }
        }
        for (int k = 0; k < 8; ++k, ++a, ++b)
            if (*a != *b || *a == '\n') return (unsigned char)*a < (unsigned char)*b;
    }
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

// True when a line ends within the sixteen bytes of its keys.
static inline bool key_ends_line(const SortedLine &s) {
    // A byte is the line feed where the same byte of key ^ repeated '\n' is 0.
    const uint64_t ones = 0x0101010101010101ULL, highs = 0x8080808080808080ULL, feeds = ones * '\n';
    for (uint64_t word : s.d_key) {
        uint64_t x = word ^ feeds;
        if ((x - ones) & ~x & highs) return true;
    }
    return false;
}

static inline bool key_less(const SortedLine &a, const SortedLine &b) {
    return a.d_key[0] != b.d_key[0] ? a.d_key[0] < b.d_key[0] : a.d_key[1] < b.d_key[1];
}

static inline bool same_keys(const SortedLine &a, const SortedLine &b) {
    return a.d_key[0] == b.d_key[0] && a.d_key[1] == b.d_key[1];
}

// What the sort reads besides the records: the segments, and each inserted
// field's place in the byte order of all of them (with its tab after it),
// equal fields in the same place.
struct SortContext {
    const LineSegment *d_segments;
    std::vector<uint32_t> d_rank;
};

// True when every line of the group has its field put back and the bytes
// the group shares reach past the name's tab: the lines then go by their
// fields' rank, and lines with the same field by what follows it. (No field
// holds a tab or a line feed, so field + tab orders as the rest of the line.)
static bool sort_past_name(SortedLine *lines, size_t n, size_t shared, const SortContext &context) {
    const LineSegment *segments = context.d_segments;
    for (size_t i = 0; i < n; ++i)
        if (!segments[lines[i].d_segment].d_insert) return false;
    size_t head = line_head_length(lines[0], segments);
    if (head > shared) return false;
    const uint32_t *rank = context.d_rank.data();
    std::sort(lines, lines + n, [rank, head](const SortedLine &a, const SortedLine &b) {
        if (rank[a.d_segment] != rank[b.d_segment]) return rank[a.d_segment] < rank[b.d_segment];
        return line_less(a.d_line + head, b.d_line + head);
    });
    return true;
}

// Sets the keys of the group to the sixteen bytes from base. The lines lie
// all over the block, so each is asked for a few records ahead.
static void rekey(SortedLine *lines, size_t n, size_t base, const LineSegment *segments) {
    const size_t ahead = 8;
    for (size_t i = 0; i < n; ++i) {
        if (i + ahead < n) {
            __builtin_prefetch(lines[i + ahead].d_line);
            __builtin_prefetch(&segments[lines[i + ahead].d_segment]);
        }
        whole_line_key(lines[i], segments, base, lines[i].d_key);
    }
}

// Most significant byte first over the keys, in place. A group whose lines
// agree in all sixteen key bytes takes the next sixteen as its keys, unless
// its lines part by their fields; a small group is sorted by its keys, and
// each run of lines with the same keys goes on in the same way.
static void radix_sort(SortedLine *lines, size_t n, int at, size_t base, const SortContext &context) {
    const LineSegment *segments = context.d_segments;
    for (;;) {
        if (at == 16) {
            // Every line here is longer than base + 16: those that ended
            // were set apart at their line feed.
            if (sort_past_name(lines, n, base + 16, context)) return;
            base += 16;
            at = 0;
            rekey(lines, n, base, segments);
        }
        if (n <= 48) break;
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
                radix_sort(lines + end[k] - counts[k], counts[k], at + 1, base, context);
        return;
    }
    std::sort(lines, lines + n, key_less);
    for (size_t i = 0, j; i < n; i = j) {
        for (j = i + 1; j < n && same_keys(lines[i], lines[j]);) ++j;
        // Lines that end within equal keys are equal.
        if (j - i > 1 && !key_ends_line(lines[i])) radix_sort(lines + i, j - i, 16, base, context);
    }
}

// Byte order of two fields, each with a tab after it.
static bool field_less(const LineSegment &a, const LineSegment &b) {
    size_t n = std::min(a.d_insert_length, b.d_insert_length);
    int order = memcmp(a.d_insert, b.d_insert, n);
    if (order != 0) return order < 0;
    unsigned char x = n < a.d_insert_length ? a.d_insert[n] : '\t';
    unsigned char y = n < b.d_insert_length ? b.d_insert[n] : '\t';
    return x < y;
}

static void rank_fields(SortContext &context, size_t segment_count) {
    const LineSegment *segments = context.d_segments;
    std::vector<uint32_t> order;
    for (size_t k = 0; k < segment_count; ++k)
        if (segments[k].d_insert) order.push_back((uint32_t)k);
    std::sort(order.begin(), order.end(),
              [segments](uint32_t a, uint32_t b) { return field_less(segments[a], segments[b]); });
    context.d_rank.assign(segment_count, 0);
    uint32_t rank = 0;
    for (size_t i = 0; i < order.size(); ++i) {
        if (i > 0 && field_less(segments[order[i - 1]], segments[order[i]])) ++rank;
        context.d_rank[order[i]] = rank;
    }
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
    SortContext context = {segments, {}};
    rank_fields(context, segment_count);
    radix_sort(lines, n, 0, 0, context);
    *out_count = n;
    return lines;
}

void free_sorted_lines(SortedLine *lines, size_t count) { big_block_free(lines, count * sizeof(SortedLine)); }
