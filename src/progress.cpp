#include "progress.h"

#include <sys/mman.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>

static const int PROGRESS_MIN_FILES = 200;

static int *g_done;  // shared with the workers
static int g_total;
static long long g_last_draw_ms;

static long long now_ms() {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000LL + ts.tv_nsec / 1000000;
}

void progress_begin(int total) {
    if (total < PROGRESS_MIN_FILES || !isatty(2)) return;
    void *shared = mmap(nullptr, sizeof(int), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (shared == MAP_FAILED) return;
    g_done = static_cast<int *>(shared);
    g_total = total;
    g_last_draw_ms = 0;
}

bool progress_active() { return g_done != nullptr; }

void progress_step() {
    if (g_done) __atomic_add_fetch(g_done, 1, __ATOMIC_RELAXED);
}

void progress_show() {
    if (!g_done) return;
    long long now = now_ms();
    if (now - g_last_draw_ms < 100) return;
    g_last_draw_ms = now;
    fprintf(stderr, "\r%d/%d files", __atomic_load_n(g_done, __ATOMIC_RELAXED), g_total);
    fflush(stderr);
}

void progress_end() {
    if (!g_done) return;
    fputs("\r\033[K", stderr);
    fflush(stderr);
    munmap(g_done, sizeof(int));
    g_done = nullptr;
}
