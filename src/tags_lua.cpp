// Lua: lines beginning with "function" and a blank (kind f), named by the
// text before '(' with any table prefix up to the first '.' dropped.
#include <cstring>

#include "script_tags.h"
#include "tags_format.h"
#include "string_array.h"
#include "text.h"

static void lua_line(const char *path, int number, char *line, FILE *out) {
    cut_line(line);
    trim_left(line);
    if (strncmp(line, "function", 8) != 0 || (line[8] != ' ' && line[8] != '\t')) return;
    char *paren = strchr(line, '(');
    if (!paren) return;
    *paren = 0;
    char *name = trim_right(trim_left(line + 8));
    char *dot = strchr(name, '.');
    if (dot) name = dot + 1;
    write_tag(out, name, path, number, 'f');
}

int lua_tags(const char *path, FILE *out) {
    return for_each_source_line(path, [&](char *line, int number) {
        if (strstr(line, "function")) lua_line(path, number, line, out);
    });
}
