#include "condenser.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#ifdef __SSE2__
#include <emmintrin.h>
#include <tmmintrin.h>
#endif

#include "env.h"
#include "string_array.h"

FileBuffer *file_buffer_new(const char *path) {
    FileBuffer *buffer = static_cast<FileBuffer *>(calloc(1, sizeof(FileBuffer)));
    if (buffer) buffer->d_path = const_cast<char *>(path);
    return buffer;
}

// Opens without blocking (a FIFO must not hang the run) and answers only
// for regular files.
static int open_regular(const char *path, struct stat *st) {
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    if (fstat(fd, st) != 0 || !S_ISREG(st->st_mode)) {
        close(fd);
        errno = EINVAL;
        return -1;
    }
    return fd;
}

char *map_file(const char *path, int *out_fd, int *out_size, int *out_map_len) {
    struct stat st;
    int fd = open_regular(path, &st);
    if (fd < 0) return nullptr;
    if (st.st_size <= 0 || st.st_size >= INT_MAX) {
        close(fd);
        return nullptr;
    }
    long page = sysconf(_SC_PAGESIZE);
    size_t size = (size_t)st.st_size;
    size_t file_len = (size + page - 1) / page * page;
    size_t total = (size + 1 + page - 1) / page * page;
    // Reserve zeroed memory one byte longer than the file, then lay the file
    // over its start: the byte after the source reads as zero even when the
    // file fills its last page.
    void *base = mmap(nullptr, total, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) {
        close(fd);
        return nullptr;
    }
    void *mapped = mmap(base, file_len, PROT_READ, MAP_SHARED | MAP_FIXED | MAP_POPULATE, fd, 0);
    if (mapped == MAP_FAILED) {
        munmap(base, total);
        close(fd);
        return nullptr;
    }
    if (out_fd) *out_fd = fd;
    else close(fd);
    if (out_size) *out_size = (int)size;
    if (out_map_len) *out_map_len = (int)total;
    return static_cast<char *>(base);
}

// The size comes from the opened file, never from lstat (a link's own length).
// Reads up to size bytes from fd; the count read, or -1.
static int read_fd_into(int fd, char *buffer, int size) {
    int done = 0;
    while (done < size) {
        ssize_t n = read(fd, buffer + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) break;
        done += (int)n;
    }
    return done;
}

int read_file_into(const char *path, char *buffer, int size) {
    struct stat st;
    int fd = open_regular(path, &st);
    if (fd < 0) return -1;
    if (st.st_size < size) size = (int)st.st_size;
    int done = read_fd_into(fd, buffer, size);
    close(fd);
    return done;
}

char *read_all_fd(int fd, int *out_length) {
    int capacity = 4096, filled = 0;
    char *buffer = static_cast<char *>(calloc(capacity, 1));
    if (out_length) *out_length = 0;
    if (!buffer) return nullptr;
    for (;;) {
        ssize_t n = read(fd, buffer + filled, capacity - filled - 1);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            free(buffer);
            return nullptr;
        }
        if (n == 0) break;
        filled += (int)n;
        if (capacity - filled < 4096) {
            if (capacity > INT_MAX / 2) {
                free(buffer);
                return nullptr;
            }
            char *grown = static_cast<char *>(resize_block(buffer, capacity, capacity * 2));
            if (!grown) {
                free(buffer);
                return nullptr;
            }
            buffer = grown;
            capacity *= 2;
        }
    }
    buffer[filled] = 0;
    if (out_length) *out_length = filled;
    return buffer;
}

// Sources up to this size are read rather than mapped: for a file of a few
// pages, setting up and tearing down a mapping costs more than the copy.
static const off_t READ_LIMIT = 4 << 20;

int file_buffer_read(FileBuffer *buffer) {
    if (!buffer || !buffer->d_path) return -1;
    struct stat st;
    int fd = open_regular(buffer->d_path, &st);
    if (fd >= 0 && st.st_size > READ_LIMIT) {
        close(fd);
        buffer->d_mapped = 1;
        buffer->d_data = map_file(buffer->d_path, &buffer->d_fd, &buffer->d_size, &buffer->d_map_len);
        if (buffer->d_data) return 0;
        buffer->d_fd = 0;
        fd = open_regular(buffer->d_path, &st);
    }
    buffer->d_mapped = 0;
    if (fd >= 0 && st.st_size < INT_MAX) {
        buffer->d_data = static_cast<char *>(malloc((size_t)st.st_size + 1));
        int got = buffer->d_data ? read_fd_into(fd, buffer->d_data, (int)st.st_size) : -1;
        close(fd);
        if (got >= 0) {
            // A file that shrank while read keeps only the bytes read.
            buffer->d_size = got;
            buffer->d_data[got] = 0;
            return 0;
        }
        free(buffer->d_data);
        buffer->d_data = nullptr;
    } else if (fd >= 0) {
        close(fd);
    }
    return -1;
}

