// Call sites of one C/C++ file as "call_tags" lines: the called name, the
// file, the line of the statement that holds the call and, when known, the
// function or macro in which it stands. Only statements inside braces count.
#pragma once
#include <cstdio>

// Writes the file's call lines to out and flushes it; 0 when the file was
// walked, -1 when it cannot be opened.
int cxx_call_tags(const char *path, FILE *out);
