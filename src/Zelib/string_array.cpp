#include "string_array.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

StringArray *string_array_new(int capacity) {
    if (capacity <= 0) capacity = 16;
    StringArray *array = static_cast<StringArray *>(calloc(1, sizeof(StringArray)));
    if (!array) return nullptr;
    array->d_items = static_cast<char **>(calloc(capacity, sizeof(char *)));
    array->d_capacity = array->d_items ? capacity : 0;
    return array;
}

void string_array_delete(StringArray *array) {
    if (!array) return;
    release(array);
    free(array);
}

void *resize_block(void *block, int old_size, int new_size) {
    if (new_size < 0) return nullptr;
    void *fresh = malloc(new_size > 0 ? new_size : 1);
    if (!fresh) return nullptr;
    if (block) {
        int keep = old_size < new_size ? old_size : new_size;
        if (keep > 0) memcpy(fresh, block, keep);
        free(block);
    }
    return fresh;
}

bool push(StringArray *array, char *text) {
    if (!array) return false;
    if (!array->d_items) {
        array->d_items = static_cast<char **>(calloc(16, sizeof(char *)));
        if (!array->d_items) return false;
        array->d_capacity = 16;
        array->d_count = 0;
    } else if (array->d_count == array->d_capacity) {
        if (array->d_capacity > (1 << 28)) return false;
        int old_bytes = array->d_capacity * (int)sizeof(char *);
        void *grown = resize_block(array->d_items, old_bytes, old_bytes * 2);
        if (!grown) return false;
        array->d_items = static_cast<char **>(grown);
        array->d_capacity *= 2;
    }
    array->d_items[array->d_count++] = text;
    return true;
}

void push_all(StringArray *array, const char *const *table) {
    if (!table) return;
    for (; *table; ++table) push(array, const_cast<char *>(*table));
}

char *at(const StringArray *array, int index) {
    if (!array || index < 0 || index >= array->d_count) return nullptr;
    return array->d_items[index];
}

int count(const StringArray *array) { return array ? array->d_count : 0; }

void for_each(StringArray *array, void (*fn)(void *)) {
    if (!array || !fn) return;
    for (int i = 0; i < array->d_count; ++i) fn(array->d_items[i]);
}

void for_each_cut(StringArray *array) {
    if (!array) return;
    for (int i = 0; i < array->d_count; ++i) cut_line(array->d_items[i]);
}

void release(StringArray *array) {
    if (!array) return;
    free(array->d_items);
    array->d_items = nullptr;
    array->d_capacity = 0;
    array->d_count = 0;
}

void free_strings(StringArray *array) {
    for_each(array, free);
    release(array);
}

// Lines are read whole, whatever their length: tags lines must never split.
bool read_lines(StringArray *array, const char *path) {
    if (!array || !path) return false;
    FILE *file = fopen(path, "r");
    if (!file) return false;
    char *line = nullptr;
    size_t room = 0;
    ssize_t length;
    while ((length = getline(&line, &room, file)) > 0) {
        char *copy = static_cast<char *>(malloc(length + 1));
        if (!copy) continue;
        memcpy(copy, line, length + 1);
        if (!push(array, copy)) free(copy);
    }
    free(line);
    fclose(file);
    return true;
}

int find(const StringArray *array, const char *text) {
    if (!array || !text) return -1;
    for (int i = 0; i < array->d_count; ++i)
        if (strcmp(array->d_items[i], text) == 0) return i;
    return -1;
}

int find_prefix_of(const StringArray *array, const char *text) {
    if (!array || !text) return -1;
    for (int i = 0; i < array->d_count; ++i) {
        const char *item = array->d_items[i];
        if (strncmp(text, item, strlen(item)) == 0) return i;
    }
    return -1;
}

int snfind_fast(const StringArray *array, const char *key, int length) {
    if (!array || !key || array->d_count == 0) return -1;
    auto compare = [&](int i) {
        return length > 0 ? strncmp(array->d_items[i], key, length)
                          : strcmp(array->d_items[i], key);
    };
    if (compare(0) > 0) return -1;
    int lo = 0, hi = array->d_count - 1;
    while (hi - lo >= 2) {
        int mid = lo + (hi - lo) / 2;
        int c = compare(mid);
        if (c == 0) return mid;
        if (c < 0) lo = mid;
        else hi = mid;
    }
    if (compare(lo) == 0) return lo;
    if (compare(hi) == 0) return hi;
    return -1;
}

char *cut_line(char *text) {
    if (!text) return nullptr;
    char *p = text;
    while (*p && *p != '\r' && *p != '\n') ++p;
    *p = 0;
    return p;
}

StringArray *split(const char *text, const char *separator) {
    if (!text || !separator || !*separator) return nullptr;
    StringArray *pieces = string_array_new(128);
    size_t sep_len = strlen(separator);
    const char *pos = text;
    const char *hit;
    while ((hit = strstr(pos, separator)) != nullptr) {
        push(pieces, strndup(pos, hit - pos));
        pos = hit + sep_len;
    }
    if (*pos) push(pieces, strdup(pos));
    return pieces;
}

StringHeap *heap_new(int capacity) {
    StringHeap *heap = static_cast<StringHeap *>(calloc(1, sizeof(StringHeap)));
    if (!heap) return nullptr;
    heap->d_slots = static_cast<char **>(calloc((size_t)(capacity > 0 ? capacity : 0) + 1, sizeof(char *)));
    return heap;
}

static void swap_slots(char **slots, int a, int b) {
    char *t = slots[a];
    slots[a] = slots[b];
    slots[b] = t;
}

void heap_insert(StringHeap *heap, char *text) {
    char **s = heap->d_slots;
    int k = ++heap->d_used;
    s[k] = text;
    while (k > 1 && strcmp(s[k / 2], s[k]) > 0) {
        swap_slots(s, k, k / 2);
        k /= 2;
    }
}

char *heap_pop_min(StringHeap *heap) {
    if (!heap || heap->d_used <= 0) return nullptr;
    char **s = heap->d_slots;
    char *top = s[1];
    s[1] = s[heap->d_used--];
    int k = 1;
    while (2 * k <= heap->d_used) {
        int c = 2 * k;
        if (c + 1 <= heap->d_used && strcmp(s[c + 1], s[c]) < 0) ++c;
        if (strcmp(s[c], s[k]) >= 0) break;
        swap_slots(s, c, k);
        k = c;
    }
    return top;
}

void heap_release(StringHeap *heap) {
    if (!heap) return;
    free(heap->d_slots);
    free(heap);
}
