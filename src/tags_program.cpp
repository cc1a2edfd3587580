#include "tags_program.h"
void print_tags(StringArray *, const char *) {}
