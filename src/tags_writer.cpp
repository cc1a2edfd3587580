// Runs the file-processing modes over the file list, in this process or in
// d_jobs workers, and writes "tags"/"call_tags": every job's lines sorted by
// bytes behind the six header lines, renamed into place only when complete.
#include "tags_writer.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
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

#include "big_block.h"
#include "condenser.h"
#include "discover.h"
#include "env.h"
#include "line_sort.h"
#include "options.h"
#include "progress.h"
#include "string_array.h"
#include "tags_format.h"

// The scratch names of this run: a directory of its own under the scratch
// directory, so that two runs at once never read each other's lines.
static std::string g_run_dir;
// The tag lines of this process, kept in memory until they are sorted.
static char *g_lines;
static size_t g_lines_length;
static size_t g_lines_capacity;

static ssize_t append_lines(void *, const char *data, size_t size) {
    if (g_lines_length + size >= g_lines_capacity) {
        size_t capacity = std::max({g_lines_capacity * 2, g_lines_length + size + 1, (size_t)1 << 21});
        char *grown = static_cast<char *>(big_block_grow(g_lines, g_lines_capacity, capacity));
        if (!grown) return -1;
        g_lines = grown;
        g_lines_capacity = capacity;
    }
    memcpy(g_lines + g_lines_length, data, size);
    g_lines_length += size;
    return (ssize_t)size;
}

// Every line of a file repeats the file's path after its name; the lines are
// stored without it (half the memory on a kernel tree), and each file's
// lines form a segment that puts it back when they are sorted and written.
static std::vector<LineSegment> g_segments;

// Where each line of the file being stored has its first tab and its end,
// kept between files so that its room is taken once.
static std::vector<size_t> g_line_cuts;

