#include "lookup.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "env.h"
#include "string_array.h"

int map_whole_file(const char *path, MappedFile *file) {
    file->d_data = nullptr;
    file->d_size = 0;
    if (!path) return -1;
    // Non-blocking: a FIFO named like a source must not hang the run.
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return -1;
    }
    if (st.st_size > 0) {
        void *data = mmap(nullptr, (size_t)st.st_size, PROT_READ, MAP_PRIVATE, fd, 0);
        if (data == MAP_FAILED) {
            close(fd);
            return -1;
        }
        file->d_data = static_cast<const char *>(data);
        file->d_size = (size_t)st.st_size;
    }
    close(fd);
    return 0;
}

void unmap_whole_file(MappedFile *file) {
    if (file->d_data) munmap(const_cast<char *>(file->d_data), file->d_size);
    file->d_data = nullptr;
    file->d_size = 0;
}

size_t line_length(const MappedFile *file, size_t start) {
    const char *p = file->d_data + start;
    size_t rest = file->d_size - start;
    const char *nl = static_cast<const char *>(memchr(p, '\n', rest));
    return nl ? (size_t)(nl - p) + 1 : rest;
}

long previous_line(const MappedFile *file, size_t start) {
    if (start == 0) return -1;
    // start - 1 is the line feed that ends the previous line.
    const char *base = file->d_data;
    size_t end = start - 1;
    const char *nl = end ? static_cast<const char *>(memrchr(base, '\n', end)) : nullptr;
    return nl ? (long)(nl - base) + 1 : 0;
}

// strncmp of the line (as a zero-terminated item) and key over length bytes.
static int compare_line(const MappedFile *file, size_t start, const char *key, size_t length) {
    size_t line = line_length(file, start);
    size_t n = line < length ? line : length;
    int c = memcmp(file->d_data + start, key, n);
    if (c != 0 || line >= length) return c;
    return -1;  // the line ends first: its terminating zero sorts below the key
}

bool line_begins_with(const MappedFile *file, size_t start, const char *key, size_t length) {
    return start < file->d_size && compare_line(file, start, key, length) == 0;
}

long first_line_with(const MappedFile *file, const char *key, size_t length) {
    if (!file->d_data || !key) return -1;
    // Bisection over bytes; lo is always a line start, and every line before
    // lo compares below the key.
    size_t lo = 0, hi = file->d_size;
    while (lo < hi) {
        size_t mid = lo + (hi - lo) / 2;
        const char *nl = mid > lo ? static_cast<const char *>(memrchr(file->d_data + lo, '\n', mid - lo)) : nullptr;
        size_t start = nl ? (size_t)(nl - file->d_data) + 1 : lo;
        if (compare_line(file, start, key, length) < 0) lo = start + line_length(file, start);
        else hi = start;
    }
    return line_begins_with(file, lo, key, length) ? (long)lo : -1;
}

// Copies at most 255 bytes of text and terminates the copy.
static void copy_field(char *field, const char *text, size_t length) {
    if (length > 255) length = 255;
    memcpy(field, text, length);
    field[length] = 0;
}

bool parse_tag_line_n(const char *line, size_t length, const char *name, TagLocation *tag) {
    if (!line || !tag) return false;
    copy_field(tag->name, name ? name : "", name ? strlen(name) : 0);
    const char *tab = static_cast<const char *>(memchr(line, '\t', length));
    if (!tab) return false;
    const char *file = tab + 1;
    const char *end = line + length;
    const char *tab2 = static_cast<const char *>(memchr(file, '\t', (size_t)(end - file)));
    if (!tab2) return false;
    copy_field(tag->file, file, (size_t)(tab2 - file));
    const char *digits = tab2 + 1;
    if (digits >= end || *digits < '0' || *digits > '9') return false;
    long number = 0;
    for (; digits < end && *digits >= '0' && *digits <= '9'; ++digits)
        if (number <= INT_MAX) number = number * 10 + (*digits - '0');
    tag->line = number > INT_MAX ? INT_MAX : (int32_t)number;
    return true;
}

bool parse_tag_line(const char *line, const char *name, TagLocation *tag) {
    return line && parse_tag_line_n(line, strlen(line), name, tag);
}

char tag_kind_letter(const char *line, size_t length) {
    const char *end = line + length;
    const char *tab = static_cast<const char *>(memchr(line, '\t', length));
    if (!tab) return 0;
    tab = static_cast<const char *>(memchr(tab + 1, '\t', (size_t)(end - tab - 1)));
    if (!tab) return 0;
    const char *p = tab + 1;
    while (p < end && *p >= '0' && *p <= '9') ++p;
    size_t rest = (size_t)(end - p);
    const char *letter = nullptr;
    if (rest >= 4 && memcmp(p, "\t; ", 3) == 0) letter = p + 3;
    else if (rest >= 4 && memcmp(p, ";\"\t", 3) == 0) letter = p + 3;
    if (!letter) return 0;
    char after = letter + 1 < end ? letter[1] : 0;
    if (after != 0 && after != '\n' && after != '\r' && after != '\t') return 0;
    return *letter;
}

TagLocation *tag_at(const StringArray *tags, int index) {
    return reinterpret_cast<TagLocation *>(at(tags, index));
}

void free_tags(StringArray *tags) {
    if (!tags) return;
    for (int i = 0; i < count(tags); ++i) free(tag_at(tags, i));
    string_array_delete(tags);
}

static MappedFile g_tags;

StringArray *find_tags(const char *name) {
    static bool loaded;
    StringArray *result = string_array_new(0);
    if (!name) return result;
    if (!loaded) {
        map_whole_file("./tags", &g_tags);
        loaded = true;
    }
    // The key: the name and a tab, cut to 254 characters.
    char key[255];
    size_t name_length = strlen(name);
    size_t key_length = name_length < 254 ? name_length + 1 : 254;
    memcpy(key, name, key_length < name_length ? key_length : name_length);
    if (key_length > name_length) key[name_length] = '\t';
    key[key_length] = 0;
    if (!g_tags.d_data) return result;

    FILE *debug = get_env()->d_debug;
    long first = first_line_with(&g_tags, key, key_length);
    if (first < 0) {
        if (debug) {
            fputs("\tget_env()->d_tags_file->snfind_fast == -1\n", debug);
            fflush(debug);
        }
        return result;
    }
    size_t n = (size_t)first;
    for (;;) {
        size_t next = n + line_length(&g_tags, n);
        if (!line_begins_with(&g_tags, next, key, key_length)) break;
        n = next;
    }
    // Collected from the last matching line backwards.
    for (;;) {
        const char *line = g_tags.d_data + n;
        size_t length = line_length(&g_tags, n);
        if (debug) {
            fprintf(debug, "\ttag : %.*s\n", (int)length, line);
            fflush(debug);
        }
        TagLocation *tag = static_cast<TagLocation *>(calloc(1, sizeof(TagLocation)));
        if (!tag) break;
        if (tag_kind_letter(line, length) == 'f') tag->kind = TAG_KIND_FUNCTION;
        if (!parse_tag_line_n(line, length, name, tag)) {
            free(tag);
            if (debug) {
                fprintf(debug, "\tBAD tag : %.*s\n", (int)length, line);
                fflush(debug);
            }
            break;
        }
        push(result, reinterpret_cast<char *>(tag));
        long previous = previous_line(&g_tags, n);
        if (previous < 0 || !line_begins_with(&g_tags, (size_t)previous, name, name_length)) break;
        n = (size_t)previous;
    }
    return result;
}
