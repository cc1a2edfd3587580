#include "tree.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

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

// An open-addressed table of names, each a view of a string that outlives
// the table, with an optional value per name. The name lists of a tree are
// asked about every caller line; a node-based set spent that time in
// allocation and pointer chasing.
struct NameSlot {
    const char *d_name;  // null: free slot
    uint32_t d_length;
    uint32_t d_hash;
};
// Lines read ahead for a name; d_begin null when there are none to use.
struct AheadLines {
    const char *d_begin;
    const char *d_end;
};
struct NameTable {
    NameSlot *d_slots;
    AheadLines *d_values;  // beside d_slots when the table has values
    size_t d_capacity;     // a power of two, or 0
    size_t d_used;
    bool d_has_values;
};

static uint32_t hash_name(std::string_view name) {
    uint32_t hash = 2166136261u;
    for (char c : name) hash = (hash ^ (unsigned char)c) * 16777619u;
    return hash;
}

// The index of name's slot, or of the free slot where it would go.
// REQUIRES: the table has a free slot.
static size_t find_slot(const NameTable *table, std::string_view name, uint32_t hash) {
    size_t mask = table->d_capacity - 1;
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
        const NameSlot &slot = table->d_slots[i];
        if (!slot.d_name) return i;
        if (slot.d_hash == hash && slot.d_length == name.size() &&
            memcmp(slot.d_name, name.data(), name.size()) == 0)
            return i;
    }
}

// The index of name's slot, or -1 when it is not in the table.
static long table_find(const NameTable *table, std::string_view name) {
    if (!table->d_capacity) return -1;
    size_t i = find_slot(table, name, hash_name(name));
    return table->d_slots[i].d_name ? (long)i : -1;
}

static bool table_grow(NameTable *table) {
    size_t capacity = table->d_capacity ? table->d_capacity * 2 : 64;
    NameTable grown = *table;
    grown.d_capacity = capacity;
    grown.d_slots = static_cast<NameSlot *>(calloc(capacity, sizeof(NameSlot)));
    grown.d_values = table->d_has_values ? static_cast<AheadLines *>(calloc(capacity, sizeof(AheadLines))) : nullptr;
    if (!grown.d_slots || (table->d_has_values && !grown.d_values)) {
        free(grown.d_slots);
        free(grown.d_values);
        return false;
    }
    for (size_t i = 0; i < table->d_capacity; ++i) {
        const NameSlot &old = table->d_slots[i];
        if (!old.d_name) continue;
        size_t k = find_slot(&grown, std::string_view(old.d_name, old.d_length), old.d_hash);
        grown.d_slots[k] = old;
        if (grown.d_values) grown.d_values[k] = table->d_values[i];
    }
    free(table->d_slots);
    free(table->d_values);
    *table = grown;
    return true;
}

// The index of name's slot, added when it was not there (*added tells
// which); -1 when the table cannot grow.
static long table_add(NameTable *table, std::string_view name, bool *added) {
    *added = false;
    if (name.size() > UINT32_MAX) return -1;
    // At most three slots in four are used.
    if ((table->d_used + 1) * 4 > table->d_capacity * 3 && !table_grow(table)) return -1;
    uint32_t hash = hash_name(name);
    size_t i = find_slot(table, name, hash);
    if (!table->d_slots[i].d_name) {
        table->d_slots[i] = {name.data() ? name.data() : "", (uint32_t)name.size(), hash};
        ++table->d_used;
        *added = true;
    }
    return (long)i;
}

static void table_free(NameTable *table) {
    free(table->d_slots);
    free(table->d_values);
    *table = NameTable();
}

// d_visited and d_immune answer membership through these tables; the views
// point at the strings of the lists, which live for the whole run.
static NameTable g_visited, g_immune;
static bool g_tables_ready;

static void ready_tables() {
    if (g_tables_ready) return;
    Env *env = get_env();
    bool added;
    for (int i = 0; i < count(env->d_visited); ++i) table_add(&g_visited, at(env->d_visited, i), &added);
    for (int i = 0; i < count(env->d_immune); ++i) table_add(&g_immune, at(env->d_immune, i), &added);
    g_tables_ready = true;
}

static bool is_visited(std::string_view name) {
    ready_tables();
    return table_find(&g_visited, name) >= 0;
}

static bool is_immune(std::string_view name) {
    ready_tables();
    return table_find(&g_immune, name) >= 0;
}

