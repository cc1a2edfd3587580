// Sorting the lines of a block in byte order without moving them: records
// of each line's first sixteen bytes (as two big-endian numbers) and place,
// sorted by a radix pass over those bytes, then by comparison past them.
#pragma once
#include <cstddef>
#include <cstdint>

struct SortedLine {
    uint64_t d_key[2];   // sixteen bytes of the line (0-15 until the sort moves on
                         // to later ones); zeros after its line feed
    const char *d_line;
    size_t d_length;     // line feed included
};

// Byte order of two lines that each end in a line feed.
bool line_less(const char *a, const char *b);
// The lines of text[0, length) in byte order; every line, the last one too,
// ends in '\n'. The records live in a block freed by free_sorted_lines; null
// when memory runs out.
SortedLine *sort_lines(const char *text, size_t length, size_t *out_count);
void free_sorted_lines(SortedLine *lines, size_t count);
