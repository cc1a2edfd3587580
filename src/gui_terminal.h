// The sources of tag definitions printed under the node lines of a call tree
// (--verbose, --linear): framed and indented by the node's level, or plain.
#pragma once

// Every definition of name with its "// file" header, then an empty line.
void print_tag_blocks(const char *name, int level);
