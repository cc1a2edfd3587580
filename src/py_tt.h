// The Python condenser: a file's text without comments, docstrings and
// string contents, blanks collapsed, line feeds and ':' kept; each of those
// ends a statement and owns line-map entry k for the k-th statement. The
// text and the map belong to the FileBuffer (file_buffer_free releases them).
#pragma once

struct FileBuffer;
struct LineMark;

// Loads buffer->d_path and condenses it into d_text and d_marks (its
// d_mark_capacity is the number of entries written plus entry 0); null when
// the file cannot be read.
char *py_tt_load(FileBuffer *buffer);
// REQUIRES: source[size] reads as 0; out holds 2 * size + 2 bytes.
// Returns the bytes written, the terminating zero included; the line map
// goes to the process-wide state (see py_tt_take_marks).
int py_tt_condense(const char *source, int size, char *out);
// Hands over the line map of the last py_tt_condense; the caller frees it.
LineMark *py_tt_take_marks(int *count);
// Cuts the next statement at *cursor in place: returns the byte that ended
// it (a line feed or ':') and moves *cursor past it; 0 at the end of the text.
// REQUIRES: a zero byte lies before limit, and the bytes up to it may be read.
char py_next_statement(char **cursor, const char *limit);
