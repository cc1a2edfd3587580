// Perl: package statements (kind p, also by their last component) and subs
// (kind f) at brace depth 0, over the tokenizer's statements and line map.
#include <cstdlib>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "condenser.h"
#include "env.h"
#include "fly_text.h"
#include "script_tags.h"
#include "string_array.h"
#include "tags_format.h"
#include "text.h"
#include "the_fly.h"

static FILE *g_perl_out;
static const char *g_perl_path;
static int g_perl_last_line;  // 0 until first needed

// The line of the current statement. The tokenizer gives every end the walk
// takes an entry; should the map still fall short (memory ran out while it
// grew), a statement past its last entry gets the file's last line.
static int perl_line(const FileBuffer *buffer) {
    int k = get_env()->d_stmt_index;
    if (k > 0 && k < buffer->d_mark_capacity) return buffer->d_marks[k].d_line + 1;
    if (g_perl_last_line == 0) {
        const char *data = buffer->d_data;
        int size = buffer->d_size;
        g_perl_last_line = count_char(data, data + size, '\n') + (size > 0 && data[size - 1] != '\n');
    }
    return g_perl_last_line;
}

// A lone ':' starts the sub's attributes (sub foo : lvalue), which are no
// part of its name; "::" joins a package name.
static void cut_attributes(char *name) {
    for (char *c = strchr(name, ':'); c; c = strchr(c + 2, ':')) {
        if (c[1] != ':') {
            *c = 0;
            return;
        }
    }
}

static void perl_sub(int line, char *s) {
    // The tokenizer copies a carriage return like any byte.
    cut_line(s);
    char *paren = strchr(s, '(');
    if (paren) *paren = 0;
    char *name = strchr(s, ' ') + 1;
    cut_attributes(name);
    char *colon = strchr(name, ':');
    if (colon) {
        // Cut at the first ':' and join again with one, so Foo::bar stays whole.
        *colon = 0;
        char *tail = trim_right(trim_left(colon + 1));
        write_tag_qualified(g_perl_out, trim_right(name), tail, g_perl_path, line, 'f');
    } else {
        write_tag(g_perl_out, trim_right(name), g_perl_path, line, 'f');
    }
}

// The first ';', '{', '}' or zero byte at or after p. REQUIRES: a zero byte
// lies before limit, and the bytes up to limit may be read.
static char *next_end(char *p, const char *limit) {
#ifdef __SSE2__
    while (limit - p >= 16) {
        __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        __m128i hit = _mm_or_si128(_mm_cmpeq_epi8(x, _mm_set1_epi8(';')), _mm_cmpeq_epi8(x, _mm_set1_epi8('{')));
        hit = _mm_or_si128(hit, _mm_cmpeq_epi8(x, _mm_set1_epi8('}')));
        hit = _mm_or_si128(hit, _mm_cmpeq_epi8(x, _mm_setzero_si128()));
        unsigned mask = (unsigned)_mm_movemask_epi8(hit);
        if (mask) return p + __builtin_ctz(mask);
        p += 16;
    }
#endif
    while (*p != ';' && *p != '{' && *p != '}' && *p != 0) ++p;
    return p;
}

static void perl_statement(const FileBuffer *buffer, char *statement, char terminator) {
    char *s = statement[0] == ' ' ? statement + 1 : statement;
    if (terminator == ';' && strncmp(s, "package ", 8) == 0) {
        int line = perl_line(buffer);
        cut_line(s);
        char *name = trim_right(s + 8);
        char *last_colon = strrchr(name, ':');
        if (last_colon) write_tag(g_perl_out, last_colon + 1, g_perl_path, line, 'p');
        write_tag(g_perl_out, name, g_perl_path, line, 'p');
    } else if (terminator == '{' && strncmp(s, "sub ", 4) == 0) {
        perl_sub(perl_line(buffer), s);
    }
}

int perl_tags(const char *path, FILE *out) {
    g_perl_out = out;
    g_perl_path = path;
    g_perl_last_line = 0;
    Env *env = get_env();
    env->d_stmt_index = 0;
    FileBuffer *buffer = file_buffer_new(path);
    char *text = fly_load(buffer);
    if (!text) {
        file_buffer_free(buffer);
        return 0;
    }
    char *statement = text;
    int depth = 0;
    const char *limit = text + buffer->d_text_len + 1;
    for (char *p = next_end(text, limit); *p; p = next_end(p, limit)) {
        if (p > text && p[-1] == '\\') {
            ++p;
            continue;
        }
        char terminator = *p;
        *p = 0;
        ++env->d_stmt_index;
        if (depth == 0) perl_statement(buffer, statement, terminator);
        if (terminator == '{') ++depth;
        else if (terminator == '}' && depth > 0) --depth;
        // Past the blank the tokenizer writes after every terminator.
        p += p[1] ? 2 : 1;
        statement = p;
    }
    ++env->d_stmt_index;
    fflush(out);
    file_buffer_free(buffer);
    return 0;
}
