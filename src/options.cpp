#include "options.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "env.h"
#include "prompt.h"
#include "string_array.h"

enum OptionArgument {
    ARG_NONE,      // takes nothing
    ARG_CONSUMES,  // takes the next argument; when missing, recognised and inert
    ARG_REQUIRED,  // takes the next argument; when missing, not recognised
};

struct Option {
    const char *d_name;
    OptionArgument d_argument;
    void (*d_apply)(const char *argument);
};

static void set_mode(int mode) { get_env()->d_mode = mode; }
static void set_flag(unsigned flag) { get_env()->d_flags |= flag; }
static void set_language(const char *language) {
    free(get_env()->d_language);
    get_env()->d_language = strdup(language);
}
static void show_usage(const char *) {
    print_usage();
    exit(0);
}
static void show_version(const char *) {
    printf("3.0\n");
    exit(0);
}
static void nothing(const char *) {}

static void read_list_file(const char *path) {
    StringArray *files = get_env()->d_files;
    read_lines(files, path);
    for_each_cut(files);
}

// A run that cannot enter its directory must not write into the one it left.
static void change_directory(const char *dir) {
    if (chdir(dir) == 0) return;
    fprintf(stderr, "cannot change directory to %s: %s\n", dir, strerror(errno));
    exit(1);
}

static void editor(const char *option) {
    if (select_editor(option)) launch_editor();
}

// Every option the program knows, tested in this order; the first match acts.
static const Option g_options[] = {
    {"--help", ARG_NONE, show_usage},
    {"-h", ARG_NONE, show_usage},
    {"-V", ARG_NONE, show_version},
    {"--version", ARG_NONE, show_version},
    {"--file", ARG_NONE, [](const char *) { set_mode(MODE_FILE); }},
    {"--the-tt", ARG_NONE, [](const char *) { set_mode(MODE_THE_TT); }},
    {"--structs", ARG_NONE, [](const char *) { set_mode(MODE_STRUCTS); }},
    {"--indent", ARG_NONE, [](const char *) { set_mode(MODE_INDENT); }},
    {"--tags", ARG_NONE, [](const char *) { set_mode(MODE_TAGS); }},
    {"--make-ctags", ARG_NONE, [](const char *) { set_mode(MODE_MAKE_CTAGS); }},
    {"-c", ARG_NONE, [](const char *) { set_mode(MODE_MAKE_CTAGS); }},
    {"--call-tags", ARG_NONE, [](const char *) { set_flag(FL_TAG_STYLE); set_mode(MODE_CALL_TAGS); }},
    {"-ct", ARG_NONE, [](const char *) { set_flag(FL_TAG_STYLE); set_mode(MODE_CALL_TAGS); }},
    {"--cgrep", ARG_CONSUMES, [](const char *a) { set_mode(MODE_CGREP); get_env()->d_cgrep_expr = a; }},
    {"--grep", ARG_CONSUMES, [](const char *a) { set_mode(MODE_GREP); get_env()->d_grep_pattern = a; }},
    {"--replace", ARG_CONSUMES, [](const char *a) { set_mode(MODE_REPLACE); get_env()->d_replace_arg = a; }},
    {"-i", ARG_NONE, [](const char *) { interactive_tags(); exit(0); }},
    {"--time-test", ARG_NONE, nothing},
    {"--options", ARG_NONE, [](const char *) { list_plugin_options(); exit(0); }},
    {"--verbose", ARG_NONE, [](const char *) { set_flag(FL_VERBOSE); }},
    {"-u", ARG_NONE, [](const char *) { set_flag(FL_REVERSE); }},
    {"--linear", ARG_NONE, [](const char *) { set_flag(FL_LINEAR); }},
    {"-l", ARG_NONE, [](const char *) { set_flag(FL_LINEAR); }},
    {"-C", ARG_REQUIRED, change_directory},
    {"--linux", ARG_NONE, [](const char *) { change_directory("/usr/src/linux"); }},
    {"--debug", ARG_NONE, nothing},
    {"--simulate", ARG_NONE, [](const char *) { set_flag(FL_SIMULATE); }},
    {"--no-links", ARG_NONE, [](const char *) { set_flag(FL_NO_LINKS); }},
    {"-a", ARG_NONE, nothing},
    {"--all", ARG_NONE, nothing},
    {"--test", ARG_NONE, nothing},
    {"-t", ARG_NONE, nothing},
    {"--ctags-append", ARG_NONE, nothing},
    {"-A", ARG_CONSUMES, nothing},
    {"-B", ARG_CONSUMES, nothing},
    {"-j", ARG_CONSUMES, [](const char *n) { get_env()->d_jobs = atoi(n); }},
    {"--tag-style", ARG_NONE, [](const char *) { set_flag(FL_TAG_STYLE); }},
    {"-ts", ARG_NONE, [](const char *) { set_flag(FL_TAG_STYLE); }},
    {"-L", ARG_REQUIRED, read_list_file},
    {"--depth", ARG_CONSUMES, [](const char *n) { get_env()->d_depth = atoi(n); }},
    {"-fn", ARG_NONE, [](const char *) { set_flag(FL_ECHO_FILENAMES); }},
    {"--cxx", ARG_NONE, [](const char *) { set_language("C++"); }},
    {"--perl", ARG_NONE, [](const char *) { set_language("Perl"); }},
    {"--python", ARG_NONE, [](const char *) { set_language("Python"); }},
    {"--ruby", ARG_NONE, [](const char *) { set_language("Ruby"); }},
    {"--php", ARG_NONE, [](const char *) { set_language("PHP"); }},
    {"--java", ARG_NONE, [](const char *) { set_language("Java"); }},
    {"--go", ARG_NONE, [](const char *) { set_language("Go"); }},
    {"--lua", ARG_NONE, [](const char *) { set_language("Lua"); }},
    {"-f", ARG_NONE, [](const char *) { set_mode(MODE_FILES); }},
    {"--cache-load", ARG_NONE, [](const char *) { exit(0); }},
    {"--cache-free", ARG_NONE, [](const char *) { exit(0); }},
    {"-g", ARG_NONE, editor},
    {"--gvim", ARG_NONE, editor},
    {"--emacs", ARG_NONE, editor},
    {"--nano", ARG_NONE, editor},
    {"--kinds", ARG_CONSUMES, [](const char *k) { set_mode(MODE_KINDS); get_env()->d_kinds = k; }},
    {"--thread", ARG_NONE, [](const char *) { set_flag(FL_THREAD); }},
    {"--vim-tags", ARG_NONE, [](const char *) { set_flag(FL_VIM_TAGS); }},
    {"--dot", ARG_NONE, [](const char *) { set_flag(FL_DOT); }},
};

