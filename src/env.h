// The run environment: one Env record per process, reached through get_env.
// init_env builds it before anything else runs; it is never freed, and a
// forked worker changes only its own copy. Also the mode and flag constants.
#pragma once
#include <cstdint>
#include <cstdio>

struct StringArray;

// Linked list with a cursor; holds the plug-in options (always empty).
struct PtrNode {
    void *d_node_item;
    PtrNode *d_node_next;
    PtrNode *d_node_prev;
};
struct PtrList {
    PtrNode *d_head;
    PtrNode *d_tail;
    int32_t d_length;
    PtrNode *d_cursor;
};
void *list_first(PtrList *list);
void *list_current(PtrList *list);
void *list_next(PtrList *list);

enum {
    MODE_CALL_TREE = 1,
    MODE_STRUCTS = 2,
    MODE_FILE = 3,
    MODE_KINDS = 4,
    MODE_INDENT = 5,
    MODE_TAGS = 6,
    MODE_THE_TT = 7,
    MODE_CALL_TAGS = 8,
    MODE_CGREP = 9,
    MODE_GREP = 10,
    MODE_MAKE_CTAGS = 11,
    MODE_FILES = 12,
    MODE_REPLACE = 13,
};

enum : uint32_t {
    FL_VERBOSE = 0x1,
    FL_LINEAR = 0x2,
    FL_NO_LINKS = 0x4,
    FL_SIMULATE = 0x8,
    FL_TAG_STYLE = 0x10,
    FL_ECHO_FILENAMES = 0x20,
    FL_VIM_TAGS = 0x40,
    FL_REVERSE = 0x100,
    FL_THREAD = 0x400,
    FL_DOT = 0x800,
};

enum {
    LANG_ALL = 1,
    LANG_CXX = 2,
    LANG_PERL = 3,
    LANG_PYTHON = 4,
    LANG_RUBY = 5,
    LANG_PHP = 6,
    LANG_JAVA = 7,
    LANG_GO = 8,
    LANG_LUA = 9,
};

struct Env {
    StringArray *d_tags_file;      // lines of ./tags, loaded on the first lookup
    StringArray *d_immune;         // names the call tree never expands
    StringArray *d_visited;        // names already expanded in this run's tree
    StringArray *d_keywords;       // statement words that look like calls
    StringArray *d_files;          // file arguments; item 0 is the tree's name
    PtrList *d_plugin_options;     // always empty
    FILE *d_debug;                 // debug traces, opened on /dev/null
    const char *d_home;            // HOME, or the user's home, or /tmp
    char *d_files_tmp;             // scratch file of the discovered file list
    char *d_tags_tmp;              // scratch file of tag lines
    char *d_language;              // "ALL", "C++", "Perl", ...
    char *d_editor;                // editor that shows the run's output
    const char *d_cgrep_expr;      // --cgrep argument
    const char *d_grep_pattern;    // --grep argument
    const char *d_replace_arg;     // --replace argument
    int32_t d_stmt_index;          // line-map index of the current statement
    int32_t d_depth;               // call-tree depth limit
    int32_t d_mode;                // MODE_*
    int32_t d_jobs;                // worker processes
    int32_t d_job_index;           // this worker's index
    const char *d_kinds;           // --kinds letters
    uint32_t d_flags;              // FL_* bits
};

// REQUIRES: init_env has run.
Env *get_env();
void init_env();
// The mode chosen by the last component of the invocation path, 0 for none;
// the language names set d_language instead.
int mode_by_name(const char *path);
