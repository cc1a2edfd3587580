#include "tags_format.h"

#include <cstring>

#include "env.h"

const char *const TAGS_HEADER[6] = {
    "!_TAG_FILE_FORMAT\t2\n",
    "!_TAG_FILE_SORTED\t1\n",
    "!_TAG_PROGRAM_AUTHOR\tZephyr Elk developers <dev@zephyr-elk.invalid>\n",
    "!_TAG_PROGRAM_NAME\tZephyr Elk\n",
    "!_TAG_PROGRAM_URL\thttps://zephyr-elk.invalid/\n",
    "!_TAG_PROGRAM_VERSION\t2.0\n",
};

// A field holding a tab, CR or LF would break the line into wrong fields.
static const char *kind_separator() {
    return (get_env()->d_flags & FL_VIM_TAGS) ? ";\"\t" : "\t; ";
}

static bool one_line(const char *text) { return text && !strpbrk(text, "\t\r\n"); }

// Millions of lines on a large tree: formatted by hand, not by fprintf.
void write_tag(FILE *out, const char *name, const char *path, int line, char kind) {
    if (!name || !*name || !one_line(name) || !one_line(path)) return;
    char digits[16];
    int n = 0;
    unsigned value = line < 0 ? 0u - (unsigned)line : (unsigned)line;
    do digits[n++] = (char)('0' + value % 10);
    while ((value /= 10) != 0);
    if (line < 0) digits[n++] = '-';
    fputs_unlocked(name, out);
    putc_unlocked('\t', out);
    fputs_unlocked(path, out);
    putc_unlocked('\t', out);
    while (n > 0) putc_unlocked(digits[--n], out);
    fputs_unlocked(kind_separator(), out);
    putc_unlocked(kind, out);
    putc_unlocked('\n', out);
}

void write_tag_qualified(FILE *out, const char *head, const char *tail, const char *path,
                         int line, char kind) {
    if (!one_line(head) || !one_line(tail) || !one_line(path) || (!*head && !*tail)) return;
    fprintf(out, "%s:%s\t%s\t%i%s%c\n", head, tail, path, line, kind_separator(), kind);
}

void write_call_tag(FILE *out, const char *name, const char *path, int line, const char *caller) {
    if (!name || !*name || !one_line(name) || !one_line(path)) return;
    if (caller && *caller && one_line(caller))
        fprintf(out, "%s\t%s\t%i\t;\tby\t%s\n", name, path, line, caller);
    else
        fprintf(out, "%s\t%s\t%i\n", name, path, line);
}
