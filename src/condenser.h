// FileBuffer: one source file in memory (mapped, read, or standard input)
// with its condensed text and line map; and the C/C++ condenser tt_condense.
// The condensed text never holds a comment; line-map entry k belongs to the
// k-th statement end. The byte after the last source byte always reads as 0.
#pragma once
#include <cstdint>

struct LineMark {
    int32_t d_index;   // entry k holds k
    int32_t d_line;    // zero-based source line of the statement's end
    int32_t d_offset;  // source offset of the character that ended it
};

struct FileBuffer {
    char *d_path;        // "-" is standard input; not owned
    int d_fd;            // open descriptor while mapped, else 0
    char *d_data;        // source bytes, followed by a zero byte
    int32_t d_size;      // source bytes
    char d_mapped;       // 1: d_data is a mapping
    char *d_text;        // condensed text, owned
    int32_t d_text_len;
    LineMark *d_marks;   // line map, owned; entry 0 unused
    int32_t d_map_len;   // bytes of the mapping (may exceed d_size + 1)
    int32_t d_mark_capacity;  // entries the line map holds, entry 0 included
};

FileBuffer *file_buffer_new(const char *path);  // zero-filled, d_path set
// Reads (or maps, when large) the source with a zero byte after it; -1 with
// errno when it cannot. Load says why on standard error; read is silent.
int file_buffer_load(FileBuffer *buffer);
int file_buffer_read(FileBuffer *buffer);
char *file_buffer_condense(FileBuffer *buffer);
void file_buffer_free(FileBuffer *buffer);
// REQUIRES: marks has room for mark_capacity entries; tt_condense never
// writes more (size + 1 covers one end per source byte).
int tt_condense(const char *source, int size, char *out, LineMark *marks, int mark_capacity);
// True when the processor has SSSE3, whose table lookups the block scans of
// the condenser and the statement splitter use; read once.
bool cpu_has_ssse3();
int the_tt_file(const char *path);

// Opens path, maps size + 1 bytes so that a zero follows the source; empty
// when the file is not a regular file or cannot be mapped.
char *map_file(const char *path, int *out_fd, int *out_size, int *out_map_len);
int read_file_into(const char *path, char *buffer, int size);
char *read_all_fd(int fd, int *out_length);
