// Runs the file-processing modes over the file list, in this process or in
// d_jobs workers, and writes "tags"/"call_tags": every job's lines sorted by
// bytes behind the six header lines, renamed into place only when complete.
#include "tags_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "condenser.h"
#include "discover.h"
#include "env.h"
#include "options.h"
#include "progress.h"
#include "string_array.h"
#include "tags_format.h"

// The scratch names of this run: a directory of its own under the scratch
// directory, so that two runs at once never read each other's lines.
static std::string g_run_dir;
// The tag lines of this process, kept in memory until they are sorted;
// grown by realloc, which moves a large block without copying it.
static char *g_lines;
static size_t g_lines_length;
static size_t g_lines_capacity;

static ssize_t append_lines(void *, const char *data, size_t size) {
    if (g_lines_length + size >= g_lines_capacity) {
        size_t capacity = std::max({g_lines_capacity * 2, g_lines_length + size + 1, (size_t)1 << 20});
        char *grown = static_cast<char *>(realloc(g_lines, capacity));
        if (!grown) return -1;
        g_lines = grown;
        g_lines_capacity = capacity;
    }
    memcpy(g_lines + g_lines_length, data, size);
    g_lines_length += size;
    return (ssize_t)size;
}

static const int MAX_JOBS = 64;

static bool tags_mode(int mode) { return mode == MODE_MAKE_CTAGS || mode == MODE_CALL_TAGS; }

static std::string job_file(int index) { return std::string(get_env()->d_tags_tmp) + std::to_string(index); }

static FILE *open_job_output() {
    Env *env = get_env();
    if (!tags_mode(env->d_mode)) return stdout;
    // The lines stay in memory until they are sorted.
    cookie_io_functions_t io = {nullptr, append_lines, nullptr, nullptr};
    FILE *out = fopencookie(nullptr, "w", io);
    if (!out) {
        perror("lines in memory");
        _exit(1);
    }
    return out;
}

// Standard output is flushed after each file so that a worker's lines leave
// in whole files rather than in buffer-sized pieces.
static int job_run() {
    Env *env = get_env();
    FILE *out = open_job_output();
    bool draws = progress_active() && !(env->d_flags & FL_THREAD);
    for (int i = 0; i < count(env->d_files); ++i) {
        route_file(at(env->d_files, i), out);
        if (out == stdout) fflush(stdout);
        progress_step();
        if (draws) progress_show();
    }
    if (out != stdout && fclose(out) != 0) {
        perror("write job file");
        _exit(1);
    }
    return 0;
}

static StringArray **split_jobs(int jobs) {
    StringArray **lists = static_cast<StringArray **>(calloc(jobs, sizeof(StringArray *)));
    for (int j = 0; j < jobs; ++j) lists[j] = string_array_new(16);
    StringArray *files = get_env()->d_files;
    for (int i = 0; i < count(files); ++i) push(lists[i % jobs], at(files, i));
    return lists;
}

static void write_job_file();

// Returns 0 when every worker ended well; otherwise says which did not.
static int fork_jobs(int jobs) {
    Env *env = get_env();
    StringArray **lists = split_jobs(jobs);
    std::vector<pid_t> pids;
    fflush(stdout);
    fflush(stderr);
    for (int i = 0; i < jobs; ++i) {
        pid_t pid = fork();
        if (pid < 0) {
            perror("fork");
            exit(1);
        }
        if (pid == 0) {
            env->d_job_index = i;
            env->d_flags |= FL_THREAD;
            env->d_files = lists[i];
            job_run();
            if (tags_mode(env->d_mode)) write_job_file();
            exit(0);
        }
        pids.push_back(pid);
    }
    std::vector<int> statuses(jobs, 0);
    for (int i = 0; i < jobs; ++i) {
        // With a counter on the terminal, wait in short naps to redraw it.
        while (progress_active() && waitpid(pids[i], &statuses[i], WNOHANG) == 0) {
            progress_show();
            usleep(20000);
        }
        if (!progress_active())
            while (waitpid(pids[i], &statuses[i], 0) < 0 && errno == EINTR) {}
    }
    progress_end();
    int failed = 0;
    for (int i = 0; i < jobs; ++i) {
        int status = statuses[i];
        if (WIFEXITED(status) && WEXITSTATUS(status) == 0) continue;
        if (WIFSIGNALED(status))
            fprintf(stderr, "job %d was killed by signal %d\n", i, WTERMSIG(status));
        else
            fprintf(stderr, "job %d failed with status %d\n", i, WEXITSTATUS(status));
        failed = -1;
    }
    for (int j = 0; j < jobs; ++j) string_array_delete(lists[j]);
    free(lists);
    return failed;
}

