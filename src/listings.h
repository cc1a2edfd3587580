// Listings of C/C++ files: --file (function heads), --structs (structures
// and typedefs, re-indented) and --kinds (tags lines of chosen kinds).
#pragma once
void print_outline(const char *path);
void print_structs(const char *path);
int print_kinds();
