// Source blocks of tags: the lines of a definition from its tag line to the
// end of its body, declaration or macro (print_block), the blocks of names
// (print_tags, the --tags mode) and the condensed block of one tag
// (condense_tag, for the call tree). Source files are read once per process.
#pragma once
#include <cstdint>

struct FileBuffer;
struct StringArray;

struct BlockRequest {
    int32_t indent;      // tabs before each line and frame marker unless plain
    int32_t line;        // first line of the block, counted from 1
    uint8_t plain;       // 1: no frame markers, no indentation
    uint8_t is_function; // 1: a ';' at brace depth 0 does not end the block
    const char *file;    // source to read
    const char *out_path;  // file to write (truncated); null for stdout
};

void print_block(const BlockRequest *request);
// For each name, every definition in "./tags": on stdout a "// file" header,
// the block and an empty line; into out_path (truncated for every block)
// only the block, so the file ends holding the first definition in "./tags".
void print_tags(StringArray *names, const char *out_path);
// The condensed block of the definition that comes first in "./tags" among
// those whose source can be read; null when there is none. *text is set to
// the condensed text (null with a null result). The caller owns the buffer,
// which holds only d_text and d_marks; d_path is the source path.
FileBuffer *condense_tag(const char *name, char **text);

// A source file loaded once per process, with its line starts.
struct SourceFile {
    char *d_path;
    const char *d_data;   // mapped bytes; null when the file is empty
    uint64_t d_size;
    uint32_t *d_starts;   // d_starts[i] is the offset of line i (0-based)
    int32_t d_lines;
};
// The cached file, loaded on first use; null when it cannot be read.
SourceFile *source_file(const char *path);
// Lines [*first, *last] (0-based) of the block that starts at line (1-based);
// false when line lies outside the file.
bool block_lines(SourceFile *source, int line, bool is_function, int *first, int *last);