// Concatenates the job files in index order into one block; starts gets
// where each job's lines begin, and the total at the end. Null on a read
// error.
static char *read_job_files(int jobs, size_t *out_length, std::vector<size_t> &starts) {
    std::vector<int> fds(jobs, -1);
    std::vector<size_t> sizes(jobs, 0);
    size_t total = 0;
    char *block = nullptr;
    bool ok = true;
    for (int i = 0; i < jobs && ok; ++i) {
        fds[i] = open(job_file(i).c_str(), O_RDONLY | O_CLOEXEC);
        struct stat st;
        if (fds[i] < 0 || fstat(fds[i], &st) != 0) ok = false;
        else total += sizes[i] = st.st_size;
    }
    size_t filled = 0;
    if (ok) block = static_cast<char *>(malloc(total + 1));
    starts.assign(1, 0);
    for (int i = 0; i < jobs && block; ++i) {
        size_t end = filled + sizes[i];
        ssize_t n;
        while (filled < end && (n = read(fds[i], block + filled, end - filled)) > 0) filled += n;
        if (filled != end) break;
        starts.push_back(filled);
    }
    for (int fd : fds)
        if (fd >= 0) close(fd);
    if (!block || filled != total) {
        free(block);
        return nullptr;
    }
    *out_length = total;
    return block;
}

// Byte order of whole lines, each ending in its line feed; no line holds
// another line feed, so no line is a proper prefix of another.
static bool line_less(const char *a, const char *b) {
    while (*a == *b && *a != '\n') {
        ++a;
        ++b;
    }
    return (unsigned char)*a < (unsigned char)*b;
}

// A line with its first sixteen bytes as two big-endian numbers (zeros
// after the line feed): most comparisons end on them, without touching the
// line itself.
struct SortedLine {
    uint64_t d_key[2];
    const char *d_line;
};

// Sets the two keys from the first sixteen bytes of a line.
static void line_key(const char *line, uint64_t key[2]) {
    bool ended = false;
    for (int half = 0; half < 2; ++half) {
        uint64_t k = 0;
        for (int i = 0; i < 8; ++i) {
            unsigned char c = ended ? 0 : (unsigned char)line[half * 8 + i];
            if (c == '\n') ended = true;
            k = k << 8 | c;
        }
        key[half] = k;
    }
}

static bool sorted_line_less(const SortedLine &a, const SortedLine &b) {
    if (a.d_key[0] != b.d_key[0]) return a.d_key[0] < b.d_key[0];
    if (a.d_key[1] != b.d_key[1]) return a.d_key[1] < b.d_key[1];
    // Equal keys: the first sixteen bytes are the same; a line that ended
    // within them (its last key byte a zero or the line feed) equals the other.
    unsigned char last = a.d_key[1] & 0xff;
    if (last == 0 || last == '\n') return false;
    return line_less(a.d_line + 16, b.d_line + 16);
}

static int write_all(int fd, const char *data, size_t length) {
    while (length > 0) {
        ssize_t n = write(fd, data, length);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return -1;
        data += n;
        length -= n;
    }
    return 0;
}

// Buffered output to a descriptor; remembers a failed write.
struct LineOutput {
    int d_fd;
    int d_failed;
    std::string d_buffer;
};

