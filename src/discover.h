// Source discovery (find, by extension) and routing of one file to the
// action of the current mode and the extractor of its language.
#pragma once
#include <cstdio>
struct StringArray;
// Every source file below ".", in the order find gives them; with
// regular_only, only regular files (after following links).
StringArray *discover_files(bool regular_only);
int language_of_path(const char *path);
bool is_cxx_path(const char *path);
void route_file(const char *path, FILE *out);
int route_tags(const char *path, FILE *out);
int print_file_list();