int file_buffer_load(FileBuffer *buffer) {
    if (file_buffer_read(buffer) == 0) return 0;
    if (!buffer || !buffer->d_path) return -1;
    int saved = errno;
    fprintf(stderr, "can't open/mmap file %s\n", buffer->d_path);
    errno = saved;
    perror("open/mmap");
    return -1;
}

void file_buffer_free(FileBuffer *buffer) {
    if (!buffer) return;
    if (buffer->d_data) {
        if (buffer->d_mapped == 1) munmap(buffer->d_data, buffer->d_map_len);
        else free(buffer->d_data);
    }
    if (buffer->d_fd != 0) close(buffer->d_fd);
    free(buffer->d_text);
    free(buffer->d_marks);
    free(buffer);
}

// The condenser's working state, one for each pass.
struct TtState {
    const char *d_in;
    int d_in_len;
    int d_pos;
    char *d_out;
    int d_out_len;
    int d_line;
    LineMark *d_marks;
    int d_mark_count;
    int d_mark_capacity;
    int d_paren_depth;
    bool d_blank_done;
    bool d_line_fresh;
    bool d_at_line_start;
    bool d_in_directive;
    bool d_in_literal;
    char d_quote;
    bool d_verbatim;
};

static inline void tt_mark(TtState &tt, int line) {
    if (tt.d_mark_count + 1 < tt.d_mark_capacity) {
        int k = ++tt.d_mark_count;
        tt.d_marks[k] = {k, line, tt.d_pos};
    }
    tt.d_paren_depth = 0;
}

static inline void tt_put(TtState &tt, char c) { tt.d_out[tt.d_out_len++] = c; }

static inline void tt_drop_backslash(TtState &tt) {
    if (tt.d_out_len > 0 && tt.d_out[tt.d_out_len - 1] == '\\') --tt.d_out_len;
}

// Literals are judged on the text written, as the statement splitter judges
// them: a backslash dropped with a line break, or a comment between '@' and
// the quote, would otherwise leave the two out of step for the rest of the
// file, with statements past the end of the line map.
static inline bool tt_escaped(const TtState &tt) {
    int n = 0;
    while (tt.d_out_len - 1 - n >= 0 && tt.d_out[tt.d_out_len - 1 - n] == '\\') ++n;
    return n % 2 == 1;
}

// Handles a quote; true when the quote was consumed by a literal.
static inline bool tt_literal(TtState &tt, char b) {
    if (!tt.d_in_literal) {
        tt.d_in_literal = true;
        tt.d_quote = b;
        tt.d_verbatim = tt.d_out_len > 0 && tt.d_out[tt.d_out_len - 1] == '@';
        tt_put(tt, b);
        return true;
    }
    if (b != tt.d_quote || (!tt.d_verbatim && tt_escaped(tt))) {
        tt_put(tt, b);
        return true;
    }
    tt.d_in_literal = false;
    tt.d_verbatim = false;
    return false;
}

// The newline's mark carries the line it ends.
static inline void tt_space(TtState &tt, char b) {
    if (b != '\n') {
        if (!tt.d_blank_done) {
            tt_put(tt, ' ');
            tt.d_blank_done = true;
        }
        return;
    }
    tt.d_at_line_start = true;
    if (tt.d_in_directive || (tt.d_in[tt.d_pos + 1] == '#' && !tt.d_line_fresh)) {
        tt_put(tt, '\n');
        tt_mark(tt, tt.d_line - 1);
        tt.d_blank_done = true;
        tt.d_line_fresh = true;
        tt.d_in_directive = false;
    } else if (!tt.d_blank_done) {
        tt_put(tt, ' ');
        tt.d_blank_done = true;
    }
}

