#include "big_block.h"

#include <sys/mman.h>

#ifndef MREMAP_MAYMOVE
#define MREMAP_MAYMOVE 1
#endif

static void want_huge_pages(void *block, size_t size) {
#ifdef MADV_HUGEPAGE
    madvise(block, size, MADV_HUGEPAGE);
#else
    (void)block;
    (void)size;
#endif
}

void *big_block_grow(void *block, size_t old_size, size_t new_size) {
    if (new_size == 0) new_size = 1;
    void *grown;
    if (!block) grown = mmap(nullptr, new_size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    else grown = mremap(block, old_size, new_size, MREMAP_MAYMOVE);
    if (grown == MAP_FAILED) return nullptr;
    want_huge_pages(grown, new_size);
    return grown;
}

void big_block_free(void *block, size_t size) {
    if (block) munmap(block, size == 0 ? 1 : size);
}