int parse_option(StringArray *args, int *index) {
    if (!args || !index) return -1;
    char *arg = at(args, *index);
    if (!arg) return -1;
    if (arg[0] != '-') {
        push(get_env()->d_files, strdup(arg));
        return 0;
    }
    for (const Option &option : g_options) {
        if (strcmp(arg, option.d_name) != 0) continue;
        if (option.d_argument == ARG_NONE) {
            option.d_apply(arg);
            return 0;
        }
        char *value = at(args, *index + 1);
        if (!value) {
            if (option.d_argument == ARG_REQUIRED) return -1;
            ++*index;
            return 0;
        }
        ++*index;
        option.d_apply(value);
        return 0;
    }
    return -1;
}

const char *const *option_names(int *n) {
    static const char *names[sizeof g_options / sizeof g_options[0]];
    for (size_t i = 0; i < sizeof g_options / sizeof g_options[0]; ++i) names[i] = g_options[i].d_name;
    *n = (int)(sizeof g_options / sizeof g_options[0]);
    return names;
}

static const char g_usage_options[] =
    "\t options:\n"
    "\t\t -C <dir>\t\t-\tchdir to <dir>\n"
    "\t\t--cgrep\t\t\t-\tsearch in code\n"
    "\t\t--grep\t\t\t-\tsearch text\n"
    "\t\t--replace\t\t-\treplace text\n"
    "\t\t--call-tags\t\t-\tcreate \"call_tags\" file\n"
    "\t\t -f\t\t\t-\tcreate \"files\" file\n"
    "\t\t--ctags-append\t\t-\tdon't rewrite \"tags\" file\n"
    "\t\t--depth <arg>\t\t-\tset reentrant level\n"
    "\t\t--file <files>\t\t-\tshow file functions\n"
    "\t\t -fn\t\t\t-\techo filenames\n"
    "\t\t--structs\t\t-\tshow all structs in stream\n"
    "\t\t -i\t\t\t-\tinteractive mode \"tags\"\n"
    "\t\t--indent\t\t-\tindention\n"
    "\t\t -j\t\t\t-\tnumber of jobs\n"
    "\t\t--kinds\t\t\t-\t(c - classes, s - structs, f - functions,\n"
    "\t\t\t\t\t\tm - modules, n - namespaces, p - packages)\n"
    "\t\t -L <file>\t\t-\tread files list from file\n"
    "\t\t -c\t\t\t-\tcreate \"tags\" file\n"
    "\t\t--tags\t\t\t-\taccess to tags\n"
    "\t\t--the-tt\t\t-\tC preprocessor\n"
    "\t\t -ts\t\t\t-\tforce ctags style\n"
    "\t\t -u\t\t\t-\treverse call-tree\n";

void print_usage() {
    fputs("usage:\t zephyrelk [<function>|<files>] [<options>]\n", stdout);
    fputs(g_usage_options, stdout);
    fputs("\nContact:\n\tZephyr Elk developers <dev@zephyr-elk.invalid>\n", stdout);
}

void list_plugin_options() {
    PtrList *list = get_env()->d_plugin_options;
    for (void *item = list_first(list); item; item = list_next(list))
        printf("%s ", static_cast<const char *>(item));
    printf("\n");
}

bool is_plugin_option(const char *option) {
    if (!option) return false;
    PtrList *list = get_env()->d_plugin_options;
    for (void *item = list_first(list); item; item = list_next(list))
        if (strcmp(static_cast<const char *>(item), option) == 0) return true;
    return false;
}

struct LanguageName {
    const char *d_name;
    int d_id;
};
static const LanguageName g_language_names[] = {
    {"ALL", LANG_ALL}, {"C", LANG_CXX},       {"C++", LANG_CXX}, {"Perl", LANG_PERL},
    {"Python", LANG_PYTHON}, {"Ruby", LANG_RUBY}, {"PHP", LANG_PHP}, {"Java", LANG_JAVA},
    {"Go", LANG_GO},   {"Lua", LANG_LUA},
};

int language_id_of(const char *language) {
    if (!language) return 0;
    for (const LanguageName &row : g_language_names)
        if (strcmp(language, row.d_name) == 0) return row.d_id;
    return 0;
}

int language_id() { return language_id_of(get_env()->d_language); }

void check_cgrep_expr() {
    const char *expr = get_env()->d_cgrep_expr;
    if (expr && !strpbrk(expr, " \t")) return;
    fputs("Invalid expression.\n", stderr);
    exit(0);
}