static inline void tt_other(TtState &tt, char b) {
    tt.d_line_fresh = false;
    if (b == '(' && !tt.d_blank_done && !tt.d_in_directive) {
        tt_put(tt, ' ');
        tt_put(tt, '(');
        tt.d_blank_done = true;
        return;
    }
    if (b == ')' && !tt.d_blank_done) {
        tt_put(tt, ')');
        tt_put(tt, ' ');
        tt.d_blank_done = true;
        return;
    }
    tt.d_blank_done = false;
    switch (b) {
    case ';':
    case '{':
    case '}':
        tt_put(tt, b);
        if (b != ';' || tt.d_paren_depth == 0) tt_mark(tt, tt.d_line);
        tt_put(tt, ' ');
        tt.d_blank_done = true;
        break;
    case '\r':
        break;
    default:
        if (b == '#' && tt.d_at_line_start) {
            tt_put(tt, '#');
            tt.d_in_directive = true;
        } else {
            tt_put(tt, b);
            tt.d_at_line_start = false;
        }
    }
}

static inline int count_newlines(const char *from, const char *to) {
    int n = 0;
    for (; from < to; ++from) n += *from == '\n';
    return n;
}

// The bits set in a 16-bit mask, without a library call where the target
// has no instruction for it.
static inline int bits16(unsigned x) {
    x = x - ((x >> 1) & 0x5555);
    x = (x & 0x3333) + ((x >> 2) & 0x3333);
    x = (x + (x >> 4)) & 0x0f0f;
    return (int)((x + (x >> 8)) & 0x1f);
}

// Returns true when the comment at d_pos was skipped (d_pos on its last byte).
static inline bool tt_comment(TtState &tt) {
    const char *in = tt.d_in;
    int pos = tt.d_pos, len = tt.d_in_len;
    if (in[pos] != '/' || pos + 1 >= len) return false;
    if (in[pos + 1] == '*') {
        const char *p = in + pos + 2, *end = in + len;
#ifdef __SSE2__
        // Sixteen bytes at a time: a star with a slash after it, and the
        // line feeds before it.
        for (; end - p >= 17; p += 16) {
            __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
            __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 1));
            unsigned close = (unsigned)_mm_movemask_epi8(
                _mm_and_si128(_mm_cmpeq_epi8(here, _mm_set1_epi8('*')), _mm_cmpeq_epi8(next, _mm_set1_epi8('/'))));
            unsigned feeds = (unsigned)_mm_movemask_epi8(_mm_cmpeq_epi8(here, _mm_set1_epi8('\n')));
            if (close) {
                int k = __builtin_ctz(close);
                tt.d_line += bits16(feeds & ((1u << k) - 1));
                tt.d_pos = (int)(p + k + 1 - in);
                return true;
            }
            tt.d_line += bits16(feeds);
        }
#endif
        // From star to star, counting the lines passed over.
        for (;;) {
            const char *star = static_cast<const char *>(memchr(p, '*', end - p));
            if (!star || star + 1 >= end) {
                tt.d_line += count_newlines(p, end);
                tt.d_pos = len;
                return true;
            }
            tt.d_line += count_newlines(p, star);
            if (star[1] == '/') {
                tt.d_pos = (int)(star + 1 - in);
                return true;
            }
            p = star + 1;
        }
    }
    if (in[pos + 1] == '/') {
        const char *nl = static_cast<const char *>(memchr(in + pos, '\n', len - pos));
        tt.d_pos = nl ? (int)(nl - in) - 1 : len;
        return true;
    }
    return false;
}

// True when the newline at pos ends a line continued with a backslash (a
// CR between the two is passed over).
static inline bool continued_line(const TtState &tt, int pos) {
    int p = pos - 1;
    if (p >= 0 && tt.d_in[p] == '\r') --p;
    return p >= 0 && tt.d_in[p] == '\\';
}

// Byte classes of the pass outside literals, one rule each.
enum : unsigned char { TT_PLAIN, TT_BLANK, TT_CR, TT_LINE_FEED, TT_QUOTE, TT_OPEN, TT_CLOSE, TT_SLASH, TT_OTHER };

