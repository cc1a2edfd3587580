#include "tree.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <unordered_set>

#include "condenser.h"
#include "env.h"
#include "gui_terminal.h"
#include "lookup.h"
#include "options.h"
#include "statement.h"
#include "string_array.h"
#include "tags_program.h"
#include "words.h"

static const char NOT_FOUND[] =
    "Tag \"%s\" not found. Broken \"tags\" file ? Try \"zephyr-elk --make-ctags\".\n";
static const char NO_CALL_TAGS[] =
    "File \"call_tags\" not found. Try \"zephyr-elk --call-tags [-L] <files>\"\n";
static const char CALLER_MARK[] = "\tby\t";

using NameSet = std::unordered_set<std::string_view>;

// d_visited and d_immune answer membership through these sets; the views
// point at the strings of the lists, which live for the whole run.
static NameSet g_visited, g_immune;
static bool g_sets_ready;

static void ready_sets() {
    if (g_sets_ready) return;
    Env *env = get_env();
    for (int i = 0; i < count(env->d_visited); ++i) g_visited.insert(at(env->d_visited, i));
    for (int i = 0; i < count(env->d_immune); ++i) g_immune.insert(at(env->d_immune, i));
    g_sets_ready = true;
}

static bool is_visited(std::string_view name) {
    ready_sets();
    return g_visited.count(name) != 0;
}

static bool is_immune(std::string_view name) {
    ready_sets();
    return g_immune.count(name) != 0;
}

static void add_visited(std::string_view name) {
    char *copy = strndup(name.data(), name.size());
    if (!copy || !push(get_env()->d_visited, copy)) {
        free(copy);
        return;
    }
    g_visited.insert(copy);
}

static void put_tabs(int count) {
    for (int k = 0; k < count; ++k) putchar('\t');
}

void print_tree_line(int level, const char *name) {
    if (get_env()->d_flags & FL_ECHO_FILENAMES) {
        StringArray *tags = find_tags(name);
        if (count(tags) > 0) {
            printf("// %i // %s\t%s", level, name, tag_at(tags, 0)->file);
            if (count(tags) > 1) fputs(" (more)", stdout);
            putchar('\n');
            free_tags(tags);
            return;
        }
        free_tags(tags);
    }
    printf("// %i // %s\n", level, name);
}

void call_tree(const char *name, int level) {
    Env *env = get_env();
    if (!name) {
        if (level == 0) print_usage();
        return;
    }
    if (level > env->d_depth) return;
    bool show_sources = env->d_flags & (FL_LINEAR | FL_VERBOSE);
    bool linear = env->d_flags & FL_LINEAR;
    if (level == 0) {
        print_tree_line(0, name);
        if (show_sources) print_tag_blocks(name, 0);
        level = 1;
    }
    char *text;
    FileBuffer *body = condense_tag(name, &text);
    if (!body) {
        if (count(env->d_visited) == 0) printf(NOT_FOUND, name);
        return;
    }
    StringArray *seen = string_array_new(16);
    char *position = text, *statement;
    // The first statement is the function's head.
    if (split_statement(&position, &statement) != 0) {
        while (split_statement(&position, &statement) != 0) {
            WordScan scan;
            word_scan_init(&scan, statement);
            const char *word;
            size_t length;
            char follow;
            while (word_scan_next(&scan, &word, &length, &follow)) {
                const char *called = call_name_of(word, length, follow);
                if (!called || find(seen, called) >= 0) continue;
                // The name's buffer is reused by the next test: keep a copy.
                char *callee = strdup(called);
                if (!callee || !push(seen, callee)) {
                    free(callee);
                    continue;
                }
                if (!linear) put_tabs(level);
                print_tree_line(level, callee);
                if (show_sources && !is_immune(callee)) print_tag_blocks(callee, level);
                if (!is_visited(callee)) {
                    add_visited(callee);
                    if (!is_immune(callee)) call_tree(callee, level + 1);
                }
            }
        }
    }
    free_strings(seen);
    string_array_delete(seen);
    file_buffer_free(body);
}

static MappedFile g_call_tags;

// Bytes of text before its first carriage return or line feed.
static size_t until_line_break(const char *text, size_t length) {
    size_t n = 0;
    while (n < length && text[n] != '\r' && text[n] != '\n') ++n;
    return n;
}

// The key of a name: the name and a tab, cut to 254 characters.
static size_t make_key(const char *name, char *key) {
    size_t name_length = strlen(name);
    size_t key_length = name_length < 254 ? name_length + 1 : 254;
    memcpy(key, name, key_length < name_length ? key_length : name_length);
    if (key_length > name_length) key[name_length] = '\t';
    key[key_length] = 0;
    return key_length;
}

void reverse_tree_level(const char *name, int level) {
    Env *env = get_env();
    if (!name || level >= env->d_depth) return;
    char key[255];
    size_t key_length = make_key(name, key);
    long first = first_line_with(&g_call_tags, key, key_length);
    if (first < 0) return;
    // Callers already listed under this name; views into the mapped file.
    NameSet listed;
    for (size_t start = (size_t)first; line_begins_with(&g_call_tags, start, key, key_length);) {
        const char *line = g_call_tags.d_data + start;
        size_t length = line_length(&g_call_tags, start);
        start += length;
        const char *mark = static_cast<const char *>(memmem(line, length, CALLER_MARK, 4));
        if (!mark) {
            if (env->d_debug) {
                fprintf(env->d_debug, "\tBUG (no \"by\") : %.*s\n", (int)length, line);
                fflush(env->d_debug);
            }
            continue;
        }
        const char *caller = mark + 4;
        size_t caller_length = until_line_break(caller, (size_t)(line + length - caller));
        std::string_view view(caller, caller_length);
        if (!listed.insert(view).second) continue;
        char *copy = strndup(caller, caller_length);
        if (!copy) continue;
        put_tabs(level + 1);
        print_tree_line(level + 1, copy);
        if (!is_visited(view)) {
            add_visited(view);
            reverse_tree_level(copy, level + 1);
        }
        free(copy);
    }
}

void reverse_call_tree(const char *name) {
    Env *env = get_env();
    if (!name) {
        if (env->d_debug) {
            fprintf(env->d_debug, "\tBUG at file %s line %i \"%s\"\n", "src/tree", 96, "Zelta 2");
            fflush(env->d_debug);
        }
        return;
    }
    print_tree_line(0, name);
    if (map_whole_file("./call_tags", &g_call_tags) != 0 || g_call_tags.d_size == 0) {
        fputs(NO_CALL_TAGS, stdout);
        exit(1);
    }
    reverse_tree_level(name, 0);
    unmap_whole_file(&g_call_tags);
    fflush(stdout);
}
