// A growing line map for the script condensers: entry k of d_marks is the
// k-th statement end; entry 0 is never used. The map owns its block until a
// caller takes d_marks away (and clears the record).
#pragma once
#include <cstdint>

#include "condenser.h"

struct LineMap {
    LineMark *d_marks;
    int32_t d_count;     // entries written after entry 0
    int32_t d_capacity;  // entries the block holds, entry 0 included
};

// Frees any old block and starts an empty map sized for source_size bytes.
void line_map_start(LineMap *map, int source_size);
// Makes room for one more entry; false when memory ran out.
bool line_map_grow(LineMap *map);
// Adds the next entry; when memory runs out it is dropped, so later
// statements read as unmapped instead of overrunning the block. Inline: the
// condensers add an entry every few bytes.
inline void line_map_add(LineMap *map, int line, int offset) {
    if (map->d_count + 1 >= map->d_capacity && !line_map_grow(map)) return;
    int k = ++map->d_count;
    map->d_marks[k] = {k, line, offset};
}
