#include "line_map.h"

#include <cstdlib>

void line_map_start(LineMap *map, int source_size) {
    free(map->d_marks);
    map->d_count = 0;
    // Typical code has a statement end every 30 bytes or so.
    map->d_capacity = (source_size > 0 ? source_size : 0) / 16 + 16;
    map->d_marks = static_cast<LineMark *>(malloc(sizeof(LineMark) * (size_t)map->d_capacity));
    if (!map->d_marks) map->d_capacity = 0;
    else map->d_marks[0] = {0, 0, 0};
}

bool line_map_grow(LineMap *map) {
    int grown = map->d_capacity * 2 + 16;
    void *block = realloc(map->d_marks, sizeof(LineMark) * (size_t)grown);
    if (!block) return false;
    map->d_marks = static_cast<LineMark *>(block);
    map->d_capacity = grown;
    return true;
}
