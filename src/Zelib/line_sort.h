// Sorting the lines of a block in byte order without moving them: records
// of each line's first sixteen bytes (as two big-endian numbers) and place,
// sorted by a radix pass over those bytes, then by comparison past them.
// A line may be stored without a field that its segment of the block puts
// back after its first tab (tag lines without their path), and is sorted as
// the whole line.
#pragma once
#include <cstddef>
#include <cstdint>

struct SortedLine {
    uint64_t d_key[2];    // sixteen bytes of the whole line (0-15 until the sort
                          // moves on to later ones); zeros after its line feed
    const char *d_line;   // as stored
    uint32_t d_length;    // as stored, line feed included
    uint32_t d_segment;   // the segment the line lies in
};

// Lines before d_end (and after the previous segment) are stored without
// d_insert, which stands after their first tab in the whole line; a null
// d_insert inserts nothing.
struct LineSegment {
    size_t d_end;
    const char *d_insert;
    size_t d_insert_length;
};

// Byte order of two lines that each end in a line feed.
bool line_less(const char *a, const char *b);
// The lines of text[0, length) in byte order of the whole lines; every line,
// the last one too, ends in '\n', and the segments cover the text. The
// records live in a block freed by free_sorted_lines; null when memory runs
// out or a line is longer than 4 GiB.
SortedLine *sort_lines(const char *text, size_t length, const LineSegment *segments, size_t segment_count,
                       size_t *out_count);
void free_sorted_lines(SortedLine *lines, size_t count);
// Bytes of the stored line that come before the inserted field: the name
// and its tab, or the whole line when nothing is inserted.
size_t line_head_length(const SortedLine &line, const LineSegment *segments);
