// Tag lookup: every definition of a name in "./tags" as TagLocation records
// (new, owned by the caller), and the byte-sorted line files ("tags",
// "call_tags") mapped read-only and bisected in place, never loaded whole.
// A mapped file is a run of lines; every line offset points at a line start.
#pragma once
#include <cstddef>
#include <cstdint>

struct StringArray;

// kind of a TagLocation whose tags line carries the function letter f.
enum { TAG_KIND_FUNCTION = 8 };

struct TagLocation {
    char name[256];  // the name looked up, cut at 255 characters
    char file[256];  // second field of the tags line, cut at 255 characters
    int32_t line;    // the number that starts the third field
    int32_t kind;    // TAG_KIND_FUNCTION or 0
};

// All definitions of name, the last line of "./tags" first. Never null; the
// list and every record belong to the caller (free_tags). "./tags" is mapped
// on the first lookup of the process and never reread.
StringArray *find_tags(const char *name);
TagLocation *tag_at(const StringArray *tags, int index);
void free_tags(StringArray *tags);
// True when line (zero-terminated) has a file field and a third field that
// starts with a digit; tag then holds name, file and line.
bool parse_tag_line(const char *line, const char *name, TagLocation *tag);
bool parse_tag_line_n(const char *line, size_t length, const char *name, TagLocation *tag);
// The kind letter of a tags line in the form "name\tfile\tline\t; k" or
// "name\tfile\tline;\"\tk"; 0 when it has none.
char tag_kind_letter(const char *line, size_t length);

// A whole file mapped read-only; d_data is null when it is empty. The file
// stays open (d_fd, -1 when none) for reading it front to back.
struct MappedFile {
    const char *d_data;
    size_t d_size;
    int d_fd;
};
// 0 when the file was opened (it may be empty), -1 when it cannot be read.
int map_whole_file(const char *path, MappedFile *file);
void unmap_whole_file(MappedFile *file);

// Offset of the first line that begins with the first length bytes of key,
// comparing as strncmp does on the line with its line feed; -1 when none.
// REQUIRES: the lines are sorted in byte order.
long first_line_with(const MappedFile *file, const char *key, size_t length);
// Offset just past the run of lines from start on that begin with key.
size_t end_of_run(const MappedFile *file, size_t start, const char *key, size_t length);

// found(context, k, line, length) for every line that begins with keys[k].
typedef void (*LineSink)(void *context, size_t key, const char *line, size_t length);
// The lines of many keys at once, reading the file front to back in large
// pieces: a page touched through the mapping costs more than a page copied,
// so a search for thousands of keys reads the file instead of bisecting it.
// Gives the same lines as first_line_with and end_of_run for each key.
// REQUIRES: lines sorted; keys sorted, distinct, none a prefix of the next.
int for_lines_with_keys(const MappedFile *file, const char *const *keys, const size_t *lengths,
                        size_t count, LineSink found, void *context);
// True when the line at start begins with the first length bytes of key.
bool line_begins_with(const MappedFile *file, size_t start, const char *key, size_t length);
// Length of the line at start, its line feed included.
size_t line_length(const MappedFile *file, size_t start);
// Start of the line before the one at start; -1 at the first line.
long previous_line(const MappedFile *file, size_t start);