// Byte tables of the pass.
struct ByteRules {
    // TT_PLAIN: bytes whose only rule outside literals is to be copied and
    // to clear the blank and line-start flags: words, and punctuation
    // without a rule of its own. A run of them is copied at once.
    unsigned char d_class[256];
    bool d_literal_stop[256];  // bytes a literal's run of plain bytes stops at
    ByteRules() : d_class(), d_literal_stop() {
        d_class[(unsigned char)' '] = d_class[(unsigned char)'\t'] = TT_BLANK;
        d_class[(unsigned char)'\r'] = TT_CR;
        d_class[(unsigned char)'\n'] = TT_LINE_FEED;
        d_class[(unsigned char)'\''] = d_class[(unsigned char)'"'] = TT_QUOTE;
        d_class[(unsigned char)'('] = TT_OPEN;
        d_class[(unsigned char)')'] = TT_CLOSE;
        d_class[(unsigned char)'/'] = TT_SLASH;
        for (char c : {';', '{', '}', '#'}) d_class[(unsigned char)c] = TT_OTHER;
        for (char c : {'\'', '"', '\n', '\r'}) d_literal_stop[(unsigned char)c] = true;
    }
};
static const ByteRules g_rules;

static inline bool is_plain_byte(char c) { return g_rules.d_class[(unsigned char)c] == TT_PLAIN; }

// Where runs of plain bytes end: a mask over a block of 64 source bytes,
// made once and used by every run in the block.
struct RunScan {
    const char *d_in;
    int d_in_len;
    int d_block;      // first byte of the block
    uint64_t d_mask;  // bit k: byte d_block + k may end a run
};

#ifdef __SSE2__
// Lanes of x that may end a run of plain bytes: every byte with a rule of
// its own, and the other bytes up to the blank, which are looked up again.
static inline int plain_stops(__m128i x) {
    __m128i hit = _mm_cmpeq_epi8(_mm_min_epu8(x, _mm_set1_epi8(' ')), x);
    for (char c : {'\'', '"', '(', ')', '/', ';', '{', '}', '#'})
        hit = _mm_or_si128(hit, _mm_cmpeq_epi8(x, _mm_set1_epi8(c)));
    return _mm_movemask_epi8(hit);
}

// Lanes of x that may stop a literal's run: the quotes and the line ends.
static inline int literal_stops(__m128i x) {
    __m128i hit = _mm_cmpeq_epi8(x, _mm_set1_epi8('\''));
    for (char c : {'"', '\n', '\r'}) hit = _mm_or_si128(hit, _mm_cmpeq_epi8(x, _mm_set1_epi8(c)));
    return _mm_movemask_epi8(hit);
}

static uint64_t plain_mask_sse2(const char *p) {
    uint64_t mask = 0;
    for (int k = 0; k < 4; ++k)
        mask |= (uint64_t)(unsigned)plain_stops(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16 * k)))
                << (16 * k);
    return mask;
}

// The same mask, exact, by two table lookups per byte: one on the low and
// one on the high half; a byte stops a run when the two entries share a bit.
// Bit 0: tab, LF, CR; bit 1: the blank, '"', '#', '\'', '(', ')', '/';
// bit 2: ';'; bit 3: '{', '}'.
__attribute__((target("ssse3"))) static uint64_t plain_mask_ssse3(const char *p) {
    const __m128i low_bits = _mm_setr_epi8(2, 0, 2, 2, 0, 0, 0, 2, 2, 3, 1, 12, 0, 9, 0, 2);
    const __m128i high_bits = _mm_setr_epi8(1, 0, 2, 4, 0, 0, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0);
    const __m128i nibble = _mm_set1_epi8(0x0f);
    uint64_t mask = 0;
    for (int k = 0; k < 4; ++k) {
        __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16 * k));
        __m128i low = _mm_shuffle_epi8(low_bits, _mm_and_si128(x, nibble));
        __m128i high = _mm_shuffle_epi8(high_bits, _mm_and_si128(_mm_srli_epi16(x, 4), nibble));
        __m128i none = _mm_cmpeq_epi8(_mm_and_si128(low, high), _mm_setzero_si128());
        mask |= (uint64_t)(unsigned)(~_mm_movemask_epi8(none) & 0xffff) << (16 * k);
    }
    return mask;
}

static uint64_t (*const plain_mask)(const char *) = cpu_has_ssse3() ? plain_mask_ssse3 : plain_mask_sse2;
#endif

