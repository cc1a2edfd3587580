// Python: statements beginning with "def " (kind f) or "class " (kind c), at
// any indentation, over the condenser's statements and line map.
#include <cstring>

#include "condenser.h"
#include "env.h"
#include "py_tt.h"
#include "script_tags.h"
#include "string_array.h"
#include "tags_format.h"
#include "text.h"

// REQUIRES: statement begins with 'd' or 'c' (its indentation passed).
static void python_statement(const FileBuffer *buffer, char *statement, FILE *out) {
    char kind;
    if (strncmp(statement, "def ", 4) == 0) kind = 'f';
    else if (strncmp(statement, "class ", 6) == 0) kind = 'c';
    else return;
    cut_line(statement);
    char *paren = strchr(statement, '(');
    if (paren) *paren = 0;
    trim_right(statement);
    // A keyword with no name after it ("def (x)") leaves no blank: no tag.
    char *blank = strchr(statement, ' ');
    if (!blank) return;
    int k = get_env()->d_stmt_index;
    if (k <= 0 || k >= buffer->d_mark_capacity) return;
    write_tag(out, blank + 1, buffer->d_path, buffer->d_marks[k].d_line + 1, kind);
}

int python_tags(const char *path, FILE *out) {
    Env *env = get_env();
    env->d_stmt_index = 0;
    FileBuffer *buffer = file_buffer_new(path);
    char *text = py_tt_load(buffer);
    if (!text) {
        file_buffer_free(buffer);
        return 0;
    }
    char *cursor = text;
    const char *limit = text + buffer->d_text_len + 1;
    for (;;) {
        char *statement = cursor;
        char end = py_next_statement(&cursor, limit);
        ++env->d_stmt_index;
        if (!end) break;
        // Most statements are passed on their first letter.
        while (*statement == ' ' || *statement == '\t') ++statement;
        if (*statement == 'd' || *statement == 'c') python_statement(buffer, statement, out);
    }
    file_buffer_free(buffer);
    return 0;
}
