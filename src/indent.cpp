#include "indent.h"

#include <cstdio>
#include <cstring>

#include "condenser.h"
#include "env.h"
#include "listings.h"
#include "statement.h"
#include "string_array.h"

// Statements that get an empty line before them; matched as prefixes, so
// double and format count too.
static const char *const control_words[] = {"if", "for", "while", "do", nullptr};

// A statement ended by a line end: a directive line, verbatim unless it is
// continued with a backslash.
static bool is_verbatim(const char *stmt, char end) {
    if (end != '\n') return false;
    size_t length = strlen(stmt);
    return length == 0 || stmt[length - 1] != '\\';
}

static void indent_to(int depth) {
    if (depth > 0) put_repeated(' ', 2LL * depth);
}

void indent_stdin() {
    FileBuffer *buffer = file_buffer_new("-");
    char *text = file_buffer_condense(buffer);
    if (!text) {
        file_buffer_free(buffer);
        return;
    }
    StringArray *controls = string_array_new(8);
    push_all(controls, control_words);

    int depth = 0;
    bool fresh = true, in_directive = false;
    char *pos = text, *stmt;
    char end = split_statement(&pos, &stmt);
    while (end != 0) {
        if (is_verbatim(stmt, end)) {
            while (end != 0 && is_verbatim(stmt, end)) {
                fputs(stmt, stdout);
                putchar('\n');
                end = split_statement(&pos, &stmt);
            }
            if (end == 0) break;
            in_directive = false;
        }
        if (stmt[0] == '#') in_directive = true;
        if (!fresh && !in_directive && find_prefix_of(controls, stmt) >= 0) putchar('\n');
        if (end == '}') --depth;
        if (end != '\n' && !in_directive) indent_to(depth);
        fputs(stmt, stdout);
        putchar(end);
        if (end == '}' && in_directive) putchar(' ');
        if (end == '{') ++depth;

        if (in_directive) {
            fresh = false;
        } else if (end == '}' && depth == 0) {
            // The end of a top-level block: what follows decides the spacing.
            fresh = false;
            if (*pos == ';') {
                ++pos;
                if (*pos) ++pos;
                fputs(";\n\n", stdout);
            } else if (*pos == '#' || *pos == '\n') {
                putchar('\n');
            } else if (*pos) {
                fputs("\n\n", stdout);
            }
        } else {
            fresh = end == '{';
            if (end != '\n') putchar('\n');
        }
        end = split_statement(&pos, &stmt);
    }
    // Text after the last statement end (the last line of a directive, whose
    // line end the condenser drops with the input's final newline) is kept.
    const char *rest = stmt;
    while (*rest == ' ') ++rest;
    if (*rest) {
        if (stmt[0] != '#' && !in_directive) indent_to(depth);
        fputs(stmt, stdout);
        putchar('\n');
    }

    string_array_delete(controls);
    file_buffer_free(buffer);
    FILE *debug = get_env()->d_debug;
    if (debug) {
        fprintf(debug, "%s out\n", "nogui_indent");
        fflush(debug);
    }
}