// The end of the run of plain bytes that goes on at pos.
static inline int plain_run_end(RunScan &scan, int pos) {
#ifdef __SSE2__
    for (;;) {
        if (pos < scan.d_block || pos - scan.d_block >= 64) {
            if (pos + 64 > scan.d_in_len) break;
            scan.d_block = pos;
            scan.d_mask = plain_mask(scan.d_in + pos);
        }
        uint64_t rest = scan.d_mask >> (pos - scan.d_block);
        if (!rest) {
            pos = scan.d_block + 64;
            continue;
        }
        pos += __builtin_ctzll(rest);
        if (!is_plain_byte(scan.d_in[pos])) return pos;
        ++pos;
    }
#endif
    while (pos < scan.d_in_len && is_plain_byte(scan.d_in[pos])) ++pos;
    return pos;
}

// Copies n source bytes to out. Where 32 source bytes remain, a short run
// is copied as one or two blocks of sixteen: out has room, as no source byte
// gives more than two bytes of text and out holds two per source byte.
static inline void copy_bytes(char *out, const char *in, int n, int avail) {
#ifdef __SSE2__
    if (n <= 32 && avail >= 32) {
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out), _mm_loadu_si128(reinterpret_cast<const __m128i *>(in)));
        if (n > 16)
            _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 16),
                             _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + 16)));
        return;
    }
#endif
    memcpy(out, in, n);
}

// Copies the run of a literal's bytes from pos to out; returns where the run
// ends. Sixteen bytes are looked at and stored at a time while sixteen
// remain, with room in out as above.
static inline int copy_literal_run(const char *in, int pos, int len, char *out) {
    int start = pos;
#ifdef __SSE2__
    while (pos + 16 <= len) {
        __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + pos));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + (pos - start)), x);
        int mask = literal_stops(x);
        if (!mask) {
            pos += 16;
            continue;
        }
        return pos + __builtin_ctz(mask);
    }
#endif
    for (; pos < len && !g_rules.d_literal_stop[(unsigned char)in[pos]]; ++pos) out[pos - start] = in[pos];
    return pos;
}

// One byte inside a literal, at d_pos.
static inline void tt_literal_byte(TtState &tt, char b) {
    if (!g_rules.d_literal_stop[(unsigned char)b]) {
        // Inside a literal only quotes and line ends need the rules below.
        int end = copy_literal_run(tt.d_in, tt.d_pos, tt.d_in_len, tt.d_out + tt.d_out_len);
        tt.d_out_len += end - tt.d_pos;
        tt.d_pos = end - 1;
        return;
    }
    // A CR LF line end is taken as LF alone; a lone CR is copied.
    if (b == '\r') {
        if (tt.d_in[tt.d_pos + 1] != '\n') tt_put(tt, b);
        return;
    }
    if (b == '\n') {
        ++tt.d_line;
        if (continued_line(tt, tt.d_pos)) tt_drop_backslash(tt);
        return;
    }
    // The closing quote is written as any other byte.
    if (!tt_literal(tt, b)) tt_other(tt, b);
}

bool cpu_has_ssse3() {
    // Static initialisers may run before the processor's features are read.
    static const bool has = (__builtin_cpu_init(), __builtin_cpu_supports("ssse3"));
    return has;
}