static void put_bytes(LineOutput &out, const char *data, size_t length) {
    out.d_buffer.append(data, length);
    if (out.d_buffer.size() >= (1 << 20)) {
        out.d_failed |= write_all(out.d_fd, out.d_buffer.data(), out.d_buffer.size());
        out.d_buffer.clear();
    }
}

static void put_line(LineOutput &out, const char *line) {
    put_bytes(out, line, strchr(line, '\n') - line + 1);
}

static int finish_output(LineOutput &out) {
    out.d_failed |= write_all(out.d_fd, out.d_buffer.data(), out.d_buffer.size());
    out.d_buffer.clear();
    return out.d_failed;
}

// Writes the lines of text sorted: pointers into the block are sorted, no
// line is copied. REQUIRES: text has room for one more byte than length.
static void put_sorted(LineOutput &out, char *text, size_t length) {
    if (length > 0 && text[length - 1] != '\n') text[length++] = '\n';
    std::vector<SortedLine> lines;
    lines.reserve(length / 48 + 1);
    for (size_t at = 0; at < length;) {
        const char *line = text + at;
        SortedLine sorted;
        line_key(line, sorted.d_key);
        sorted.d_line = line;
        lines.push_back(sorted);
        const char *nl = static_cast<const char *>(memchr(line, '\n', length - at));
        at = nl - text + 1;
    }
    std::sort(lines.begin(), lines.end(), sorted_line_less);
    for (const SortedLine &sorted : lines) put_line(out, sorted.d_line);
}

// Merges runs of lines that are each sorted already (the workers' outputs):
// run i is [starts[i], starts[i + 1]) of text.
static void put_merged(LineOutput &out, const char *text, const std::vector<size_t> &starts) {
    size_t runs = starts.size() - 1;
    std::vector<const char *> head(runs), end(runs);
    for (size_t i = 0; i < runs; ++i) {
        head[i] = text + starts[i];
        end[i] = text + starts[i + 1];
    }
    for (;;) {
        int best = -1;
        for (size_t i = 0; i < runs; ++i)
            if (head[i] < end[i] && (best < 0 || line_less(head[i], head[best]))) best = (int)i;
        if (best < 0) break;
        const char *nl = static_cast<const char *>(memchr(head[best], '\n', end[best] - head[best]));
        const char *next = nl ? nl + 1 : end[best];
        put_bytes(out, head[best], next - head[best]);
        if (!nl) put_bytes(out, "\n", 1);
        head[best] = next;
    }
}

// The tags file is written beside its final name, which it replaces only
// once every write and the close have succeeded.
static int write_tags_file(const char *path, char *text, size_t length, const std::vector<size_t> *runs) {
    std::string temp = std::string(path) + ".XXXXXX";
    int fd = mkstemp(&temp[0]);
    if (fd < 0) {
        fprintf(stderr, "file %s:\n", path);
        perror("fopen");
        return -1;
    }
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);

    LineOutput out{fd, 0, std::string()};
    out.d_buffer.reserve((1 << 20) + 4096);
    for (const char *header : TAGS_HEADER) put_bytes(out, header, strlen(header));
    if (runs) put_merged(out, text, *runs);
    else put_sorted(out, text, length);
    int failed = finish_output(out);
    if (close(fd) != 0) failed = -1;
    if (failed || rename(temp.c_str(), path) != 0) {
        int saved = errno;
        unlink(temp.c_str());
        fprintf(stderr, "file %s: %s\n", path, strerror(saved));
        return -1;
    }
    return 0;
}

// A worker sorts its own lines into its job file, so that the sort is
// spread over the workers and the main process only merges.
static void write_job_file() {
    std::string path = job_file(get_env()->d_job_index);
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        fprintf(stderr, "cannot write job file %s: %s\n", path.c_str(), strerror(errno));
        _exit(1);
    }
    char *text = g_lines ? g_lines : static_cast<char *>(malloc(1));
    LineOutput out{fd, 0, std::string()};
    put_sorted(out, text, g_lines_length);
    if (finish_output(out) != 0 || close(fd) != 0) {
        fprintf(stderr, "cannot write job file %s: %s\n", path.c_str(), strerror(errno));
        _exit(1);
    }
}

