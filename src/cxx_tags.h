// C/C++ definitions as tag lines: functions, classes, structures,
// namespaces, typedefs and macros of one file.
#pragma once
#include <cstdio>

struct FileBuffer;

int cxx_tags(const char *path, FILE *out);
// The macro name of a #define statement into buffer (256 bytes); null when
// there is none or it is empty.
char *define_name(const char *text, char *buffer);
