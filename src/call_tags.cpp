#include "call_tags.h"

#include <cstring>

#include "classify.h"
#include "condenser.h"
#include "cxx_tags.h"
#include "env.h"
#include "statement.h"
#include "tags_format.h"
#include "text.h"
#include "words.h"

int cxx_call_tags(const char *path, FILE *out) {
    if (!path || !out) return -1;
    StatementCursor cursor;
    cursor_init(&cursor);
    if (cursor_open(&cursor, path) != 0 || cursor_rewind(&cursor) != 0) {
        cursor_close(&cursor);
        return -1;
    }
    Env *env = get_env();
    char macro[256] = "";
    const char *function = "";
    const char *caller = "";
    char *statement;
    while ((statement = cursor_next(&cursor)) != nullptr && cursor.d_end != 0) {
        char end = cursor.d_end;
        int depth = cursor.d_brace_depth;
        if (statement[0] == '#' && is_define(statement)) {
            // An empty or missing name leaves the caller as it was.
            char name[256];
            const char *found = define_name(statement, name);
            if (found && *found) {
                strcpy(macro, found);
                caller = macro;
            }
        }
        if (depth == 0 && end == '\n') {
            size_t length = strlen(statement);
            if (length == 0 || statement[length - 1] != '\\') caller = function;
        }
        if (cursor_classify(&cursor) == STMT_FUNCTION) {
            // Shortens the statement to its head: no calls are seen in it.
            function = declared_name(statement);
            caller = function;
        }
        if (depth == 0) continue;
        WordScan scan;
        word_scan_init(&scan, statement);
        const char *word;
        size_t length;
        char follow;
        int line = -1;
        while (word_scan_next(&scan, &word, &length, &follow)) {
            const char *called = call_name_of(word, length, follow);
            if (!called) continue;
            if (line < 0) line = cursor.d_buffer->d_marks[env->d_stmt_index].d_line + 1;
            write_call_tag(out, called, path, line, caller);
        }
    }
    fflush(out);
    cursor_close(&cursor);
    return 0;
}
