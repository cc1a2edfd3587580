// Listings of C/C++ files: --file (function heads), --structs (structures
// and typedefs, re-indented) and --kinds (tags lines of chosen kinds), all on
// standard output. A path that cannot be loaded is never walked.
#pragma once
void print_outline(const char *path);
void print_structs(const char *path);
int print_kinds();
// Writes count copies of c to standard output, a block at a time: indents
// may be thousands of levels deep. Shared with the indenter.
void put_repeated(char c, long long count);
