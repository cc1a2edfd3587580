// The Perl tokenizer: turns a source file into one line of words and
// punctuation (comments, POD, here-documents, regular expressions and string
// contents gone) with a line map; ';', '{' and '}' end statements. The text
// and the map belong to the FileBuffer (file_buffer_free releases them).
#pragma once

struct FileBuffer;
struct LineMark;

// Loads buffer->d_path and condenses it into d_text and d_marks; null when
// the file cannot be read.
char *fly_load(FileBuffer *buffer);
// REQUIRES: source[size] reads as 0; out holds 4 * size + 4 bytes.
// Fills the line map of the process-wide state (grown as needed, see
// fly_take_marks); returns the bytes written, terminating zeros included.
int fly_condense(const char *source, int size, char *out);
// Hands over the line map of the last fly_condense (entry 0 unused, entries
// 1 to *count written); the caller frees it.
LineMark *fly_take_marks(int *count, int *capacity);
// Steps of fly_condense over its process-wide state.
bool fly_is_regex();
void fly_skip_regex();
void fly_skip();
