#include "classify.h"

#include <cstring>

static inline bool is_alpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
static inline bool is_digit(char c) { return c >= '0' && c <= '9'; }
static inline bool is_name_char(char c) { return is_alpha(c) || is_digit(c) || c == '_'; }
static inline bool begins_word(char c) { return is_alpha(c) || c == '&' || c == '*' || c == '_'; }
static inline bool continues_word(char c) { return is_alpha(c) || is_digit(c) || c == '*' || c == '_'; }

static inline bool starts_with(const char *text, const char *prefix) {
    return strncmp(text, prefix, strlen(prefix)) == 0;
}

// True when text holds c at index i or i + 1; a place past the end of the
// text never matches, and nothing beyond its terminating zero is read.
static bool char_at_either(const char *text, int i, char c) {
    for (int k = 0; k < i; ++k)
        if (text[k] == 0) return false;
    if (text[i] == c) return true;
    return text[i] != 0 && text[i + 1] == c;
}

int count_words(const char *text) {
    if (!text) return 0;
    int words = 0;
    bool in_word = false;
    for (const char *p = text; *p; ++p) {
        char c = *p;
        if (c == ' ') {
            in_word = false;
        } else if (in_word && continues_word(c)) {
            continue;
        } else if (!in_word && begins_word(c)) {
            ++words;
            in_word = true;
        } else {
            break;
        }
    }
    return words;
}

bool is_define(const char *text) {
    if (!text || !*text) return false;
    const char *p = text + 1;
    while (*p == ' ' || *p == '\t') ++p;
    return starts_with(p, "define");
}

static int classify_one_word(const char *s) {
    if (starts_with(s, "if") && char_at_either(s, 2, '(')) return STMT_CONTROL;
    if (starts_with(s, "else") && char_at_either(s, 4, '(')) return STMT_CONTROL;
    if (starts_with(s, "do") && char_at_either(s, 2, '(')) return STMT_CONTROL;
    if (starts_with(s, "while") && char_at_either(s, 5, '(')) return STMT_CONTROL;
    if (starts_with(s, "switch") && char_at_either(s, 6, '(')) return STMT_CONTROL;
    if (starts_with(s, "case") && char_at_either(s, 4, ':')) return STMT_CONTROL;
    const char *p = s;
    while (is_name_char(*p)) ++p;
    if (p[0] == '(' || (p[0] == ' ' && p[1] == '(')) return STMT_CALL;
    return STMT_OTHER;
}

// The character before the trailing name of s (or before the blanks that
// precede it); 0 when there is none. A dropped carriage return leaves two
// blanks where a line ended, so the whole run of blanks is passed over.
static char last_significant(const char *s, size_t length) {
    size_t i = length;
    while (i > 0 && is_name_char(s[i - 1])) --i;
    while (i > 0 && s[i - 1] == ' ') --i;
    return i > 0 ? s[i - 1] : 0;
}

// A parenthesised list with no '=', '[' or ']' outside its parentheses:
// a function head, a prototype or a call.
static bool is_plain(const char *s) {
    int opens = 0, closes = 0;
    for (const char *p = s; *p; ++p) {
        char c = *p;
        if (c == '(') ++opens;
        else if (c == ')') ++closes;
        else if ((c == '=' || c == '[' || c == ']') && (opens == 0 || opens == closes)) return false;
    }
    return opens > 0 && closes > 0;
}

static int classify_block_head(const char *s, bool plain) {
    const char *r = s;
    bool typedef_dropped = false;
    if (starts_with(r, "typedef ")) {
        r += 8;
        typedef_dropped = true;
    }
    if (starts_with(r, "static ")) r += 7;
    if (starts_with(r, "const ")) r += 6;
    int typedef_bit = typedef_dropped ? STMT_TYPEDEF : 0;
    if (starts_with(r, "union ") || starts_with(r, "enum ")) return STMT_OTHER | typedef_bit;
    if (starts_with(r, "struct ")) return STMT_STRUCT | typedef_bit;
    if (starts_with(r, "class ")) return STMT_CLASS;
    if (starts_with(r, "namespace ")) return STMT_NAMESPACE;
    if (plain || count_words(r) < 2) return typedef_dropped ? STMT_TYPEDEF : STMT_OTHER;
    return STMT_VARIABLE;
}

int classify_statement(const char *s, char e) {
    if (!s) return STMT_OTHER;
    if (e == '\n' || s[0] == '#') return is_define(s) ? STMT_DEFINE : STMT_DIRECTIVE;
    int words = count_words(s);
    if (words == 0) return STMT_OTHER;
    if (words == 1) return classify_one_word(s);

    if (starts_with(s, "else if ")) return STMT_CONTROL;
    if (e == ';' && starts_with(s, "class ")) return STMT_OTHER;
    char last = last_significant(s, strlen(s));
    if (last == '=') return STMT_VARIABLE;
    bool plain = is_plain(s);
    if (e == '{' && last == ')' && plain) return STMT_FUNCTION;
    if (starts_with(s, "extern ")) return STMT_EXTERN;
    if (e == '{') return classify_block_head(s, plain);
    if (e != ';') return STMT_OTHER;
    if (starts_with(s, "typedef ")) return STMT_TYPEDEF;
    if (plain) return STMT_OTHER;
    if (words == 2 && starts_with(s, "struct ")) return STMT_OTHER;
    if (starts_with(s, "return ") || starts_with(s, "delete ")) return STMT_OTHER;
    return STMT_VARIABLE;
}