static void store_without_path(const char *path) {
    size_t start = g_segments.empty() ? 0 : g_segments.back().d_end, end = g_lines_length;
    if (start == end) return;
    char *text = g_lines;
    size_t path_length = strlen(path);
    bool all = text[end - 1] == '\n';
    g_line_cuts.clear();
    for (size_t at = start; all && at < end;) {
        const char *line = text + at;
        const char *tab = line;
        while (tab < text + end && *tab != '\t' && *tab != '\n') ++tab;
        // The path and its tab stand right after the name; a path holds no
        // line feed, so a match cannot pass the line's end.
        all = tab < text + end && *tab == '\t' && (size_t)(text + end - tab) > path_length + 1 &&
              memcmp(tab + 1, path, path_length) == 0 && tab[1 + path_length] == '\t';
        if (!all) break;
        const char *after = tab + 2 + path_length;
        const char *nl = static_cast<const char *>(memchr(after, '\n', text + end - after));
        g_line_cuts.push_back(tab - text);
        g_line_cuts.push_back(nl - text);
        at = nl - text + 1;
    }
    if (!all) {
        g_segments.push_back(LineSegment{end, nullptr, 0});
        return;
    }
    size_t kept = start;
    for (size_t k = 0, at = start; k < g_line_cuts.size(); k += 2) {
        size_t head = g_line_cuts[k] + 1 - at, rest = g_line_cuts[k + 1] + 1 - (g_line_cuts[k] + 1 + path_length);
        memmove(text + kept, text + at, head);
        memmove(text + kept + head, text + at + head + path_length, rest);
        kept += head + rest;
        at = g_line_cuts[k + 1] + 1;
    }
    g_lines_length = kept;
    g_segments.push_back(LineSegment{kept, strdup(path), path_length});
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

// Named files that are not regular (directories named like sources, FIFOs,
// devices) are passed over with a message; discovery has left out such
// files already. A name with a tab or line feed cannot go into a tag line.
static bool usable_path(const char *path, bool discovered) {
    struct stat st;
    if (tags_mode(get_env()->d_mode) && strpbrk(path, "\t\n\r")) {
        fprintf(stderr, "file name holds a tab or line feed, passed over: %s\n", path);
        return false;
    }
    if (!discovered && stat(path, &st) == 0 && !S_ISREG(st.st_mode)) {
        fprintf(stderr, "not a regular file, passed over: %s\n", path);
        return false;
    }
    return true;
}

// Standard output is flushed after each file so that a worker's lines leave
// in whole files rather than in buffer-sized pieces. With a stream the files
// come from find as it runs, else from d_files.
static int job_run(FindStream *stream) {
    Env *env = get_env();
    FILE *out = open_job_output();
    bool draws = progress_active() && !(env->d_flags & FL_THREAD);
    for (int i = 0;; ++i) {
        const char *path = stream ? find_stream_next(stream) : at(env->d_files, i);
        if (!path) break;
        if (stream && !usable_path(path, true)) continue;
        route_file(path, out);
        if (out == stdout) {
            fflush(stdout);
        } else {
            fflush(out);
            store_without_path(path);
        }
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

// Hands find's names to the workers in small packets on the socket they
// share: a worker takes the next packet when it is done with the last, so
// the work stays even however the files' sizes fall.
static void deal_names(FindStream *stream, int feed) {
    const size_t batch = 2048;
    std::string packet;
    bool open = true;
    auto send_packet = [&]() {
        ssize_t n = 0;
        while (open && !packet.empty() && (n = send(feed, packet.data(), packet.size(), MSG_NOSIGNAL)) < 0 &&
               errno == EINTR) {}
        if (n < 0) open = false;  // every worker is gone
        packet.clear();
    };
    while (const char *path = find_stream_next(stream)) {
        size_t length = strlen(path) + 1;
        if (length > (size_t)NAME_PACKET_MAX) {
            fprintf(stderr, "file name too long, passed over: %s\n", path);
            continue;
        }
        if (packet.size() + length > batch) send_packet();
        packet.append(path, length);
    }
    send_packet();
    close(feed);
}

// Returns 0 when every worker ended well; otherwise says which did not. With
// a stream the workers take their files from it, dealt in turn; else each
// takes every jobs-th file of d_files.
static int fork_jobs(int jobs, FindStream *stream) {
    Env *env = get_env();
    StringArray **lists = split_jobs(jobs);
    std::vector<pid_t> pids;
    int names[2] = {-1, -1};
    if (stream && socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, names) != 0) {
        perror("socketpair");
        exit(1);
    }
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
            FindStream *share = nullptr;
            if (stream) {
                // Only the main process sends names: the feed ends when it closes.
                close(names[0]);
                share = name_stream(names[1]);
            }
            job_run(share);
            if (tags_mode(env->d_mode)) write_job_file();
            exit(0);
        }
        pids.push_back(pid);
    }
    if (stream) {
        close(names[1]);
        deal_names(stream, names[0]);
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

// Writes all of data at offset, advancing it.
static int write_all(int fd, const char *data, size_t length, off_t *offset) {
    while (length > 0) {
        ssize_t n = pwrite(fd, data, length, *offset);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return -1;
        data += n;
        length -= n;
        *offset += n;
    }
    return 0;
}

// Buffered output to a descriptor from a given offset; remembers a failed
// write.
static const size_t OUTPUT_BUFFER = 1 << 20;
struct LineOutput {
    int d_fd;
    int d_failed;
    char *d_buffer;
    size_t d_used;
    off_t d_offset;
};

static LineOutput line_output(int fd, off_t offset) {
    char *buffer = static_cast<char *>(malloc(OUTPUT_BUFFER));
    return LineOutput{fd, buffer ? 0 : -1, buffer, 0, offset};
}

static void put_bytes(LineOutput &out, const char *data, size_t length) {
    if (out.d_used + length > OUTPUT_BUFFER) {
        out.d_failed |= write_all(out.d_fd, out.d_buffer, out.d_used, &out.d_offset);
        out.d_used = 0;
        if (length > OUTPUT_BUFFER) {
            out.d_failed |= write_all(out.d_fd, data, length, &out.d_offset);
            return;
        }
    }
    if (!out.d_buffer) return;
    memcpy(out.d_buffer + out.d_used, data, length);
    out.d_used += length;
}

static int finish_output(LineOutput &out) {
    if (out.d_buffer) out.d_failed |= write_all(out.d_fd, out.d_buffer, out.d_used, &out.d_offset);
    free(out.d_buffer);
    out.d_buffer = nullptr;
    out.d_used = 0;
    return out.d_failed;
}

// Writes the lines of text sorted: records of the lines are sorted, no
// line is moved. REQUIRES: text has room for one more byte than length.
static void put_sorted(LineOutput &out, char *text, size_t length) {
    if (length > 0 && text[length - 1] != '\n') text[length++] = '\n';
    // The last segment takes whatever no file's segment holds.
    if (g_segments.empty() || g_segments.back().d_end < length) g_segments.push_back(LineSegment{length, nullptr, 0});
    const LineSegment *segments = g_segments.data();
    size_t n = 0;
    SortedLine *lines = sort_lines(text, length, segments, g_segments.size(), &n);
    if (!lines) {
        errno = ENOMEM;
        out.d_failed = -1;
        return;
    }
    for (size_t i = 0; i < n; ++i) {
        const SortedLine &line = lines[i];
        const LineSegment &segment = segments[line.d_segment];
        size_t head = line_head_length(line, segments);
        put_bytes(out, line.d_line, head);
        if (segment.d_insert) put_bytes(out, segment.d_insert, segment.d_insert_length);
        put_bytes(out, line.d_line + head, line.d_length - head);
    }
    free_sorted_lines(lines, n);
}

// One worker's sorted lines: its job file, mapped; a merger takes the
// slice [d_from, d_to) of it.
struct JobRun {
    const char *d_text;
    size_t d_size;
    size_t d_from;
    size_t d_to;
};

// The start of the line that holds byte at, looking back no further than
// from (a line start).
static size_t line_start(const char *text, size_t from, size_t at) {
    const void *nl = memrchr(text + from, '\n', at - from);
    return nl ? static_cast<const char *>(nl) - text + 1 : from;
}

static size_t next_line(const char *text, size_t size, size_t at) {
    return static_cast<const char *>(memchr(text + at, '\n', size - at)) - text + 1;
}

// The offset of the first line of a sorted run that is not less than pivot.
static size_t lower_bound_line(const JobRun &run, const char *pivot) {
    size_t lo = 0, hi = run.d_size;
    while (lo < hi) {
        size_t at = line_start(run.d_text, lo, lo + (hi - lo) / 2);
        if (line_less(run.d_text + at, pivot)) lo = next_line(run.d_text, run.d_size, at);
        else hi = at;
    }
    return lo;
}

// Merges each run's slice into out.
static void put_merged(LineOutput &out, std::vector<JobRun> &runs) {
    std::vector<const char *> head, end;
    for (JobRun &run : runs) {
        if (run.d_from == run.d_to) continue;
#ifdef MADV_POPULATE_READ
        // One call maps the slice's pages instead of a fault for each.
        uintptr_t page = (uintptr_t)sysconf(_SC_PAGESIZE);
        uintptr_t first = (uintptr_t)(run.d_text + run.d_from) & ~(page - 1);
        madvise((void *)first, (uintptr_t)(run.d_text + run.d_to) - first, MADV_POPULATE_READ);
#endif
        head.push_back(run.d_text + run.d_from);
        end.push_back(run.d_text + run.d_to);
    }
    size_t n = head.size();
    for (;;) {
        int best = -1;
        for (size_t i = 0; i < n; ++i)
            if (head[i] < end[i] && (best < 0 || line_less(head[i], head[best]))) best = (int)i;
        if (best < 0) break;
        const char *next = static_cast<const char *>(memchr(head[best], '\n', end[best] - head[best])) + 1;
        put_bytes(out, head[best], next - head[best]);
        head[best] = next;
    }
}

// Maps the job files; every one must end in a line feed. -1 on failure.
static int map_job_files(int jobs, std::vector<JobRun> &runs) {
    runs.assign(jobs, JobRun{nullptr, 0, 0, 0});
    for (int i = 0; i < jobs; ++i) {
        int fd = open(job_file(i).c_str(), O_RDONLY | O_CLOEXEC);
        struct stat st;
        if (fd < 0 || fstat(fd, &st) != 0) {
            if (fd >= 0) close(fd);
            return -1;
        }
        JobRun &run = runs[i];
        run.d_size = st.st_size;
        if (run.d_size > 0) {
            void *text = mmap(nullptr, run.d_size, PROT_READ, MAP_PRIVATE, fd, 0);
            if (text == MAP_FAILED) run.d_size = 0;
            else run.d_text = static_cast<const char *>(text);
        }
        close(fd);
        if (st.st_size > 0 && (!run.d_text || run.d_text[run.d_size - 1] != '\n')) return -1;
    }
    return 0;
}

static void unmap_job_files(std::vector<JobRun> &runs) {
    for (JobRun &run : runs)
        if (run.d_text) munmap((void *)run.d_text, run.d_size);
}

// Merges the workers' sorted job files into fd from offset, in parallel:
// the key space is cut at lines of the largest run, and each of `parts`
// processes merges one range of every run into its own place in the file.
static int merge_job_files(int fd, off_t offset, int jobs, int parts) {
    std::vector<JobRun> runs;
    if (map_job_files(jobs, runs) != 0) {
        unmap_job_files(runs);
        errno = errno ? errno : EIO;
        return -1;
    }
    size_t largest = 0;
    for (int i = 1; i < jobs; ++i)
        if (runs[i].d_size > runs[largest].d_size) largest = i;
    // cuts[p][r]: where part p starts in run r.
    std::vector<std::vector<size_t>> cuts(parts + 1, std::vector<size_t>(jobs, 0));
    for (int r = 0; r < jobs; ++r) cuts[parts][r] = runs[r].d_size;
    const JobRun &big = runs[largest];
    for (int p = 1; p < parts; ++p) {
        size_t at = big.d_size / parts * p;
        at = at == 0 ? 0 : line_start(big.d_text, 0, at);
        for (int r = 0; r < jobs; ++r) {
            size_t cut = at < big.d_size ? lower_bound_line(runs[r], big.d_text + at) : runs[r].d_size;
            cuts[p][r] = std::max(cut, cuts[p - 1][r]);
        }
    }
    fflush(stdout);
    fflush(stderr);
    std::vector<pid_t> pids;
    int failed = 0;
    for (int p = 0; p < parts; ++p) {
        off_t start = offset;
        for (int r = 0; r < jobs; ++r) start += cuts[p][r];
        pid_t pid = fork();
        if (pid < 0) {
            failed = -1;
            break;
        }
        if (pid == 0) {
            for (int r = 0; r < jobs; ++r) {
                runs[r].d_from = cuts[p][r];
                runs[r].d_to = cuts[p + 1][r];
            }
            LineOutput out = line_output(fd, start);
            put_merged(out, runs);
            // The exit status carries the reason of a failed write.
            _exit(finish_output(out) == 0 ? 0 : errno > 0 && errno < 256 ? errno : EIO);
        }
        pids.push_back(pid);
    }
    for (size_t p = 0; p < pids.size(); ++p) {
        int status = 0;
        while (waitpid(pids[p], &status, 0) < 0 && errno == EINTR) {}
        if (WIFEXITED(status) && WEXITSTATUS(status) == 0) continue;
        if (WIFSIGNALED(status)) fprintf(stderr, "merge %zu was killed by signal %d\n", p, WTERMSIG(status));
        failed = -1;
        errno = WIFEXITED(status) ? WEXITSTATUS(status) : EIO;
    }
    unmap_job_files(runs);
    return failed;
}

// The tags file is written beside its final name, which it replaces only
// once every write and the close have succeeded. With jobs > 1 the lines
// come from the workers' job files, else from text.
static int write_tags_file(const char *path, char *text, size_t length, int jobs) {
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

    LineOutput out = line_output(fd, 0);
    for (const char *header : TAGS_HEADER) put_bytes(out, header, strlen(header));
    if (jobs == 1) put_sorted(out, text, length);
    int failed = finish_output(out);
    if (!failed && jobs > 1) failed = merge_job_files(fd, out.d_offset, jobs, jobs);
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
    if (!g_lines) g_lines = static_cast<char *>(big_block_grow(nullptr, 0, g_lines_capacity = 1));
    char *text = g_lines;
    LineOutput out = line_output(fd, 0);
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

static void drop_unusable(StringArray *files, bool discovered) {
    int kept = 0;
    for (int i = 0; i < count(files); ++i) {
        char *path = at(files, i);
        if (usable_path(path, discovered)) files->d_items[kept++] = path;
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
    int jobs = env->d_jobs;
    if (jobs < 1) {
        long online = sysconf(_SC_NPROCESSORS_ONLN);
        jobs = online > 0 ? (int)online : 1;
    }
    bool discovered = count(env->d_files) == 0;
    // The jobs take the files while find still looks for more, unless a
    // counter on the terminal needs their number first.
    FindStream *stream = nullptr;
    if (discovered && !isatty(2)) {
        stream = find_stream_open(true);
        jobs = std::min(jobs, MAX_JOBS);
    } else {
        if (discovered) {
            string_array_delete(env->d_files);
            env->d_files = discover_files(true);
        }
        drop_unusable(env->d_files, discovered);
        // Never more workers than files, nor than a machine sensibly runs.
        jobs = std::max(1, std::min({jobs, MAX_JOBS, count(env->d_files)}));
    }
    env->d_flags &= ~FL_THREAD;  // only workers write job files
    bool tags = tags_mode(env->d_mode);
    if (tags) make_run_scratch();

    int status = 0;
    progress_begin(count(env->d_files));
    if (jobs == 1) job_run(stream);
    else status = fork_jobs(jobs, stream);
    find_stream_close(stream);
    progress_end();

    if (tags && status == 0) {
        // The sink always keeps one byte free for a final line feed.
        if (!g_lines) g_lines = static_cast<char *>(big_block_grow(nullptr, 0, g_lines_capacity = 1));
        const char *path = env->d_mode == MODE_MAKE_CTAGS ? "./tags" : "./call_tags";
        if (!g_lines) {
            perror("lines in memory");
            status = -1;
        } else if (write_tags_file(path, g_lines, g_lines_length, jobs) != 0) {
            status = -1;
        }
        big_block_free(g_lines, g_lines_capacity);
        g_lines = nullptr;
    }
    if (tags) remove_temp_files(jobs);
    if (status != 0) {
        fflush(stdout);
        exit(1);
    }
    return 0;
}
