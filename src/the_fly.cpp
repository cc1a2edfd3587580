#include "the_fly.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "condenser.h"
#include "env.h"
#include "fly_text.h"

// The tokenizer's working state, one for the process.
struct FlyState {
    const char *d_in;
    int d_in_len;
    int d_pos;
    char *d_out;
    int d_out_len;
    int d_line;
    LineMark *d_marks;
    int d_mark_count;
    int d_mark_capacity;
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

// The map grows by doubling; when memory runs out the entry is dropped and
// later statements read as unmapped rather than overrunning the block.
static void fly_mark() {
    if (fly.d_mark_count + 1 >= fly.d_mark_capacity) {
        int grown = fly.d_mark_capacity * 2;
        void *block = realloc(fly.d_marks, sizeof(LineMark) * (size_t)grown);
        if (!block) return;
        fly.d_marks = static_cast<LineMark *>(block);
        fly.d_mark_capacity = grown;
    }
    int k = ++fly.d_mark_count;
    fly.d_marks[k] = {k, fly.d_line, fly.d_pos};
}

// Writes a statement end. The statement walker takes one right after a
// backslash for an escaped one, so the text shows a backslash before
// exactly the ends that have no map entry: those escaped in the source.
static inline bool fly_after_backslash() { return fly.d_out_len > 0 && fly.d_out[fly.d_out_len - 1] == '\\'; }

static void fly_terminator(char c, bool with_entry) {
    if (with_entry && (!fly.d_blank_done || fly_after_backslash())) fly_put(' ');
    fly_put(c);
    if (with_entry) fly_mark();
}

static inline bool is_regex_delimiter(char c) {
    return c == '!' || c == '#' || c == '&' || c == '/' || c == '?' || c == '{' || c == '|';
}

bool fly_is_regex() {
    char prev = fly.d_prev;
    if (is_alnum(prev) || prev == ')' || prev == '_') return false;
    const char *p = fly.d_in + fly.d_pos;
    // p[1] and p[2] may be the zero byte after the source, never further:
    // p[2] is read only when p[1] is the 'r' of a source byte.
    if (p[0] == '/') return true;
    if (p[0] == 'm' || p[0] == 's') return is_regex_delimiter(p[1]);
    if (p[0] == 't' && p[1] == 'r') return is_regex_delimiter(p[2]);
    return false;
}

void fly_skip_regex() {
    int start = fly.d_pos;
    char op = fly.d_in[start];
    int parts = op == 's' ? 2 : 1;
    int open = start + (op == 'm' || op == 's' ? 1 : op == 't' ? 2 : 0);
    char close = fly.d_in[open] == '{' ? '}' : fly.d_in[open];
    int body = open + 1;
    int escapes = 0;  // backslashes right before the byte scanned
    for (int i = body; i < fly.d_in_len; ++i) {
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

// A "<<" before a blank, a digit or '=' is the shift operator, not a
// here-document (`$x << 2`, `1<<8`, `$x <<= 1`).
static inline bool is_shift_operator(const char *p) {
    char c = p[2];
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || (c >= '0' && c <= '9') || c == '=';
}

int fly_condense(const char *source, int size, char *out) {
    fly.d_in = source;
    fly.d_in_len = size > 0 ? size : 0;
    fly.d_pos = 0;
    fly.d_out = out;
    fly.d_out_len = 0;
    fly.d_line = 0;
    fly.d_mark_count = 0;
    fly.d_blank_done = false;
    fly.d_prev = 'a';
    free(fly.d_marks);
    fly.d_mark_capacity = fly.d_in_len / 16 + 16;
    fly.d_marks = static_cast<LineMark *>(malloc(sizeof(LineMark) * (size_t)fly.d_mark_capacity));
    if (!fly.d_marks) fly.d_mark_capacity = 0;
    else fly.d_marks[0] = {0, 0, 0};

    const char *in = source;
    int len = fly.d_in_len;
    // An interpreter line (#!) or a leading '=' line is passed over; its
    // newline is then counted by the loop like any other.
    if (len > 0 && (in[0] == '=' || in[0] == '#')) {
        const char *nl = static_cast<const char *>(memchr(in + 1, '\n', len - 1));
        fly.d_pos = nl ? (int)(nl - in) : len;
    }
    while (fly.d_pos < len) {
        int pos = fly.d_pos;
        char c = in[pos];
        char before = pos > 0 ? in[pos - 1] : 0;
        if (c == '\n') ++fly.d_line;
        if (fly_is_regex()) {
            fly_skip_regex();
        } else if (is_alnum(c)) {
            fly.d_blank_done = false;
            fly.d_prev = c;
            fly_put(c);
        } else if (c == '(' || c == ')') {
            if (!fly.d_blank_done) fly_put(' ');
            fly_put(c);
            fly_put(' ');
            fly.d_blank_done = true;
            fly.d_prev = c;
        } else if (c == ';' || c == '{' || c == '}') {
            fly_terminator(c, before != '\\');
            fly_put(' ');
            fly.d_blank_done = true;
            fly.d_prev = c;
        } else if (c == ' ' || c == '\t' || c == '\n') {
            if (!fly.d_blank_done) {
                fly_put(' ');
                fly.d_blank_done = true;
            }
        } else if ((c == '"' || c == '\'') && before != '$' && before != '\\' &&
                   !(c == '\'' && (before == '&' || is_alnum(before)))) {
            const char *end = skip_string(in + pos);
            fly.d_line += count_char(in + pos, end, '\n');
            fly.d_pos = (int)(end - in);
            fly.d_prev = c;
            fly_put(c);
            fly_put(c);
        } else if (c == '=' && before == '\n') {
            // A POD block runs to its "=cut" line.
            const char *cut = find_bytes(in + pos, len - pos, "\n=cut\n", 6);
            if (cut) {
                fly.d_line += count_char(in + pos, cut, '\n') + 1;
                fly.d_pos = (int)(cut - in) + 4;
            } else {
                fly.d_pos = len;
            }
            fly.d_prev = '=';
        } else if (c == '<' && in[pos + 1] == '<' && !is_shift_operator(in + pos)) {
            fly_skip();
            if (fly.d_pos < len) {
                if (fly_after_backslash()) fly_put(' ');
                fly_put(';');
                fly_mark();
                fly_put(' ');
                fly.d_blank_done = false;
                fly.d_prev = '<';
            } else {
                fly_put(0);
                break;
            }
        } else if (c == '<' && in[pos + 1] == '<') {
            fly.d_prev = '<';
            fly_put('<');
            fly_put('<');
            ++fly.d_pos;
        } else if (c == '#' && before != '$') {
            const char *nl = static_cast<const char *>(memchr(in + pos, '\n', len - pos));
            fly.d_pos = nl ? (int)(nl - in) - 1 : len - 1;
            fly.d_prev = '#';
        } else {
            fly.d_prev = c;
            fly_put(c);
        }
        ++fly.d_pos;
    }
    fly_put(0);
    return fly.d_out_len;
}

LineMark *fly_take_marks(int *count, int *capacity) {
    LineMark *marks = fly.d_marks;
    if (count) *count = fly.d_mark_count;
    if (capacity) *capacity = fly.d_mark_capacity;
    fly.d_marks = nullptr;
    fly.d_mark_capacity = 0;
    return marks;
}

char *fly_load(FileBuffer *buffer) {
    if (!buffer) return nullptr;
    if (!buffer->d_path || access(buffer->d_path, R_OK) != 0) {
        fprintf(stderr, "No such file %s\n", buffer->d_path ? buffer->d_path : "");
        return nullptr;
    }
    if (file_buffer_load(buffer) != 0) return nullptr;
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
