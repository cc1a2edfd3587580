#include "lookup.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "env.h"
#include "string_array.h"

int map_whole_file(const char *path, MappedFile *file) {
    file->d_data = nullptr;
    file->d_size = 0;
    file->d_fd = -1;
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
    file->d_fd = fd;
    return 0;
}

void unmap_whole_file(MappedFile *file) {
    if (file->d_data) munmap(const_cast<char *>(file->d_data), file->d_size);
    if (file->d_fd >= 0) close(file->d_fd);
    file->d_data = nullptr;
    file->d_size = 0;
    file->d_fd = -1;
}

// Bytes of the line at data[start], its line feed included.
static size_t length_at(const char *data, size_t size, size_t start) {
    const char *nl = static_cast<const char *>(memchr(data + start, '\n', size - start));
    return nl ? (size_t)(nl - data - start) + 1 : size - start;
}

size_t line_length(const MappedFile *file, size_t start) {
    return length_at(file->d_data, file->d_size, start);
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
static int compare_at(const char *data, size_t size, size_t start, const char *key, size_t length) {
    size_t line = length_at(data, size, start);
    size_t n = line < length ? line : length;
    int c = memcmp(data + start, key, n);
    if (c != 0 || line >= length) return c;
    return -1;  // the line ends first: its terminating zero sorts below the key
}

static bool begins_at(const char *data, size_t size, size_t start, const char *key, size_t length) {
    return start < size && compare_at(data, size, start, key, length) == 0;
}

bool line_begins_with(const MappedFile *file, size_t start, const char *key, size_t length) {
    return begins_at(file->d_data, file->d_size, start, key, length);
}

// The first line in data[from, size) that compares at or above the key, or
// size. Bisection over bytes: lo is always a line start and every line
// before lo compares below the key.
static size_t lower_bound(const char *data, size_t size, size_t from, const char *key, size_t length) {
    size_t lo = from, hi = size;
    while (lo < hi) {
        size_t mid = lo + (hi - lo) / 2;
        const char *nl = mid > lo ? static_cast<const char *>(memrchr(data + lo, '\n', mid - lo)) : nullptr;
        size_t start = nl ? (size_t)(nl - data) + 1 : lo;
        if (compare_at(data, size, start, key, length) < 0) lo = start + length_at(data, size, start);
        else hi = start;
    }
    return lo;
}

long first_line_with(const MappedFile *file, const char *key, size_t length) {
    if (!file->d_data || !key) return -1;
    size_t first = lower_bound(file->d_data, file->d_size, 0, key, length);
    return line_begins_with(file, first, key, length) ? (long)first : -1;
}

size_t end_of_run(const MappedFile *file, size_t start, const char *key, size_t length) {
    while (line_begins_with(file, start, key, length)) start += line_length(file, start);
    return start;
}

enum { SCAN_PIECE = 1 << 20 };

int for_lines_with_keys(const MappedFile *file, const char *const *keys, const size_t *lengths,
                        size_t count, LineSink found, void *context) {
    if (!file || !keys || !lengths || !found) return -1;
    if (file->d_fd < 0 || file->d_size == 0 || count == 0) return 0;
    size_t capacity = SCAN_PIECE;
    char *buffer = static_cast<char *>(malloc(capacity));
    if (!buffer) return -1;
    size_t k = 0, held = 0, offset = 0;
    while (k < count) {
        // Top the buffer up after the part line kept from the last piece.
        if (held == capacity) {
            char *grown = static_cast<char *>(realloc(buffer, capacity * 2));
            if (!grown) break;
            buffer = grown;
            capacity *= 2;
        }
        ssize_t got = pread(file->d_fd, buffer + held, capacity - held, (off_t)offset);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) break;
        offset += (size_t)got;
        held += (size_t)got;
        bool last = got == 0 || offset >= file->d_size;
        // Whole lines only, unless the file ends here.
        size_t size = held;
        if (!last) {
            const char *nl = static_cast<const char *>(memrchr(buffer, '\n', held));
            if (!nl) continue;
            size = (size_t)(nl - buffer) + 1;
        }
        size_t at = 0;
        while (k < count) {
            at = lower_bound(buffer, size, at, keys[k], lengths[k]);
            if (at == size) break;
            while (begins_at(buffer, size, at, keys[k], lengths[k])) {
                size_t line = length_at(buffer, size, at);
                found(context, k, buffer + at, line);
                at += line;
            }
            // The key's run may go on in the next piece.
            if (at == size) break;
            ++k;
        }
        if (last) break;
        memmove(buffer, buffer + size, held - size);
        held -= size;
    }
    free(buffer);
    return 0;
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
