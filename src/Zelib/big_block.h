// Blocks of hundreds of megabytes (all the tag lines of a run, their sort
// records) taken straight from the kernel in huge pages where it can: a
// fault per 2 MiB instead of per 4 KiB, and growth that moves no byte.
#pragma once
#include <cstddef>

// Grows (or first makes, when block is null) a block of old_size bytes to
// new_size bytes, keeping its contents; null when memory runs out, and the
// old block then stays as it was.
void *big_block_grow(void *block, size_t old_size, size_t new_size);
// Releases a block made by big_block_grow with the size it was last given.
void big_block_free(void *block, size_t size);