int tt_condense(const char *source, int size, char *out, LineMark *marks, int mark_capacity) {
    // The pass works on a local copy of the state: stores through the output
    // pointer cannot touch it, so its fields stay in registers.
    TtState tt = TtState();
    tt.d_in = source;
    tt.d_out = out;
    tt.d_marks = marks;
    tt.d_mark_capacity = mark_capacity;
    tt.d_blank_done = tt.d_line_fresh = tt.d_at_line_start = true;
    if (size <= 0) return 0;
    if (source[0] == '\n') {
        tt.d_pos = 1;
        tt.d_line = 1;
    }
    tt.d_in_len = source[size - 1] == '\n' ? size - 1 : size;
    RunScan scan = {source, tt.d_in_len, -64, 0};
    for (; tt.d_pos < tt.d_in_len; ++tt.d_pos) {
        char b = source[tt.d_pos];
        if (tt.d_in_literal) {
            tt_literal_byte(tt, b);
            continue;
        }
        switch (g_rules.d_class[(unsigned char)b]) {
        case TT_PLAIN:
            // Each byte of the run would take the last of the byte rules and
            // change the same three flags.
            for (;;) {
                int end = plain_run_end(scan, tt.d_pos + 1);
                copy_bytes(tt.d_out + tt.d_out_len, source + tt.d_pos, end - tt.d_pos, tt.d_in_len - tt.d_pos);
                tt.d_out_len += end - tt.d_pos;
                // One blank between two runs is written as the blank rule
                // writes it after a run, and the next run goes on.
                if ((source[end] == ' ' || source[end] == '\t') && end + 1 < tt.d_in_len &&
                    is_plain_byte(source[end + 1])) {
                    tt_put(tt, ' ');
                    tt.d_pos = end + 1;
                    continue;
                }
                tt.d_pos = end - 1;
                break;
            }
            tt.d_line_fresh = tt.d_blank_done = tt.d_at_line_start = false;
            break;
        case TT_BLANK:
            // After the first blank of a run the others change nothing.
            while (tt.d_pos + 1 < tt.d_in_len && (source[tt.d_pos + 1] == ' ' || source[tt.d_pos + 1] == '\t'))
                ++tt.d_pos;
            tt_space(tt, ' ');
            break;
        case TT_CR:
            // A CR LF line end condenses as LF alone; a lone CR is a blank.
            if (source[tt.d_pos + 1] != '\n') tt_space(tt, ' ');
            break;
        case TT_LINE_FEED:
            ++tt.d_line;
            if (!continued_line(tt, tt.d_pos)) {
                tt_space(tt, '\n');
                // The blank is done: the indent of the next line changes nothing.
                while (tt.d_pos + 1 < tt.d_in_len && (source[tt.d_pos + 1] == ' ' || source[tt.d_pos + 1] == '\t'))
                    ++tt.d_pos;
            } else if (tt.d_in_directive) {
                tt_put(tt, '\n');
                tt_mark(tt, tt.d_line - 1);
            } else {
                tt_drop_backslash(tt);
            }
            break;
        case TT_QUOTE:
            tt_literal(tt, b);
            break;
        case TT_OPEN:
            ++tt.d_paren_depth;
            tt_other(tt, b);
            break;
        case TT_CLOSE:
            if (tt.d_paren_depth > 0) --tt.d_paren_depth;
            tt_other(tt, b);
            break;
        case TT_SLASH:
            if (!tt_comment(tt)) tt_other(tt, b);
            break;
        default:
            tt_other(tt, b);
        }
    }
    return tt.d_out_len;
}

char *file_buffer_condense(FileBuffer *buffer) {
    if (!buffer) return nullptr;
    if (buffer->d_path && strcmp(buffer->d_path, "-") == 0) {
        buffer->d_data = read_all_fd(0, &buffer->d_size);
        buffer->d_mapped = 0;
        if (buffer->d_size < 1) exit(1);
    } else if (file_buffer_load(buffer) != 0) {
        return nullptr;
    }
    int size = buffer->d_size;
    // Room for one mark per source byte: a file of only ';' fits.
    int capacity = size + 2;
    char *out = static_cast<char *>(malloc((size_t)size * 2 + 1));
    LineMark *marks = static_cast<LineMark *>(malloc(sizeof(LineMark) * (size_t)capacity));
    if (!out || !marks) {
        free(out);
        free(marks);
        return nullptr;
    }
    marks[0] = {0, 0, 0};
    int n = tt_condense(buffer->d_data, size, out, marks, capacity);
    out[n] = 0;
    buffer->d_text = out;
    buffer->d_text_len = n;
    buffer->d_marks = marks;
    buffer->d_mark_capacity = capacity;
    return out;
}

int the_tt_file(const char *path) {
    FileBuffer *buffer = file_buffer_new(path);
    char *text = file_buffer_condense(buffer);
    if (!(get_env()->d_flags & FL_SIMULATE)) {
        if (!text) {
            perror("write to stdout");
        } else {
            fflush(stdout);
            // Loop: one write may take only part of a large text on a pipe.
            int done = 0;
            while (done < buffer->d_text_len) {
                ssize_t n = write(1, text + done, buffer->d_text_len - done);
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0) {
                    perror("write to stdout");
                    break;
                }
                done += (int)n;
            }
        }
    }
    file_buffer_free(buffer);
    return 0;
}
