#include "discover.h"

#include <sys/stat.h>
#include <sys/socket.h>
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

// find with its output on a pipe, NUL-separated so that any file name (a
// line feed included) comes back whole, read while it runs.
struct FindStream {
    int d_fd;
    pid_t d_pid;
    char *d_buffer;
    size_t d_length;    // bytes held
    size_t d_start;     // first byte not yet handed out
    size_t d_capacity;
    bool d_eof;
    bool d_packets;  // one name per packet, from a socket shared with other readers
};

// Starts find; the child never returns here. With regular_only, find itself
// passes over all but regular files (links followed), which saves a stat of
// every file afterwards; only links are followed by a stat, the others are
// typed from the directory entry.
FindStream *find_stream_open(bool regular_only) {
    FindStream *stream = static_cast<FindStream *>(calloc(1, sizeof(FindStream)));
    int fds[2];
    if (!stream || pipe(fds) != 0) {
        free(stream);
        return nullptr;
    }
    pid_t pid = fork();
    if (pid < 0) {
        close(fds[0]);
        close(fds[1]);
        free(stream);
        return nullptr;
    }
    if (pid == 0) {
        FILE *null = fopen("/dev/null", "w");
        if (!null || dup2(fileno(null), 2) < 0 || dup2(fds[1], 1) < 0) _exit(127);
        close(fds[0]);
        if (regular_only)
            execlp("find", "find", ".", "-name", "*", "(", "-type", "f", "-o", "-type", "l", "-xtype", "f", ")",
                   "-print0", (char *)nullptr);
        else
            execlp("find", "find", ".", "-name", "*", "-print0", (char *)nullptr);
        _exit(127);
    }
    close(fds[1]);
    stream->d_fd = fds[0];
    stream->d_pid = pid;
    return stream;
}

// The next name find gave, or null at its end; valid until the next call.
static char *next_name(FindStream *stream) {
    for (;;) {
        char *start = stream->d_buffer + stream->d_start;
        size_t held = stream->d_length - stream->d_start;
        char *nul = held > 0 ? static_cast<char *>(memchr(start, 0, held)) : nullptr;
        if (nul) {
            stream->d_start = nul + 1 - stream->d_buffer;
            return start;
        }
        if (stream->d_eof) return nullptr;
        // Keep the unfinished name, then read more behind it.
        if (held > 0) memmove(stream->d_buffer, start, held);
        stream->d_length = held;
        stream->d_start = 0;
        if (stream->d_capacity - stream->d_length < 4096) {
            size_t capacity = stream->d_capacity * 2 + 65536;
            char *grown = static_cast<char *>(realloc(stream->d_buffer, capacity));
            if (!grown) return nullptr;
            stream->d_buffer = grown;
            stream->d_capacity = capacity;
        }
        ssize_t n = read(stream->d_fd, stream->d_buffer + stream->d_length, stream->d_capacity - stream->d_length);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) stream->d_eof = true;
        else stream->d_length += n;
    }
}

FindStream *name_stream(int fd) {
    FindStream *stream = static_cast<FindStream *>(calloc(1, sizeof(FindStream)));
    if (!stream) return nullptr;
    stream->d_fd = fd;
    stream->d_packets = true;
    if (!(stream->d_buffer = static_cast<char *>(malloc(stream->d_capacity = NAME_PACKET_MAX + 1)))) {
        free(stream);
        return nullptr;
    }
    return stream;
}

// The next name of a stream of packets of NUL-ended names, which other
// readers share: each receive takes one whole packet.
static char *next_packet(FindStream *stream) {
    while (stream->d_start >= stream->d_length) {
        ssize_t n = recv(stream->d_fd, stream->d_buffer, NAME_PACKET_MAX, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return nullptr;
        stream->d_buffer[n] = 0;  // a packet cut short still ends in a zero
        stream->d_length = n;
        stream->d_start = 0;
    }
    char *name = stream->d_buffer + stream->d_start;
    stream->d_start += strlen(name) + 1;
    return name;
}

const char *find_stream_next(FindStream *stream) {
    if (!stream) return nullptr;
    while (char *name = stream->d_packets ? next_packet(stream) : next_name(stream))
        if (language_row(name)) return name;
    return nullptr;
}

void find_stream_close(FindStream *stream) {
    if (!stream) return;
    close(stream->d_fd);
    int status;
    while (stream->d_pid > 0 && waitpid(stream->d_pid, &status, 0) < 0 && errno == EINTR) {}
    free(stream->d_buffer);
    free(stream);
}

StringArray *discover_files(bool regular_only) {
    StringArray *found = string_array_new(1024);
    FindStream *stream = find_stream_open(regular_only);
    while (const char *path = find_stream_next(stream)) push(found, strdup(path));
    find_stream_close(stream);
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
