// The entry: builds Env, takes the mode from the invocation name, applies
// the arguments left to right and runs exactly one mode.
#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "condenser.h"
#include "env.h"
#include "indent.h"
#include "listings.h"
#include "options.h"
#include "replace.h"
#include "string_array.h"
#include "tags_program.h"
#include "tags_writer.h"
#include "discover.h"
#include "tree.h"

static void run_call_tree() {
    Env *env = get_env();
    const char *name = at(env->d_files, 0);
    if (env->d_flags & FL_REVERSE) reverse_call_tree(name);
    else call_tree(name, 0);
}
static void run_kinds() { print_kinds(); }
static void run_tags() { print_tags(get_env()->d_files, nullptr); }
static void run_process() { process_files(); }
static void run_cgrep() {
    check_cgrep_expr();
    process_files();
}
static void run_file_list() { print_file_list(); }
static void run_replace() { replace_run(); }

struct ModeRoute {
    int d_mode;
    void (*d_once)();                  // runs once, then the run ends
    void (*d_per_file)(const char *);  // runs for each file argument
};

static void outline_file(const char *path) { print_outline(path); }
static void structs_file(const char *path) { print_structs(path); }
static void condense_file(const char *path) { the_tt_file(path); }

// Every mode and what carries it out.
static const ModeRoute g_routes[] = {
    {MODE_CALL_TREE, run_call_tree, nullptr},
    {MODE_STRUCTS, nullptr, structs_file},
    {MODE_FILE, nullptr, outline_file},
    {MODE_KINDS, run_kinds, nullptr},
    {MODE_INDENT, indent_stdin, nullptr},
    {MODE_TAGS, run_tags, nullptr},
    {MODE_THE_TT, nullptr, condense_file},
    {MODE_CALL_TAGS, run_process, nullptr},
    {MODE_CGREP, run_cgrep, nullptr},
    {MODE_GREP, run_process, nullptr},
    {MODE_MAKE_CTAGS, run_process, nullptr},
    {MODE_FILES, run_file_list, nullptr},
    {MODE_REPLACE, run_replace, nullptr},
};

static const ModeRoute *route_of(int mode) {
    for (const ModeRoute &route : g_routes)
        if (route.d_mode == mode) return &route;
    return nullptr;
}

// Ends the run with status 1 when standard output could not be written.
static void finish(int status) {
    if (fflush(stdout) != 0 || ferror(stdout)) {
        perror("write to stdout");
        _exit(1);
    }
    exit(status);
}

static void run_mode() {
    const ModeRoute *route = route_of(get_env()->d_mode);
    if (!route || !route->d_once) return;
    route->d_once();
    finish(0);
}

static void run_per_file() {
    Env *env = get_env();
    int n = count(env->d_files);
    for (int i = 0; i < n; ++i) {
        const ModeRoute *route = route_of(env->d_mode);
        if (route && route->d_per_file) route->d_per_file(at(env->d_files, i));
    }
}

static void run_without_files() {
    Env *env = get_env();
    if (count(env->d_files) != 0) return;
    switch (env->d_mode) {
    case MODE_THE_TT:
        the_tt_file("-");
        return;
    case MODE_STRUCTS:
        print_structs("-");
        finish(0);
        return;
    case MODE_FILE: {
        char *line = nullptr;
        size_t room = 0;
        while (getline(&line, &room, stdin) > 0) {
            cut_line(line);
            print_outline(line);
        }
        free(line);
        return;
    }
    default:
        return;
    }
}

int main(int argc, char **argv) {
    // The buffers of one source file are freed and made again for the next:
    // keep them in the heap, rather than give pages back and fault them in.
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    init_env();
    Env *env = get_env();
    env->d_mode = mode_by_name(argv[0]);
    if (argc < 2 && env->d_mode == 0) {
        print_usage();
        finish(0);
    }
    if (env->d_mode == 0) env->d_mode = MODE_CALL_TREE;

    env->d_files = string_array_new(16);
    StringArray *args = string_array_new(argc);
    for (int i = 0; i < argc; ++i) push(args, argv[i]);
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] != '-') {
            push(env->d_files, strdup(argv[i]));
        } else if (parse_option(args, &i) != 0 && !is_plugin_option(argv[i])) {
            fprintf(stderr, "unknown option : %s\n", argv[i]);
            finish(1);
        }
    }

    run_mode();
    run_per_file();
    run_without_files();

    release(env->d_immune);
    free_strings(env->d_files);
    string_array_delete(args);
    finish(0);
}
