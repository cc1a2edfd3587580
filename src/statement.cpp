#include "statement.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#ifdef __SSE2__
#include <emmintrin.h>
#include <tmmintrin.h>
#endif

#include "classify.h"
#include "condenser.h"
#include "env.h"

// Bytes the splitter must look at outside literals; every other byte is
// passed over by the table scan.
struct SplitTable {
    bool d_special[256];
    SplitTable() {
        memset(d_special, 0, sizeof d_special);
        for (unsigned char c : {'\0', '\'', '"', '(', ')', '\n', '{', '}', ';'}) d_special[c] = true;
    }
};
static const SplitTable g_split;

// The first byte from p the splitter must look at. Whole aligned blocks of
// sixteen are read, which never cross a page; the first may begin before p
// and one may read past the zero that ends the text, so this one scan goes
// without address checks.
#ifdef __SSE2__
__attribute__((no_sanitize_address)) static inline int special_lanes(const char *block) {
    __m128i x = _mm_load_si128(reinterpret_cast<const __m128i *>(block));
    __m128i hit = _mm_cmpeq_epi8(x, _mm_setzero_si128());
    for (char c : {'\'', '"', '(', ')', '\n', '{', '}', ';'})
        hit = _mm_or_si128(hit, _mm_cmpeq_epi8(x, _mm_set1_epi8(c)));
    return _mm_movemask_epi8(hit);
}
// The same lanes by two table lookups per byte, on the low and the high
// half; a byte is special when the two entries share a bit. Bit 0: the
// zero and LF; bit 1: '"', '\'', '(', ')'; bit 2: ';'; bit 3: '{', '}'.
__attribute__((no_sanitize_address, target("ssse3"))) static char *next_special_ssse3(char *p) {
    const __m128i low_bits = _mm_setr_epi8(1, 0, 2, 0, 0, 0, 0, 2, 2, 2, 1, 12, 0, 8, 0, 0);
    const __m128i high_bits = _mm_setr_epi8(1, 0, 2, 4, 0, 0, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0);
    const __m128i nibble = _mm_set1_epi8(0x0f);
    int skip = (int)((uintptr_t)p & 15);
    char *block = p - skip;
    for (;; block += 16) {
        __m128i x = _mm_load_si128(reinterpret_cast<const __m128i *>(block));
        __m128i low = _mm_shuffle_epi8(low_bits, _mm_and_si128(x, nibble));
        __m128i high = _mm_shuffle_epi8(high_bits, _mm_and_si128(_mm_srli_epi16(x, 4), nibble));
        int mask = ~_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_and_si128(low, high), _mm_setzero_si128())) & 0xffff;
        mask = (mask >> skip) << skip;
        skip = 0;
        if (mask) return block + __builtin_ctz(mask);
    }
}

static const bool g_ssse3 = cpu_has_ssse3();
#endif

static inline char *next_special(char *p) {
#ifdef __SSE2__
    if (g_ssse3) return next_special_ssse3(p);
    int skip = (int)((uintptr_t)p & 15);
    char *block = p - skip;
    int mask = special_lanes(block) >> skip;
    if (mask) return p + __builtin_ctz(mask);
    for (block += 16;; block += 16)
        if ((mask = special_lanes(block)) != 0) return block + __builtin_ctz(mask);
#else
    while (!g_split.d_special[(unsigned char)*p]) ++p;
    return p;
#endif
}

// Returns the byte after the literal that opens at quote, or the position of
// the text's terminating zero when the literal is never closed. A literal
// opened right after '@' ends at the next quote, as the condenser ends it.
static char *skip_literal(char *quote, bool verbatim) {
    char q = *quote;
    char *p = quote + 1;
    for (;;) {
        char c = *p;
        if (c == 0) return p;
        if (c == '\\' && !verbatim) {
            // A backslash escapes the byte after it, so an odd run of them
            // leaves the quote that follows inside the literal.
            if (p[1] == 0) return p + 1;
            p += 2;
            continue;
        }
        ++p;
        if (c == q) return p;
    }
}

char split_statement(char **position, char **statement) {
    char *p = *position;
    *statement = p;
    if (!p) return 0;
    int parens = 0;
    for (;;) {
        p = next_special(p);
        char c = *p;
        switch (c) {
        case 0:
            // Stay on the zero: walking on would leave the text.
            *position = p;
            return 0;
        case '\'':
        case '"':
            // Before a statement's start stands a cut end or its blank.
            p = skip_literal(p, p > *statement && p[-1] == '@');
            continue;
        case '(':
            ++parens;
            break;
        case ')':
            if (parens > 0) --parens;
            break;
        case ';':
            if (parens > 0) break;
            [[fallthrough]];
        case '\n':
        case '{':
        case '}':
            *p = 0;
            ++p;
            // Skip the blank the condenser wrote after ';', '{' and '}'.
            if (c != '\n' && *p) ++p;
            *position = p;
            return c;
        }
        ++p;
    }
}

void cursor_init(StatementCursor *cursor) {
    if (!cursor) return;
    memset(cursor, 0, sizeof *cursor);
}

int cursor_open(StatementCursor *cursor, const char *path) {
    if (!cursor) return -1;
    cursor->d_buffer = nullptr;
    if (!path) return -1;
    char *copy = strdup(path);
    FileBuffer *buffer = copy ? file_buffer_new(copy) : nullptr;
    if (!buffer || !file_buffer_condense(buffer)) {
        file_buffer_free(buffer);
        free(copy);
        return -1;
    }
    cursor->d_buffer = buffer;
    return 0;
}

int cursor_rewind(StatementCursor *cursor) {
    if (!cursor || !cursor->d_buffer || !cursor->d_buffer->d_text) return -1;
    cursor->d_stmt = cursor->d_next = cursor->d_buffer->d_text;
    cursor->d_end = 0;
    cursor->d_brace_depth = 0;
    cursor->d_brace_change = 0;
    get_env()->d_stmt_index = 0;
    return 0;
}

char *cursor_next(StatementCursor *cursor) {
    if (!cursor || !cursor->d_next) return nullptr;
    if (cursor->d_brace_change > 0) ++cursor->d_brace_depth;
    else if (cursor->d_brace_change < 0 && cursor->d_brace_depth > 0) --cursor->d_brace_depth;
    cursor->d_brace_change = 0;
    cursor->d_end = split_statement(&cursor->d_next, &cursor->d_stmt);
    if (cursor->d_end == 0) return nullptr;
    if (cursor->d_end == '{') cursor->d_brace_change = 1;
    else if (cursor->d_end == '}') cursor->d_brace_change = -1;
    ++get_env()->d_stmt_index;
    return cursor->d_stmt;
}

char *cursor_statement(StatementCursor *cursor) { return cursor ? cursor->d_stmt : nullptr; }

int cursor_classify(StatementCursor *cursor) {
    if (!cursor || !cursor->d_stmt) return STMT_OTHER;
    return classify_statement(cursor->d_stmt, cursor->d_end);
}

void cursor_close(StatementCursor *cursor) {
    if (!cursor || !cursor->d_buffer) return;
    char *path = cursor->d_buffer->d_path;
    file_buffer_free(cursor->d_buffer);
    free(path);
    cursor->d_buffer = nullptr;
    cursor->d_stmt = cursor->d_next = nullptr;
    cursor->d_end = 0;
}
