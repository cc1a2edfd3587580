#include "tags_program.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>

#include "block_end.h"
#include "condenser.h"
#include "env.h"
#include "lookup.h"
#include "string_array.h"

static const char FRAME_OPEN[] = "//<***>\n";
static const char FRAME_CLOSE[] = "//</***>\n";

// Every source file of the run by path: a tree with many nodes in one file
// maps and indexes it once.
static std::unordered_map<std::string, SourceFile *> g_sources;

static bool index_lines(SourceFile *source) {
    size_t lines = 0;
    const char *p = source->d_data, *end = p + source->d_size;
    while (p < end && (p = static_cast<const char *>(memchr(p, '\n', (size_t)(end - p))))) {
        ++lines;
        ++p;
    }
    if (source->d_size > 0 && source->d_data[source->d_size - 1] != '\n') ++lines;
    if (lines > INT32_MAX || source->d_size > UINT32_MAX) return false;
    source->d_starts = static_cast<uint32_t *>(malloc(sizeof(uint32_t) * (lines + 1)));
    if (!source->d_starts) return false;
    size_t k = 0;
    for (size_t offset = 0; offset < source->d_size; ++k) {
        source->d_starts[k] = (uint32_t)offset;
        const char *nl = static_cast<const char *>(memchr(source->d_data + offset, '\n', source->d_size - offset));
        offset = nl ? (size_t)(nl - source->d_data) + 1 : source->d_size;
    }
    source->d_starts[k] = (uint32_t)source->d_size;
    source->d_lines = (int32_t)lines;
    return true;
}

SourceFile *source_file(const char *path) {
    if (!path) return nullptr;
    auto found = g_sources.find(path);
    if (found != g_sources.end()) return found->second;
    SourceFile *source = nullptr;
    MappedFile mapped;
    if (map_whole_file(path, &mapped) == 0) {
        // The mapping outlives the descriptor; a tree may map thousands.
        if (mapped.d_fd >= 0) close(mapped.d_fd);
        mapped.d_fd = -1;
        source = static_cast<SourceFile *>(calloc(1, sizeof(SourceFile)));
        if (source) {
            source->d_path = strdup(path);
            source->d_data = mapped.d_data;
            source->d_size = mapped.d_size;
            if (!source->d_path || !index_lines(source)) {
                unmap_whole_file(&mapped);
                free(source->d_path);
                free(source);
                source = nullptr;
            }
        } else {
            unmap_whole_file(&mapped);
        }
    }
    // Unreadable files are remembered too: they stay unreadable for the run.
    g_sources.emplace(path, source);
    return source;
}

static const char *line_text(const SourceFile *source, int i, size_t *length) {
    *length = source->d_starts[i + 1] - source->d_starts[i];
    return source->d_data + source->d_starts[i];
}

// A directive line goes on when its last character before the line end
// (blanks and tabs passed over) is a backslash.
static bool continues(const char *line, size_t length) {
    if (length > 0 && line[length - 1] == '\n') --length;
    if (length > 0 && line[length - 1] == '\r') --length;
    while (length > 0 && (line[length - 1] == ' ' || line[length - 1] == '\t')) --length;
    return length > 0 && line[length - 1] == '\\';
}

bool block_lines(SourceFile *source, int line, bool is_function, int *first, int *last) {
    if (!source || line < 1 || line > source->d_lines) return false;
    int i = line - 1;
    *first = i;
    size_t length;
    const char *text = line_text(source, i, &length);
    if (text[0] == '#') {
        while (continues(text, length) && i + 1 < source->d_lines) text = line_text(source, ++i, &length);
        *last = i;
        return true;
    }
    // The definition starts outside any comment, whatever the last block left.
    block_end_reset();
    int depth = 0;
    for (;;) {
        int closed = block_end_scan_n(text, length, &depth, is_function);
        if ((closed == 1 && depth == 0) || i + 1 >= source->d_lines) break;
        text = line_text(source, ++i, &length);
    }
    *last = i;
    return true;
}

