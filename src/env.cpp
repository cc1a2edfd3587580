#include "env.h"

#include <malloc.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "string_array.h"

static Env *g_env;

Env *get_env() { return g_env; }

void *list_first(PtrList *list) {
    if (!list) return nullptr;
    list->d_cursor = list->d_head;
    return list_current(list);
}

void *list_current(PtrList *list) {
    return list && list->d_cursor ? list->d_cursor->d_node_item : nullptr;
}

void *list_next(PtrList *list) {
    if (!list || !list->d_cursor) return nullptr;
    list->d_cursor = list->d_cursor->d_node_next;
    return list_current(list);
}

static const char *const g_keywords[] = {
    "if", "else", "do", "while", "switch", "case", "for", "return", nullptr,
};

// HOME, else the user's home from the password database, else /tmp: the
// scratch paths are never built from a null pointer.
static const char *home_directory() {
    const char *home = getenv("HOME");
    if (home && *home) return home;
    struct passwd *pw = getpwuid(getuid());
    if (pw && pw->pw_dir && *pw->pw_dir) return strdup(pw->pw_dir);
    return "/tmp";
}

static char *scratch_path(const char *home, const char *name) {
    std::string path = std::string(home) + "/.zephyr_elk/" + name;
    return strdup(path.c_str());
}

void init_env() {
    // Per-file buffers are large and short-lived: keep them in the heap for
    // reuse instead of mapping fresh zero pages for every file.
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 128 << 20);
    static char stdout_buffer[409600];
    setvbuf(stdout, stdout_buffer, _IOFBF, sizeof stdout_buffer);

    g_env = static_cast<Env *>(calloc(1, sizeof(Env)));
    Env *env = g_env;
    env->d_keywords = string_array_new(16);
    push_all(env->d_keywords, g_keywords);
    env->d_depth = 6;
    env->d_home = home_directory();
    env->d_files_tmp = scratch_path(env->d_home, ".zx_files.tmp");
    env->d_tags_tmp = scratch_path(env->d_home, ".zx_tags.tmp");

    std::string scratch = std::string(env->d_home) + "/.zephyr_elk";
    mkdir(scratch.c_str(), 0700);
    mkdir((scratch + "/plugins").c_str(), 0700);

    // The immune list lives one directory deeper than the scratch files.
    char *immune_path = scratch_path(env->d_home, ".zephyr_elk/zephyr_elk_immune");
    env->d_immune = string_array_new(16);
    read_lines(env->d_immune, immune_path);
    for_each_cut(env->d_immune);
    free(immune_path);

    env->d_visited = string_array_new(16);
    env->d_debug = fopen("/dev/null", "w");
    env->d_jobs = 1;
    env->d_job_index = 1;
    env->d_plugin_options = static_cast<PtrList *>(calloc(1, sizeof(PtrList)));
    env->d_language = strdup("ALL");
}

struct NamedMode {
    const char *d_name;
    int d_mode;
    const char *d_language;  // set instead of a mode
};

// Every way into the program by the name it is invoked under.
static const NamedMode g_named_modes[] = {
    {"elk_cxx", 0, "C++"},
    {"elk_perl", 0, "Perl"},
    {"elk_python", 0, "Python"},
    {"elk_ruby", 0, "Ruby"},
    {"tags", MODE_TAGS, nullptr},
    {"the_tt", MODE_THE_TT, nullptr},
    {"zk_indent", MODE_INDENT, nullptr},
    {"structs", MODE_STRUCTS, nullptr},
};

int mode_by_name(const char *path) {
    if (!path || !*path) return 0;
    const char *slash = strrchr(path, '/');
    const char *name = slash ? slash + 1 : path;
    for (const NamedMode &row : g_named_modes) {
        if (strcmp(name, row.d_name) != 0) continue;
        if (row.d_language) {
            free(g_env->d_language);
            g_env->d_language = strdup(row.d_language);
        }
        return row.d_mode;
    }
    return 0;
}
