// Forward and reverse call trees.
#pragma once
void call_tree(const char *name, int level);
void reverse_call_tree(const char *name);
