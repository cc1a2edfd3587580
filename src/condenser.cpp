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

// Returns true when the comment at d_pos was skipped (d_pos on its last byte).
static inline bool tt_comment(TtState &tt) {
    const char *in = tt.d_in;
    int pos = tt.d_pos, len = tt.d_in_len;
    if (in[pos] != '/' || pos + 1 >= len) return false;
    if (in[pos + 1] == '*') {
        // From star to star, counting the lines passed over.
        const char *p = in + pos + 2, *end = in + len;
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

// Byte tables of the pass.
struct ByteRules {
    // Bytes whose only rule outside literals is to be copied and to clear
    // the blank and line-start flags: words, and punctuation without a rule
    // of its own. A run of them is copied at once.
    bool d_plain_stop[256];    // bytes a run of them stops at
    bool d_literal_stop[256];  // bytes a literal's run of plain bytes stops at
    ByteRules() : d_plain_stop(), d_literal_stop() {
        for (char c : {' ', '\t', '\r', '\n', '\'', '"', '(', ')', '/', ';', '{', '}', '#'})
            d_plain_stop[(unsigned char)c] = true;
        for (char c : {'\'', '"', '\n', '\r'}) d_literal_stop[(unsigned char)c] = true;
    }
};
static const ByteRules g_rules;

static inline bool is_plain_byte(char c) { return !g_rules.d_plain_stop[(unsigned char)c]; }

#ifdef __SSE2__
// Lanes of x that may stop a run of plain bytes: every byte the rules name,
// and the other bytes up to the blank, which the caller looks up itself.
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
#endif

// Copies the run of bytes from pos that the table does not stop, to out;
// returns where the run ends. Sixteen bytes are looked at and stored at a
// time while sixteen remain: out has room, as no source byte gives more
// than two bytes of text and out holds two per source byte.
template <bool IN_LITERAL>
static inline int copy_run(const char *in, int pos, int len, char *out) {
    const bool *stop_table = IN_LITERAL ? g_rules.d_literal_stop : g_rules.d_plain_stop;
    int start = pos;
#ifdef __SSE2__
    while (pos + 16 <= len) {
        __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + pos));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + (pos - start)), x);
        int mask = IN_LITERAL ? literal_stops(x) : plain_stops(x);
        if (!mask) {
            pos += 16;
            continue;
        }
        pos += __builtin_ctz(mask);
        if (stop_table[(unsigned char)in[pos]]) return pos;
        ++pos;
    }
#endif
    for (; pos < len && !stop_table[(unsigned char)in[pos]]; ++pos) out[pos - start] = in[pos];
    return pos;
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
    for (; tt.d_pos < tt.d_in_len; ++tt.d_pos) {
        char b = source[tt.d_pos];
        if (tt.d_in_literal && !g_rules.d_literal_stop[(unsigned char)b]) {
            // Inside a literal only quotes and line ends need the rules below.
            int end = copy_run<true>(source, tt.d_pos, tt.d_in_len, tt.d_out + tt.d_out_len);
            tt.d_out_len += end - tt.d_pos;
            tt.d_pos = end - 1;
            continue;
        }
        if (!tt.d_in_literal && is_plain_byte(b)) {
            // A run of plain bytes is copied at once: each would take the
            // last branch of the byte rules and change the same three flags.
            int end = copy_run<false>(source, tt.d_pos, tt.d_in_len, tt.d_out + tt.d_out_len);
            tt.d_out_len += end - tt.d_pos;
            tt.d_pos = end - 1;
            tt.d_line_fresh = tt.d_blank_done = tt.d_at_line_start = false;
            continue;
        }
        if ((b == ' ' || b == '\t') && !tt.d_in_literal) {
            // After the first blank of a run the others change nothing.
            while (tt.d_pos + 1 < tt.d_in_len && (source[tt.d_pos + 1] == ' ' || source[tt.d_pos + 1] == '\t'))
                ++tt.d_pos;
            tt_space(tt, ' ');
            continue;
        }
        // A CR LF line end condenses as LF alone; a lone CR is a blank.
        if (b == '\r' && source[tt.d_pos + 1] == '\n') continue;
        if (b == '\n') ++tt.d_line;
        if ((b == '\'' || b == '"') && tt_literal(tt, b)) continue;
        if (tt.d_in_literal) {
            if (b != '\n') tt_put(tt, b);
            else if (continued_line(tt, tt.d_pos)) tt_drop_backslash(tt);
            continue;
        }
        if (b == '\n' && continued_line(tt, tt.d_pos)) {
            if (tt.d_in_directive) {
                tt_put(tt, '\n');
                tt_mark(tt, tt.d_line - 1);
            } else {
                tt_drop_backslash(tt);
            }
            continue;
        }
        if (b == '(') ++tt.d_paren_depth;
        else if (b == ')' && tt.d_paren_depth > 0) --tt.d_paren_depth;
        else if (b == '/' && tt_comment(tt)) continue;
        if (b == ' ' || b == '\t' || b == '\n' || b == '\r') tt_space(tt, b == '\r' ? ' ' : b);
        else tt_other(tt, b);
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