static void put_tabs(FILE *out, int count) {
    for (int k = 0; k < count; ++k) fputc('\t', out);
}

void print_block(const BlockRequest *request) {
    if (!request) return;
    SourceFile *source = source_file(request->file);
    if (!source) return;
    FILE *out = request->out_path ? fopen(request->out_path, "w") : stdout;
    if (!out) return;
    if (!request->plain) {
        put_tabs(out, request->indent);
        fputs(FRAME_OPEN, out);
    }
    int first, last;
    if (block_lines(source, request->line, request->is_function, &first, &last)) {
        size_t length;
        const char *text = line_text(source, first, &length);
        bool directive = text[0] == '#';
        for (int i = first; i <= last; ++i) {
            text = line_text(source, i, &length);
            if (!request->plain && !directive) put_tabs(out, request->indent);
            fwrite(text, 1, length, out);
        }
    }
    if (!request->plain) {
        put_tabs(out, request->indent);
        fputs(FRAME_CLOSE, out);
    }
    if (out != stdout) fclose(out);
}

void print_tags(StringArray *names, const char *out_path) {
    if (!names) return;
    Env *env = get_env();
    for (int i = 0; i < count(names); ++i) {
        const char *name = at(names, i);
        StringArray *tags = find_tags(name);
        if (count(tags) == 0 && env->d_debug) {
            fprintf(env->d_debug, "Tag not found : %s\n", name);
            fflush(env->d_debug);
        }
        for (int k = 0; k < count(tags); ++k) {
            TagLocation *tag = tag_at(tags, k);
            if (!out_path) printf("// file %s line %i\n", tag->file, tag->line);
            BlockRequest request = {0, tag->line, 1, (uint8_t)(tag->kind == TAG_KIND_FUNCTION), tag->file, out_path};
            print_block(&request);
            if (!out_path) putchar('\n');
        }
        free_tags(tags);
    }
    fflush(stdout);
}

FileBuffer *condense_tag(const char *name, char **text) {
    if (text) *text = nullptr;
    StringArray *tags = find_tags(name);
    // The block of the last readable location, the first of them in "./tags".
    SourceFile *source = nullptr;
    int first = 0, last = -1;
    for (int k = 0; k < count(tags); ++k) {
        TagLocation *tag = tag_at(tags, k);
        SourceFile *candidate = source_file(tag->file);
        if (!candidate) continue;
        source = candidate;
        if (!block_lines(source, tag->line, tag->kind == TAG_KIND_FUNCTION, &first, &last)) {
            first = 0;
            last = -1;
        }
    }
    free_tags(tags);
    if (!source) return nullptr;

    size_t begin = last >= first ? source->d_starts[first] : 0;
    size_t size = last >= first ? source->d_starts[last + 1] - begin : 0;
    if (size > (size_t)INT32_MAX / 2 - 2) return nullptr;
    // The condenser reads one byte past the source: give it a zero there.
    char *copy = static_cast<char *>(malloc(size + 1));
    char *out = static_cast<char *>(malloc(size * 2 + 1));
    int capacity = (int)size + 2;
    LineMark *marks = static_cast<LineMark *>(malloc(sizeof(LineMark) * (size_t)capacity));
    FileBuffer *buffer = file_buffer_new(source->d_path);
    if (!copy || !out || !marks || !buffer) {
        free(copy);
        free(out);
        free(marks);
        free(buffer);
        return nullptr;
    }
    if (size) memcpy(copy, source->d_data + begin, size);
    copy[size] = 0;
    marks[0] = {0, 0, 0};
    int n = tt_condense(copy, (int)size, out, marks, capacity);
    out[n] = 0;
    free(copy);
    buffer->d_text = out;
    buffer->d_text_len = n;
    buffer->d_marks = marks;
    buffer->d_mark_capacity = capacity;
    if (text) *text = out;
    return buffer;
}
