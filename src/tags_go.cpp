// Go: lines beginning with "func" (kind f: the function or method name) or
// "type" (kind t: the type name), read line by line.
#include <cstring>

#include "script_tags.h"
#include "tags_format.h"
#include "string_array.h"
#include "text.h"

static inline char *skip_blanks(char *p) { return p + strspn(p, " \t"); }

static void go_line(const char *path, int number, char *line, FILE *out) {
    // The keyword test comes first: cutting the comment and the line end
    // cannot change the first five bytes of a line that passes it.
    char *s = skip_blanks(line);
    if (strncmp(s, "func", 4) != 0 && strncmp(s, "type", 4) != 0) return;
    if (s[4] != ' ' && s[4] != '\t') return;
    cut_line(s);
    char *comment = strstr(s, "//");
    if (comment) *comment = 0;
    char *name = skip_blanks(s + 5);
    // The line's keyword decides: "type funcval struct" is a type.
    if (strncmp(s, "func", 4) == 0) {
        if (*name == '(') {
            // A receiver not closed on this line gives no tag.
            char *close = strchr(name, ')');
            if (!close) return;
            name = skip_blanks(close + 1);
        }
        char *paren = strchr(name, '(');
        if (paren) *paren = 0;
        write_tag(out, trim_right(name), path, number, 'f');
    } else {
        name[strcspn(name, " \t\n")] = 0;
        write_tag(out, name, path, number, 't');
    }
}

int go_tags(const char *path, FILE *out) {
    return for_each_source_line(path, [&](char *line, int number) { go_line(path, number, line, out); });
}
