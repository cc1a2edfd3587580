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
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "condenser.h"
#include "discover.h"
#include "env.h"
#include "options.h"
#include "string_array.h"
#include "tags_format.h"

// The scratch names of this run: a directory of its own under the scratch
// directory, so that two runs at once never read each other's lines.
static std::string g_run_dir;

static bool tags_mode(int mode) { return mode == MODE_MAKE_CTAGS || mode == MODE_CALL_TAGS; }

static std::string job_file(int index) { return std::string(get_env()->d_tags_tmp) + std::to_string(index); }

static FILE *open_job_output() {
    Env *env = get_env();
    if (!tags_mode(env->d_mode)) return stdout;
    std::string path = (env->d_flags & FL_THREAD) ? job_file(env->d_job_index) : env->d_tags_tmp;
    FILE *out = fopen(path.c_str(), "w");
    if (!out) {
        fprintf(stderr, "cannot write job file %s: %s\n", path.c_str(), strerror(errno));
        fflush(stderr);
        _exit(1);
    }
    return out;
}

// Standard output is flushed after each file so that a worker's lines leave
// in whole files rather than in buffer-sized pieces.
static int job_run() {
    Env *env = get_env();
    FILE *out = open_job_output();
    for (int i = 0; i < count(env->d_files); ++i) {
        route_file(at(env->d_files, i), out);
        if (out == stdout) fflush(stdout);
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
            exit(0);
        }
        pids.push_back(pid);
    }
    int failed = 0;
    for (int i = 0; i < jobs; ++i) {
        int status = 0;
        while (waitpid(pids[i], &status, 0) < 0 && errno == EINTR) {}
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

// Reads a whole regular file into text, appending; false on a read error.
static bool append_file(const std::string &path, std::string &text) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT;
    struct stat st;
    if (fstat(fd, &st) == 0 && st.st_size > 0) text.reserve(text.size() + st.st_size);
    char chunk[1 << 16];
    ssize_t n;
    while ((n = read(fd, chunk, sizeof chunk)) > 0) text.append(chunk, n);
    close(fd);
    return n == 0;
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

// The lines are sorted as pointers into one block and written beside the
// final name, which they replace only once complete.
static int write_tags_file(const char *path, std::string &text) {
    if (!text.empty() && text.back() != '\n') text.push_back('\n');
    std::vector<const char *> lines;
    lines.reserve(text.size() / 48 + 1);
    for (size_t at = 0; at < text.size();) {
        lines.push_back(text.data() + at);
        const char *nl = static_cast<const char *>(memchr(text.data() + at, '\n', text.size() - at));
        at = nl - text.data() + 1;
    }
    std::sort(lines.begin(), lines.end(), line_less);

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

    std::string out;
    out.reserve(std::min<size_t>(text.size() + 512, 1 << 20) + 4096);
    int failed = 0;
    for (const char *header : TAGS_HEADER) out += header;
    for (const char *line : lines) {
        const char *nl = strchr(line, '\n');
        out.append(line, nl - line + 1);
        if (out.size() >= (1 << 20)) {
            failed |= write_all(fd, out.data(), out.size());
            out.clear();
        }
    }
    failed |= write_all(fd, out.data(), out.size());
    if (close(fd) != 0) failed = -1;
    if (failed || rename(temp.c_str(), path) != 0) {
        int saved = errno;
        unlink(temp.c_str());
        fprintf(stderr, "file %s: %s\n", path, strerror(saved));
        return -1;
    }
    return 0;
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

// Discovered files that are not regular (directories named like sources,
// FIFOs, devices, dangling links) are passed over in silence; named ones
// with a message. A name with a tab or line feed cannot go into a tag line.
static void drop_unusable(StringArray *files, bool discovered) {
    bool tags = tags_mode(get_env()->d_mode);
    int kept = 0;
    for (int i = 0; i < count(files); ++i) {
        char *path = at(files, i);
        struct stat st;
        bool exists = stat(path, &st) == 0;
        bool keep = true;
        if (tags && strpbrk(path, "\t\n\r")) {
            fprintf(stderr, "file name holds a tab or line feed, passed over: %s\n", path);
            keep = false;
        } else if (exists && !S_ISREG(st.st_mode)) {
            if (!discovered) fprintf(stderr, "not a regular file, passed over: %s\n", path);
            keep = false;
        } else if (!exists && discovered) {
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
        env->d_files = discover_files();
    }
    drop_unusable(env->d_files, discovered);

    int jobs = env->d_jobs;
    if (jobs < 1) {
        long online = sysconf(_SC_NPROCESSORS_ONLN);
        jobs = online > 0 ? (int)online : 1;
    }
    env->d_flags &= ~FL_THREAD;  // only workers write job files
    bool tags = tags_mode(env->d_mode);
    if (tags) make_run_scratch();

    int status = 0;
    if (jobs == 1) job_run();
    else status = fork_jobs(jobs);

    if (tags && status == 0) {
        std::string text;
        bool read_ok = true;
        if (jobs == 1) read_ok = append_file(env->d_tags_tmp, text);
        else
            for (int i = 0; i < jobs && read_ok; ++i) read_ok = append_file(job_file(i), text);
        if (!read_ok) {
            perror("read job output");
            status = -1;
        } else if (write_tags_file(env->d_mode == MODE_MAKE_CTAGS ? "./tags" : "./call_tags", text) != 0) {
            status = -1;
        }
    }
    if (tags) remove_temp_files(jobs);
    if (status != 0) {
        fflush(stdout);
        exit(1);
    }
    return 0;
}
