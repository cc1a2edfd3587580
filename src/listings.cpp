#include "listings.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "classify.h"
#include "condenser.h"
#include "env.h"
#include "statement.h"
#include "string_array.h"

void put_repeated(char c, long long count) {
    static char block[4096];
    static char filled = 0;
    if (filled != c) {
        memset(block, c, sizeof block);
        filled = c;
    }
    while (count > 0) {
        size_t n = count < (long long)sizeof block ? (size_t)count : sizeof block;
        fwrite(block, 1, n, stdout);
        count -= (long long)n;
    }
}

// Condenses path into a new buffer; null (after the loader's message) when
// the file cannot be loaded. A path "-" from a list names a file, never
// standard input.
static FileBuffer *condense_path(const char *path, bool dash_is_stdin) {
    const char *load = (!dash_is_stdin && strcmp(path, "-") == 0) ? "./-" : path;
    FileBuffer *buffer = file_buffer_new(load);
    if (!buffer) return nullptr;
    if (!file_buffer_condense(buffer) || !buffer->d_text) {
        file_buffer_free(buffer);
        return nullptr;
    }
    return buffer;
}

void print_outline(const char *path) {
    if (!path) return;
    if (access(path, R_OK) != 0) {
        int saved = errno;
        printf("/*** %s ***/\n", path);
        fflush(stdout);
        errno = saved;
        perror("");
        return;
    }
    FileBuffer *buffer = condense_path(path, false);
    printf("/*** %s ***/\n", path);
    fflush(stdout);
    if (!buffer) return;
    char *pos = buffer->d_text, *stmt;
    int depth = 0;
    for (char end; (end = split_statement(&pos, &stmt)) != 0;) {
        if (end == '{') {
            // Only a statement ended by '{' can be a function head.
            if (depth == 0 && classify_statement(stmt, end) == STMT_FUNCTION) {
                fputs(stmt, stdout);
                fputs(";\n", stdout);
            }
            ++depth;
        } else if (end == '}' && depth > 0) {
            --depth;
        }
    }
    putchar('\n');
    file_buffer_free(buffer);
}

// Prints the members of a structure whose head was just printed, up to its
// closing line. False when the text ended inside it.
static bool print_struct_body(char **pos) {
    int depth = 1;
    char *stmt;
    for (;;) {
        char end = split_statement(pos, &stmt);
        if (end == 0) return false;
        if (end == '\n') {
            // Directives stand flush left; other line pieces are dropped.
            if (stmt[0] == '#') {
                fputs(stmt, stdout);
                putchar('\n');
            }
            continue;
        }
        if (end == '}') --depth;
        if (depth > 0) put_repeated('\t', depth);
        if (end == '{') ++depth;
        if (end != '{' && end != '}' && stmt[0]) {
            fputs(stmt, stdout);
            fputs(";\n", stdout);
            continue;
        }
        if (depth == 0) break;
        fputs(stmt, stdout);
        putchar(end);
        if (end == '}') {
            // The declarator of the inner structure follows its brace.
            char *declarator;
            char after = split_statement(pos, &declarator);
            if (after != 0 && declarator[0]) printf(" %s;", declarator);
            else putchar(';');
            putchar('\n');
            if (after == 0) return false;
        }
        putchar('\n');
    }
    // The declarator or typedef name after the closing brace.
    char *name;
    char after = split_statement(pos, &name);
    if (after != 0 && name[0]) printf("} %s;\n\n", name);
    else fputs("};\n\n", stdout);
    return after != 0;
}

void print_structs(const char *path) {
    if (!path) return;
    FileBuffer *buffer = condense_path(path, true);
    if (!buffer) return;
    bool no_links = get_env()->d_flags & FL_NO_LINKS;
    char *pos = buffer->d_text, *stmt;
    for (char end; (end = split_statement(&pos, &stmt)) != 0;) {
        bool is_typedef = strncmp(stmt, "typedef", 7) == 0;
        if (!is_typedef && strncmp(stmt, "struct", 6) != 0) continue;
        if (strchr(stmt, '(')) continue;
        if (is_typedef && end == ';') {
            if (!no_links) {
                fputs(stmt, stdout);
                fputs(";\n", stdout);
            }
            continue;
        }
        if (end != '{') continue;
        fputs(stmt, stdout);
        fputs("{\n", stdout);
        if (!print_struct_body(&pos)) break;
    }
    file_buffer_free(buffer);
}

// The kind letter of a tags line: two places after its last ';' ("\t; f"),
// or three when a '"' and a tab follow the ';' ("\t;\"\tf"). 0 when none.
static char kind_letter(const char *semicolon) {
    const char *p = semicolon + 1;
    if (p[0] == '"' && p[1] == '\t') return p[2];
    return p[0] ? p[1] : 0;
}

int print_kinds() {
    Env *env = get_env();
    if (!env->d_kinds) return -1;
    StringArray *lines = string_array_new(256);
    read_lines(lines, "./tags");
    for (int i = 0; i < count(lines); ++i) {
        char *line = at(lines, i);
        cut_line(line);
        if (line[0] == '!') continue;
        const char *semicolon = strrchr(line, ';');
        if (!semicolon) {
            fprintf(stderr, "error in tag: %s\n", line);
            fflush(stdout);
            exit(1);
        }
        char kind = kind_letter(semicolon);
        if (kind && strchr(env->d_kinds, kind)) {
            fputs(line, stdout);
            putchar('\n');
        }
    }
    free_strings(lines);
    string_array_delete(lines);
    return -1;
}
