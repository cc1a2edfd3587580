// Ruby: lines beginning with "def " (kind f), "class " (kind c) or "module "
// (kind m), named by the word after the keyword.
#include <cstring>

#include "script_tags.h"
#include "tags_format.h"
#include "string_array.h"
#include "text.h"

static void ruby_line(const char *path, char *line, int number, FILE *out) {
    // Only a line whose first word starts like a keyword can match.
    char first = line[strspn(line, " \t")];
    if (first != 'd' && first != 'c' && first != 'm') return;
    char *comment = strchr(line, '#');
    if (comment) *comment = 0;
    cut_line(line);
    tabs_to_spaces(line);
    trim_right(trim_left(line));
    char kind;
    char *name;
    if (strncmp(line, "def ", 4) == 0) {
        kind = 'f';
        name = line + 4;
    } else if (strncmp(line, "class ", 6) == 0) {
        kind = 'c';
        name = line + 6;
    } else if (strncmp(line, "module ", 7) == 0) {
        kind = 'm';
        name = line + 7;
    } else {
        return;
    }
    name += strspn(name, " ");
    name[strcspn(name, "(")] = 0;
    name[strcspn(name, "{")] = 0;
    name[strcspn(name, " ")] = 0;
    write_tag(out, name, path, number, kind);
}

int ruby_tags(const char *path, FILE *out) {
    return for_each_source_line(path, [&](char *line, int number) { ruby_line(path, line, number, out); });
}
