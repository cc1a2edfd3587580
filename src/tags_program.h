// Source blocks of tags: --tags, and the condensed block of one tag.
#pragma once
struct StringArray;
void print_tags(StringArray *names, const char *out_path);
