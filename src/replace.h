// --replace old,new: fixed-text replacement, line by line, in the files
// named. A file's new content goes to a fresh temporary file beside it that
// is renamed over it, so on any failure the original stays whole.
#pragma once
#include <cstddef>

// A growable byte buffer; the owner frees d_data.
struct TextBuffer {
    char *d_data;
    size_t d_length;
    size_t d_capacity;
};

// 0 after all files were handled; -1 when the argument has no ",", the old
// text is empty, or no file was named.
int replace_run();
// 0 when the file was rewritten; -1 when it was left as it was.
int replace_in_file(const char *path, const char *old_text, const char *new_text);
// Puts line with its replacements into out. The search starts again from
// the start of the line after each replacement, unless new_text holds
// old_text: then one pass, never searching the new text. -1 with errno
// ELOOP when the replacements would not end, ENOMEM when memory runs out.
// REQUIRES: old_text is not empty.
int replace_in_line(const char *line, size_t length, const char *old_text, const char *new_text,
                    TextBuffer *out);