// Names of d_visited are carved from blocks that live for the run.
static char *keep_name(std::string_view name) {
    static char *block;
    static size_t left;
    size_t need = name.size() + 1;
    if (need > 4096) return strndup(name.data(), name.size());
    if (need > left) {
        block = static_cast<char *>(malloc(65536));
        if (!block) {
            left = 0;
            return nullptr;
        }
        left = 65536;
    }
    char *copy = block;
    memcpy(copy, name.data(), name.size());
    copy[name.size()] = 0;
    block += need;
    left -= need;
    return copy;
}

static void add_visited(std::string_view name) {
    ready_tables();
    char *copy = keep_name(name);
    if (!copy || !push(get_env()->d_visited, copy)) return;
    bool added;
    table_add(&g_visited, std::string_view(copy, name.size()), &added);
}

static void put_tabs(int count) {
    if (get_env()->d_flags & FL_DOT) return;
    for (int k = 0; k < count; ++k) putchar('\t');
}

// --dot: the nodes and edges of the tree, kept as its lines come and
// printed as one digraph when the tree is done. A node is known by its
// index, so an edge met twice is drawn once.
struct DotGraph {
    std::vector<std::string> d_names;                 // node n<i> is d_names[i]
    std::unordered_map<std::string, size_t> d_index;  // name -> i
    std::vector<size_t> d_path;                       // node at each level of the current line
    std::vector<std::pair<size_t, size_t>> d_edges;   // caller -> callee, in the order met
    std::set<std::pair<size_t, size_t>> d_edge_set;
};
static DotGraph g_dot;

static size_t dot_node(const char *name) {
    auto found = g_dot.d_index.find(name);
    if (found != g_dot.d_index.end()) return found->second;
    g_dot.d_names.emplace_back(name);
    g_dot.d_index.emplace(name, g_dot.d_names.size() - 1);
    return g_dot.d_names.size() - 1;
}

// The node of a tree line and its edge to the line's parent: the parent
// calls the node in a forward tree, the node calls it in a reverse one.
static void dot_line(int level, const char *name) {
    if (level < 0) return;
    size_t node = dot_node(name);
    if (g_dot.d_path.size() < (size_t)level + 1) g_dot.d_path.resize((size_t)level + 1);
    g_dot.d_path[(size_t)level] = node;
    if (level == 0) return;
    size_t parent = g_dot.d_path[(size_t)level - 1];
    std::pair<size_t, size_t> edge =
        (get_env()->d_flags & FL_REVERSE) ? std::make_pair(node, parent) : std::make_pair(parent, node);
    if (g_dot.d_edge_set.insert(edge).second) g_dot.d_edges.push_back(edge);
}

// A name as the text of an HTML-like label: dot reads it with no escapes
// of its own, so quotes, backslashes and any byte pass through as they are.
static void put_dot_label(const std::string &name) {
    for (unsigned char c : name) {
        if (c == '&') fputs("&amp;", stdout);
        else if (c == '<') fputs("&lt;", stdout);
        else if (c == '>') fputs("&gt;", stdout);
        else if (c == '"') fputs("&quot;", stdout);
        else if (c < 0x20 || c == 0x7f) printf("&#%u;", 0x2400u + (c == 0x7f ? 0x21u : c));
        else putchar(c);
    }
}

// The root (node 0) is a bold box; a name without a definition in
// "./tags" is dashed.
static void print_dot_graph() {
    bool reverse = get_env()->d_flags & FL_REVERSE;
    printf("digraph %s {\n", reverse ? "callers" : "calls");
    for (size_t i = 0; i < g_dot.d_names.size(); ++i) {
        StringArray *tags = find_tags(g_dot.d_names[i].c_str());
        bool defined = count(tags) > 0;
        free_tags(tags);
        printf("\tn%zu [label=<", i);
        put_dot_label(g_dot.d_names[i]);
        fputs(">", stdout);
        if (i == 0) fputs(", shape=box", stdout);
        if (i == 0 && !defined) fputs(", style=\"bold,dashed\"", stdout);
        else if (i == 0) fputs(", style=bold", stdout);
        else if (!defined) fputs(", style=dashed", stdout);
        fputs("];\n", stdout);
    }
    for (const std::pair<size_t, size_t> &edge : g_dot.d_edges) printf("\tn%zu -> n%zu;\n", edge.first, edge.second);
    fputs("}\n", stdout);
}

