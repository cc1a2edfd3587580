// Java: package statements (kind p), classes at file level (kind c) and the
// methods and constructors of top-level classes (kind f), over the C/C++
// condenser's statements walked with the statement cursor.
#include <cctype>
#include <cstring>

#include "condenser.h"
#include "env.h"
#include "script_tags.h"
#include "tags_format.h"
#include "statement.h"
#include "text.h"

// Past the annotations before a declaration (@Override, @SuppressWarnings
// ("x")), whose parentheses are not the method's.
static char *skip_annotations(char *s) {
    for (;;) {
        s = trim_left(s);
        if (*s != '@') return s;
        ++s;
        while (*s && (isalnum((unsigned char)*s) || *s == '_' || *s == '.')) ++s;
        s = trim_left(s);
        if (*s != '(') continue;
        for (int depth = 0; *s; ++s) {
            if (*s == '(') ++depth;
            else if (*s == ')' && --depth == 0) {
                ++s;
                break;
            }
        }
    }
}

// The name a statement defines and its kind, or null when it defines none.
static char *java_definition(char *statement, char end, int depth, char *kind) {
    if (end == ';' && strncmp(statement, "package ", 8) == 0) {
        *kind = 'p';
        return statement + 8;
    }
    if (end == '{' && depth == 1) {
        statement = skip_annotations(statement);
        char *paren = strchr(statement, '(');
        if (!paren) return nullptr;
        *paren = 0;
        *kind = 'f';
        // The last word before the parenthesis: an array type (String[]) or
        // type parameters before it are not the name.
        char *head = trim_right(trim_left(statement));
        char *blank = strrchr(head, ' ');
        return blank ? blank + 1 : head;
    }
    if (end == '{' && depth == 0) {
        char *word = strstr(statement, "class ");
        if (!word) return nullptr;
        char *extends = strstr(statement, "extends");
        if (extends) *extends = 0;
        char *implements = strstr(statement, "implements");
        if (implements) *implements = 0;
        // "class" with nothing after it names nothing.
        if (strlen(trim_right(word)) <= 6) return nullptr;
        *kind = 'c';
        // A generic class is named without its type parameters (Map<K, V>).
        char *name = word + 6;
        name[strcspn(name, "<")] = 0;
        return trim_right(name);
    }
    return nullptr;
}

int java_tags(const char *path, FILE *out) {
    StatementCursor cursor;
    cursor_init(&cursor);
    if (cursor_open(&cursor, path) != 0 || cursor_rewind(&cursor) != 0) {
        cursor_close(&cursor);
        return -1;
    }
    Env *env = get_env();
    const FileBuffer *buffer = cursor.d_buffer;
    while (char *statement = cursor_next(&cursor)) {
        char kind = 0;
        char *name = java_definition(statement, cursor.d_end, cursor.d_brace_depth, &kind);
        int k = env->d_stmt_index;
        if (!name || k <= 0 || k >= buffer->d_mark_capacity) continue;
        write_tag(out, name, path, buffer->d_marks[k].d_line + 1, kind);
    }
    cursor_close(&cursor);
    return 0;
}
