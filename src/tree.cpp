#include "tree.h"
void call_tree(const char *, int) {}
void reverse_call_tree(const char *) {}
