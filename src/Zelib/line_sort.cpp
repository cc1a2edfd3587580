#include "line_sort.h"

#include <algorithm>
#include <cstring>

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

// Orders records whose lines share their first `base` bytes and whose keys
// hold the sixteen bytes from there.
struct LessFrom {
    size_t d_base;
    bool operator()(const SortedLine &a, const SortedLine &b) const {
        if (a.d_key[0] != b.d_key[0]) return a.d_key[0] < b.d_key[0];
        if (a.d_key[1] != b.d_key[1]) return a.d_key[1] < b.d_key[1];
        // Sixteen more bytes are equal; lines that end within them are equal.
        size_t end = d_base + 16;
        if (a.d_length <= end || b.d_length <= end) return false;
        return line_less(a.d_line + end, b.d_line + end);
    }
};

// Most significant byte first over the keys, in place. A group whose lines
// agree in all sixteen key bytes takes the next sixteen as its keys; small
// groups are left to comparisons.
static void radix_sort(SortedLine *lines, size_t n, int at, size_t base) {
    while (n > 48) {
        if (at == 16) {
            // Every line here is longer than base + 16: those that ended
            // were set apart at their line feed.
            base += 16;
            at = 0;
            for (size_t i = 0; i < n; ++i) {
                size_t rest = lines[i].d_length - base;
                line_key(lines[i].d_line + base, rest, rest, lines[i].d_key);
            }
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
            if (counts[k] > 1 && k != '\n') radix_sort(lines + end[k] - counts[k], counts[k], at + 1, base);
        return;
    }
    std::sort(lines, lines + n, LessFrom{base});
}

SortedLine *sort_lines(const char *text, size_t length, size_t *out_count) {
    *out_count = 0;
    if (length > 0 && text[length - 1] != '\n') return nullptr;
    size_t capacity = length / 32 + 64, n = 0;
    SortedLine *lines = static_cast<SortedLine *>(big_block_grow(nullptr, 0, capacity * sizeof(SortedLine)));
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
        const char *line = text + at;
        size_t line_length = static_cast<const char *>(memchr(line, '\n', length - at)) - line + 1;
        SortedLine &s = lines[n];
        line_key(line, line_length, length - at, s.d_key);
        s.d_line = line;
        s.d_length = line_length;
        at += line_length;
    }
    if (!lines) return nullptr;
    // Give back what the estimate left over, so that the size is the count.
    void *shrunk = big_block_grow(lines, capacity * sizeof(SortedLine), n * sizeof(SortedLine));
    if (shrunk) lines = static_cast<SortedLine *>(shrunk);
    radix_sort(lines, n, 0, 0);
    *out_count = n;
    return lines;
}

void free_sorted_lines(SortedLine *lines, size_t count) { big_block_free(lines, count * sizeof(SortedLine)); }
