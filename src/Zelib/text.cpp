#include "text.h"

#include <cstring>

char *file_extension(char *path) { return path ? strrchr(path, '.') : nullptr; }
const char *file_extension(const char *path) { return path ? strrchr(path, '.') : nullptr; }

char *declared_name(char *text) {
    char *stop = text + strcspn(text, "(=[");
    if (stop != text && stop[-1] == ' ') stop[-1] = 0;
    else *stop = 0;
    char *last_blank = strrchr(text, ' ');
    char *name = last_blank ? last_blank + 1 : text;
    while (*name == ' ' || *name == '&' || *name == '*') ++name;
    return name;
}

char *trim_left(char *text) {
    if (!text) return nullptr;
    size_t lead = strspn(text, " \t");
    if (lead) memmove(text, text + lead, strlen(text + lead) + 1);
    return text;
}

char *trim_right(char *text) {
    if (!text) return nullptr;
    size_t n = strlen(text);
    if (n <= 1) return text;
    size_t last = n - 1;
    while (last >= 1 && (text[last] == ' ' || text[last] == '\t')) --last;
    text[last + 1] = 0;
    return text;
}

int tabs_to_spaces(char *text) {
    if (!text) return -1;
    for (; *text; ++text)
        if (*text == '\t') *text = ' ';
    return 0;
}
