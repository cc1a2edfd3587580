// The block-end scanner: counts braces and watches for ';' in one source line,
// passing over comments and literals. Whether a block comment is open is one
// process-wide flag that carries over from line to line until reset.
#pragma once
#include <cstddef>

// 1 when the line closes the block: a brace was seen on it, or (unless
// is_function) a ';' was met at depth 0; otherwise 0. Updates *depth.
int block_end_scan(const char *line, int *depth, bool is_function);
// The same over length bytes that need no terminating zero.
int block_end_scan_n(const char *line, size_t length, int *depth, bool is_function);
// Forgets an open block comment; a block starts at a definition, never
// inside a comment.
void block_end_reset();
// True while a block comment opened on an earlier line is still open.
bool block_end_in_comment();
