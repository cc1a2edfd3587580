// Forward and reverse call trees. Node lines are "// level // name"; each
// name is expanded at most once per run (d_visited), and the forward tree
// never expands nor shows the names of d_immune.
#pragma once

// What name calls, down to d_depth, from "./tags" and the function bodies.
// With no name, the usage.
void call_tree(const char *name, int level);
// Who calls name, down to d_depth, from "./call_tags". Ends the process with
// status 1 when "./call_tags" is missing or empty.
void reverse_call_tree(const char *name);
void reverse_tree_level(const char *name, int level);
void print_tree_line(int level, const char *name);
