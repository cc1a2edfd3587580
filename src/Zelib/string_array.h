// StringArray: the growable list of string pointers that carries every list
// of the program, in insertion order. It owns its slot block, never the
// strings: the maker of a string frees it (read_lines and split make theirs
// with strdup). Also the line cutter, the splitter and the StringHeap sorter.
#pragma once
#include <cstdint>

struct StringArray {
    char **d_items;      // slot block; null after release
    int32_t d_capacity;  // slots in the block
    int32_t d_count;     // slots in use
};

// A capacity of 0 or less means 16.
StringArray *string_array_new(int capacity);
// Releases the block and the record (not the strings).
void string_array_delete(StringArray *array);
bool push(StringArray *array, char *text);
void push_all(StringArray *array, const char *const *table);
char *at(const StringArray *array, int index);
int count(const StringArray *array);
void for_each(StringArray *array, void (*fn)(void *));
void for_each_cut(StringArray *array);  // cut_line on every item
void release(StringArray *array);
// Appends the lines of a file, each whole with its line feed; false when the
// file cannot be opened.
bool read_lines(StringArray *array, const char *path);
int find(const StringArray *array, const char *text);
int find_prefix_of(const StringArray *array, const char *text);
// Bisection in a byte-sorted array for an item beginning with the first
// length bytes of key (equal to key when length is 0); -1 when none.
int snfind_fast(const StringArray *array, const char *key, int length);
// Cuts text at its first CR or LF; the position where it now ends.
char *cut_line(char *text);
// New array of copies of the pieces of text between separators; null for a
// null text or separator. REQUIRES: separator is not empty.
StringArray *split(const char *text, const char *separator);
void free_strings(StringArray *array);  // free() every item, then release

struct StringHeap {
    char **d_slots;   // slot 1 is the top; slot 0 unused
    int32_t d_used;
};
StringHeap *heap_new(int capacity);
void heap_insert(StringHeap *heap, char *text);
char *heap_pop_min(StringHeap *heap);
void heap_release(StringHeap *heap);  // frees the slots and the record

void *resize_block(void *block, int old_size, int new_size);