void print_tree_line(int level, const char *name) {
    if (get_env()->d_flags & FL_DOT) {
        dot_line(level, name);
        return;
    }
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

static void walk_call_tree(const char *name, int level) {
    Env *env = get_env();
    if (level > env->d_depth) return;
    bool show_sources = (env->d_flags & (FL_LINEAR | FL_VERBOSE)) && !(env->d_flags & FL_DOT);
    bool linear = env->d_flags & FL_LINEAR;
    if (level == 0) {
        print_tree_line(0, name);
        if (show_sources) print_tag_blocks(name, 0);
        level = 1;
    }
    char *text;
    FileBuffer *body = condense_tag(name, &text);
    if (!body) {
        // The digraph keeps standard output to itself.
        if (count(env->d_visited) == 0) fprintf((env->d_flags & FL_DOT) ? stderr : stdout, NOT_FOUND, name);
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
                    if (!is_immune(callee)) walk_call_tree(callee, level + 1);
                }
            }
        }
    }
    free_strings(seen);
    string_array_delete(seen);
    file_buffer_free(body);
}

void call_tree(const char *name, int level) {
    if (!name) {
        if (level == 0) print_usage();
        return;
    }
    walk_call_tree(name, level);
    if (level == 0 && (get_env()->d_flags & FL_DOT)) print_dot_graph();
}

static MappedFile g_call_tags;

// Bytes of text before its first carriage return or line feed.
static size_t until_line_break(const char *text, size_t length) {
    size_t n = 0;
    while (n < length && text[n] != '\r' && text[n] != '\n') ++n;
    return n;
}

// The key of a name: the name and a tab, cut to 254 characters.
static size_t make_key(std::string_view name, char *key) {
    size_t name_length = name.size();
    size_t key_length = name_length < 254 ? name_length + 1 : 254;
    memcpy(key, name.data(), key_length < name_length ? key_length : name_length);
    if (key_length > name_length) key[name_length] = '\t';
    key[key_length] = 0;
    return key_length;
}

// Lines of "./call_tags" by key, read ahead in one pass over the file when a
// node has so many callers to expand that bisecting for each would touch
// most pages of the mapping anyway. Each pass copies the lines it finds
// into an arena of its own, kept to the end of the run; an entry gives the
// key's lines in it and is dropped once used.
static NameTable g_ahead = {nullptr, nullptr, 0, 0, true};
static std::deque<std::string> g_arenas;
static std::deque<std::vector<std::string>> g_ahead_keys;  // what g_ahead's views show

// Read ahead only for at least this many keys, and only when the file has
// no more than this many bytes per key.
enum { AHEAD_MIN_KEYS = 64, AHEAD_BYTES_PER_KEY = 48 * 1024 };

struct AheadPass {
    std::string d_arena;
    std::vector<size_t> d_begin, d_end;  // offsets in d_arena, by key
};

// The runs come in key order, so each key's lines are one stretch. A line
// is kept from its caller mark on, which is all the tree reads of it; one
// without the mark is kept whole for its trace. Each ends in a line feed.
static void keep_line(void *context, size_t key, const char *line, size_t length) {
    AheadPass *pass = static_cast<AheadPass *>(context);
    if (pass->d_end[key] == 0) pass->d_begin[key] = pass->d_arena.size();
    const char *mark = static_cast<const char *>(memmem(line, length, CALLER_MARK, 4));
    const char *from = mark ? mark : line;
    pass->d_arena.append(from, (size_t)(line + length - from));
    if (line[length - 1] != '\n') pass->d_arena.push_back('\n');
    pass->d_end[key] = pass->d_arena.size();
}

static void read_ahead(std::vector<std::string> &keys) {
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    // Keys read ahead by an earlier node and not used yet keep their lines.
    keys.erase(std::remove_if(keys.begin(), keys.end(),
                              [](const std::string &key) {
                                  long slot = table_find(&g_ahead, key);
                                  return slot >= 0 && g_ahead.d_values[slot].d_begin;
                              }),
               keys.end());
    if (keys.size() < AHEAD_MIN_KEYS || keys.size() * AHEAD_BYTES_PER_KEY < g_call_tags.d_size) return;
    // One pass finds the runs in key order: a key that begins another would
    // share lines with it.
    for (size_t k = 0; k + 1 < keys.size(); ++k)
        if (keys[k + 1].compare(0, keys[k].size(), keys[k]) == 0) return;
    std::vector<const char *> texts;
    std::vector<size_t> lengths;
    for (const std::string &key : keys) {
        texts.push_back(key.data());
        lengths.push_back(key.size());
    }
    AheadPass pass;
    pass.d_arena.reserve(keys.size() * 64);
    pass.d_begin.assign(keys.size(), 0);
    pass.d_end.assign(keys.size(), 0);
    if (for_lines_with_keys(&g_call_tags, texts.data(), lengths.data(), keys.size(), keep_line, &pass) != 0)
        return;
    g_arenas.push_back(std::move(pass.d_arena));
    g_ahead_keys.push_back(std::move(keys));
    const char *arena = g_arenas.back().data();
    const std::vector<std::string> &kept = g_ahead_keys.back();
    for (size_t k = 0; k < kept.size(); ++k) {
        bool added;
        long slot = table_add(&g_ahead, kept[k], &added);
        if (slot < 0) break;
        g_ahead.d_values[slot] = {arena + pass.d_begin[k], arena + pass.d_end[k]};
    }
}

