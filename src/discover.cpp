#include "discover.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "call_tags.h"
#include "condenser.h"
#include "cxx_tags.h"
#include "env.h"
#include "options.h"
#include "script_tags.h"
#include "search.h"
#include "string_array.h"
#include "text.h"

typedef int (*Extractor)(const char *path, FILE *out);

struct Language {
    const char *d_extension;
    int d_id;
    Extractor d_tags;
};

// Every source extension, its language and its tag extractor, in the order
// discovery tests them.
static const Language g_languages[] = {
    {"c", LANG_CXX, cxx_tags},
    {"cxx", LANG_CXX, cxx_tags},
    {"cpp", LANG_CXX, cxx_tags},
    {"h", LANG_CXX, cxx_tags},
    {"hpp", LANG_CXX, cxx_tags},
    {"pl", LANG_PERL, perl_tags},
    {"pm", LANG_PERL, perl_tags},
    {"ph", LANG_PERL, perl_tags},
    {"py", LANG_PYTHON, python_tags},
    {"rb", LANG_RUBY, ruby_tags},
    {"php", LANG_PHP, php_tags},
    {"go", LANG_GO, go_tags},
    {"java", LANG_JAVA, java_tags},
    {"lua", LANG_LUA, lua_tags},
};

static const Language *language_row(const char *path) {
    const char *dot = file_extension(path);
    if (!dot) return nullptr;
    for (const Language &row : g_languages)
        if (strcmp(dot + 1, row.d_extension) == 0) return &row;
    return nullptr;
}

int language_of_path(const char *path) {
    const Language *row = language_row(path);
    return row ? row->d_id : 0;
}

bool is_cxx_path(const char *path) { return language_of_path(path) == LANG_CXX; }

// Runs find with its output on a pipe, NUL-separated so that any file name
// (a line feed included) comes back whole; the child never returns here.
// With regular_only, find itself passes over all but regular files (links
// followed), which saves a stat of every file afterwards; only links are
// followed by a stat, the others are typed from the directory entry.
static char *run_find(const char *start, const char *pattern, bool regular_only, int *out_length) {
    int fds[2];
    *out_length = 0;
    if (pipe(fds) != 0) return nullptr;
    pid_t pid = fork();
    if (pid < 0) {
        close(fds[0]);
        close(fds[1]);
        return nullptr;
    }
    if (pid == 0) {
        FILE *null = fopen("/dev/null", "w");
        if (!null || dup2(fileno(null), 2) < 0 || dup2(fds[1], 1) < 0) _exit(127);
        close(fds[0]);
        if (regular_only)
            execlp("find", "find", start, "-name", pattern, "(", "-type", "f", "-o", "-type", "l", "-xtype", "f",
                   ")", "-print0", (char *)nullptr);
        else
            execlp("find", "find", start, "-name", pattern, "-print0", (char *)nullptr);
        _exit(127);
    }
    close(fds[1]);
    char *output = read_all_fd(fds[0], out_length);
    close(fds[0]);
    int status;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
    return output;
}

StringArray *discover_files(bool regular_only) {
    StringArray *found = string_array_new(1024);
    int length = 0;
    char *output = run_find(".", "*", regular_only, &length);
    if (!output) return found;
    for (char *path = output; path < output + length; path += strlen(path) + 1)
        if (language_row(path)) push(found, strdup(path));
    free(output);
    return found;
}

int route_tags(const char *path, FILE *out) {
    const Language *row = language_row(path);
    if (!row || !row->d_tags) return -1;
    row->d_tags(path, out);
    return 0;
}

static int grep_action(const char *path, FILE *) { return grep_file(path); }

struct ModeAction {
    int d_mode;
    bool d_cxx_only;  // other files are passed over in silence
    Extractor d_act;
};

// What each file-processing mode does with one file.
static const ModeAction g_mode_actions[] = {
    {MODE_CALL_TAGS, true, cxx_call_tags},
    {MODE_CGREP, true, cgrep_file},
    {MODE_GREP, false, grep_action},
    {MODE_MAKE_CTAGS, false, route_tags},
};

void route_file(const char *path, FILE *out) {
    if (!path) return;
    for (const ModeAction &action : g_mode_actions) {
        if (action.d_mode != get_env()->d_mode) continue;
        if (!action.d_cxx_only || is_cxx_path(path)) action.d_act(path, out);
        return;
    }
}

int print_file_list() {
    int wanted = language_id();
    StringArray *files = discover_files(false);
    for (int i = 0; i < count(files); ++i) {
        const char *path = at(files, i);
        if (wanted == LANG_ALL || wanted == language_of_path(path)) printf("%s\n", path);
    }
    free_strings(files);
    string_array_delete(files);
    return 0;
}
