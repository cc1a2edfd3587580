// PHP: "function NAME(" (kind f) and "class NAME" (kind c) anywhere in a
// line, for names without blanks.
#include <cstring>

#include "script_tags.h"
#include "tags_format.h"
#include "string_array.h"
#include "text.h"

static void php_line(const char *path, int number, char *line, FILE *out) {
    // Cutting and blank handling only remove text: a line without either
    // word cannot match.
    if (!strstr(line, "function") && !strstr(line, "class")) return;
    cut_line(line);
    char *comment = strstr(line, "//");
    if (comment) *comment = 0;
    tabs_to_spaces(line);
    char kind;
    char *s = strstr(line, "function ");
    if (s) {
        kind = 'f';
        char *paren = strchr(s, '(');
        if (!paren) return;
        *paren = 0;
    } else if ((s = strstr(line, "class "))) {
        kind = 'c';
        char *extends = strstr(s, " extends ");
        if (extends) *extends = 0;
    } else {
        return;
    }
    char *brace = strchr(s, '{');
    if (brace) *brace = 0;
    trim_right(trim_left(s));
    char *name;
    if (strncmp(s, "function ", 9) == 0) name = s + 9;
    else if (strncmp(s, "class ", 6) == 0) name = s + 6;
    else return;
    name += strspn(name, " ");
    if (strchr(name, ' ')) return;
    write_tag(out, name, path, number, kind);
}

int php_tags(const char *path, FILE *out) {
    return for_each_source_line(path, [&](char *line, int number) { php_line(path, number, line, out); });
}