// The caller named by a call-tags line; false when the line has none (with
// the trace when asked).
static bool caller_of(const char *line, size_t length, std::string_view *caller, bool trace) {
    const char *mark = static_cast<const char *>(memmem(line, length, CALLER_MARK, 4));
    if (!mark) {
        FILE *debug = get_env()->d_debug;
        if (trace && debug) {
            fprintf(debug, "\tBUG (no \"by\") : %.*s\n", (int)length, line);
            fflush(debug);
        }
        return false;
    }
    const char *text = mark + 4;
    *caller = std::string_view(text, until_line_break(text, (size_t)(line + length - text)));
    return true;
}

// Names already listed under one node: most nodes list a few, searched in a
// row; a table takes over for the nodes that list many.
enum { FEW_NAMES = 16 };
struct ListedNames {
    std::string_view d_few[FEW_NAMES];
    size_t d_few_count;
    NameTable d_many;
};

// True when name was not listed yet; it is listed from now on.
static bool list_once(ListedNames *listed, std::string_view name) {
    bool added;
    if (!listed->d_many.d_capacity) {
        for (size_t k = 0; k < listed->d_few_count; ++k)
            if (listed->d_few[k] == name) return false;
        if (listed->d_few_count < FEW_NAMES) {
            listed->d_few[listed->d_few_count++] = name;
            return true;
        }
        for (std::string_view seen : listed->d_few) table_add(&listed->d_many, seen, &added);
    }
    return table_add(&listed->d_many, name, &added) >= 0 && added;
}

static const char *next_line(const char *line, const char *end) {
    const char *nl = static_cast<const char *>(memchr(line, '\n', (size_t)(end - line)));
    return nl ? nl + 1 : end;
}

void reverse_tree_level(const char *name, int level) {
    Env *env = get_env();
    if (!name || level >= env->d_depth) return;
    char key[255];
    size_t key_length = make_key(name, key);
    // The lines of the name: read ahead, or found in the mapped file.
    const char *begin, *end;
    long ahead = table_find(&g_ahead, std::string_view(key, key_length));
    if (ahead >= 0 && g_ahead.d_values[ahead].d_begin) {
        begin = g_ahead.d_values[ahead].d_begin;
        end = g_ahead.d_values[ahead].d_end;
        g_ahead.d_values[ahead] = {nullptr, nullptr};
    } else {
        long first = first_line_with(&g_call_tags, key, key_length);
        if (first < 0) return;
        begin = g_call_tags.d_data + first;
        end = g_call_tags.d_data + end_of_run(&g_call_tags, (size_t)first, key, key_length);
    }
    if (level + 1 < env->d_depth) {
        std::vector<std::string> keys;
        std::string_view caller;
        for (const char *line = begin; line < end; line = next_line(line, end)) {
            if (!caller_of(line, (size_t)(next_line(line, end) - line), &caller, false) || is_visited(caller))
                continue;
            char caller_key[255];
            keys.emplace_back(caller_key, make_key(caller, caller_key));
        }
        if (keys.size() >= AHEAD_MIN_KEYS) read_ahead(keys);
    }
    // Callers already listed under this name; views into its lines.
    ListedNames listed = {};
    for (const char *line = begin; line < end;) {
        const char *after = next_line(line, end);
        std::string_view caller;
        bool has_caller = caller_of(line, (size_t)(after - line), &caller, true);
        line = after;
        if (!has_caller || !list_once(&listed, caller)) continue;
        // The name as a string: on the stack unless it is long.
        char small[256];
        char *copy = caller.size() < sizeof small ? small : static_cast<char *>(malloc(caller.size() + 1));
        if (!copy) continue;
        memcpy(copy, caller.data(), caller.size());
        copy[caller.size()] = 0;
        put_tabs(level + 1);
        print_tree_line(level + 1, copy);
        if (!is_visited(caller)) {
            add_visited(caller);
            reverse_tree_level(copy, level + 1);
        }
        if (copy != small) free(copy);
    }
    table_free(&listed.d_many);
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
        fputs(NO_CALL_TAGS, (env->d_flags & FL_DOT) ? stderr : stdout);
        exit(1);
    }
    reverse_tree_level(name, 0);
    if (env->d_flags & FL_DOT) print_dot_graph();
    unmap_whole_file(&g_call_tags);
    fflush(stdout);
}
