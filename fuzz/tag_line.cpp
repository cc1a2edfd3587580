// The readers of "tags" lines over any bytes: each line of the input is
// parsed with a name taken from its first field, zero-terminated and counted
// (an exactly sized copy), and its kind letter read. Checks that the two
// forms agree and that the file field stays within its buffer. Then the
// bisection helpers over the whole input as a mapped file, with keys taken
// from its own lines: unsorted lines may be missed, never read past.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "lookup.h"
#include "support/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > FUZZ_MAX_INPUT) return 0;
    fuzz_setup();
    char *text = fuzz_copy(data, size);
    for (char *line = text; line < text + size;) {
        char *nl = static_cast<char *>(memchr(line, '\n', text + size - line));
        size_t length = nl ? (size_t)(nl - line) + 1 : (size_t)(text + size - line);
        char *copy = static_cast<char *>(malloc(length + 1));
        memcpy(copy, line, length);
        copy[length] = 0;
        char name[300];
        size_t name_length = strcspn(copy, "\t");
        if (name_length > sizeof name - 1) name_length = sizeof name - 1;
        memcpy(name, copy, name_length);
        name[name_length] = 0;
        TagLocation a = {}, b = {};
        bool ok_a = parse_tag_line(copy, name, &a);
        char *exact = static_cast<char *>(malloc(length));
        memcpy(exact, line, length);
        bool ok_b = strlen(copy) == length ? parse_tag_line_n(exact, length, name, &b) : ok_a;
        tag_kind_letter(exact, length);
        free(exact);
        if (ok_a != ok_b) abort();
        if (ok_a) {
            if (strnlen(a.file, sizeof a.file) == sizeof a.file) abort();
            if (strlen(copy) == length && (strcmp(a.file, b.file) != 0 || a.line != b.line || a.kind != b.kind)) abort();
        }
        free(copy);
        line += length;
    }

    MappedFile file;
    memset(&file, 0, sizeof file);
    file.d_data = size ? text : nullptr;
    file.d_size = size;
    for (const char *line = text; line < text + size;) {
        size_t length = line_length(&file, (size_t)(line - text));
        if (length == 0 || line + length > text + size) abort();
        long first = first_line_with(&file, line, length > 8 ? 8 : length);
        if (first >= 0 && ((size_t)first >= size || previous_line(&file, (size_t)first) >= first)) abort();
        line += length;
    }
    free(text);
    return 0;
}