static void make_run_scratch() {
    Env *env = get_env();
    std::string dir = std::string(env->d_home) + "/.zephyr_elk/run.XXXXXX";
    // A HOME that cannot hold the scratch directory falls back to /tmp.
    if (!mkdtemp(&dir[0])) {
        const char *tmp = getenv("TMPDIR");
        dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/zephyr_elk.XXXXXX";
    }
    if (dir.back() != 'X' || mkdtemp(&dir[0])) {
        g_run_dir = dir;
        free(env->d_tags_tmp);
        env->d_tags_tmp = strdup((dir + "/.zx_tags.tmp").c_str());
    }
}

static void remove_temp_files(int jobs) {
    Env *env = get_env();
    for (int i = 0; i < jobs; ++i) unlink(job_file(i).c_str());
    unlink(env->d_tags_tmp);
    if (!g_run_dir.empty()) rmdir(g_run_dir.c_str());
}

// Named files that are not regular (directories named like sources, FIFOs,
// devices) are passed over with a message; discovery has left out such
// files already. A name with a tab or line feed cannot go into a tag line.
static void drop_unusable(StringArray *files, bool discovered) {
    bool tags = tags_mode(get_env()->d_mode);
    int kept = 0;
    for (int i = 0; i < count(files); ++i) {
        char *path = at(files, i);
        struct stat st;
        bool keep = true;
        if (tags && strpbrk(path, "\t\n\r")) {
            fprintf(stderr, "file name holds a tab or line feed, passed over: %s\n", path);
            keep = false;
        } else if (!discovered && stat(path, &st) == 0 && !S_ISREG(st.st_mode)) {
            fprintf(stderr, "not a regular file, passed over: %s\n", path);
            keep = false;
        }
        if (keep) files->d_items[kept++] = path;
        else free(path);
    }
    files->d_count = kept;
}

int process_files() {
    Env *env = get_env();
    int lang = language_id();
    if ((env->d_mode == MODE_CALL_TAGS || env->d_mode == MODE_CGREP) && lang != LANG_CXX &&
        lang != LANG_ALL) {
        perror("Available for \"C/C++\" only\n");
        return -1;
    }
    bool discovered = count(env->d_files) == 0;
    if (discovered) {
        string_array_delete(env->d_files);
        env->d_files = discover_files(true);
    }
    drop_unusable(env->d_files, discovered);

    int jobs = env->d_jobs;
    if (jobs < 1) {
        long online = sysconf(_SC_NPROCESSORS_ONLN);
        jobs = online > 0 ? (int)online : 1;
    }
    // Never more workers than files, nor than a machine sensibly runs.
    jobs = std::max(1, std::min({jobs, MAX_JOBS, count(env->d_files)}));
    env->d_flags &= ~FL_THREAD;  // only workers write job files
    bool tags = tags_mode(env->d_mode);
    if (tags) make_run_scratch();

    int status = 0;
    progress_begin(count(env->d_files));
    if (jobs == 1) job_run();
    else status = fork_jobs(jobs);
    progress_end();

    if (tags && status == 0) {
        size_t length = 0;
        char *text = nullptr;
        std::vector<size_t> runs;
        if (jobs == 1) {
            // The sink always keeps one byte free for a final line feed.
            text = g_lines ? g_lines : static_cast<char *>(malloc(1));
            length = g_lines_length;
            g_lines = nullptr;
        } else {
            text = read_job_files(jobs, &length, runs);
        }
        const char *path = env->d_mode == MODE_MAKE_CTAGS ? "./tags" : "./call_tags";
        if (!text) {
            perror("read job output");
            status = -1;
        } else if (write_tags_file(path, text, length, jobs == 1 ? nullptr : &runs) != 0) {
            status = -1;
        }
        free(text);
    }
    if (tags) remove_temp_files(jobs);
    if (status != 0) {
        fflush(stdout);
        exit(1);
    }
    return 0;
}
