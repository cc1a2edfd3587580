// The "tags" and "call_tags" line forms, written in one place. Lines sort by
// bytes (tab below every printable) so that readers can bisect "name\t".
// Definition:  name TAB file TAB line TAB "; " kind LF
//   with --vim-tags: name TAB file TAB line ';"' TAB kind LF, whose tail Vim
//   reads as an extension field instead of running it as a command
// Call:        name TAB file TAB line [TAB ";" TAB "by" TAB caller] LF
#pragma once
#include <cstdio>

extern const char *const TAGS_HEADER[6];

// Writes one definition line; nothing for an empty name, or for a name or
// path holding a tab, CR or LF, which would break the line.
void write_tag(FILE *out, const char *name, const char *path, int line, char kind);
// Perl's qualified form: head ":" tail as the name.
void write_tag_qualified(FILE *out, const char *head, const char *tail, const char *path,
                         int line, char kind);
// One call line; caller may be null or empty for a call outside functions.
void write_call_tag(FILE *out, const char *name, const char *path, int line, const char *caller);
