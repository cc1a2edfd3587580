#include "prompt.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "env.h"
#include "string_array.h"
#include "tags_program.h"

void interactive_tags() {
    char line[512];
    for (;;) {
        fputs("Tag: ", stdout);
        fflush(stdout);
        if (!fgets(line, 511, stdin)) return;
        cut_line(line);
        StringArray *names = split(line, " ");
        print_tags(names, nullptr);
        free_strings(names);
        string_array_delete(names);
    }
}

struct EditorOption {
    const char *d_option;
    const char *d_editor;
};

static const EditorOption g_editors[] = {
    {"-g", "gvim"},
    {"--gvim", "gvim"},
    {"--emacs", "emacs"},
    {"--nano", "nano"},
};

bool select_editor(const char *option) {
    if (!option) return false;
    for (const EditorOption &entry : g_editors) {
        if (strcmp(option, entry.d_option) == 0) {
            Env *env = get_env();
            free(env->d_editor);
            env->d_editor = strdup(entry.d_editor);
            return env->d_editor != nullptr;
        }
    }
    return false;
}

// The file that receives the run's output, made by the first launch of the
// process tree; a nested launch finds it set (inherited at fork).
static std::string g_output_path;
// Where standard output pointed before it went into the file: the editors
// get the terminal, not the file.
static int g_terminal_fd = -1;

// The status to end with after waiting for pid: its exit status, 1 when it
// ended otherwise or cannot be waited for.
static int wait_status(pid_t pid) {
    int status;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return 1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

// Runs the editor on the file, without a shell; its exit status.
static int run_editor(const char *editor, const char *path) {
    fflush(stdout);
    pid_t pid = fork();
    if (pid < 0) {
        perror("fork");
        return 1;
    }
    if (pid == 0) {
        if (g_terminal_fd >= 0) dup2(g_terminal_fd, STDOUT_FILENO);
        execlp(editor, editor, path, static_cast<char *>(nullptr));
        perror(editor);
        _exit(127);
    }
    return wait_status(pid);
}

static int create_output_file() {
    const char *dir = getenv("TMPDIR");
    if (!dir || !*dir) dir = "/tmp";
    std::string path = std::string(dir) + "/.zephyr_elk.XXXXXX.cpp";
    int fd = mkstemps(&path[0], 4);
    if (fd < 0) return -1;
    fchmod(fd, 0600);
    g_output_path = path;
    return fd;
}

void launch_editor() {
    Env *env = get_env();
    if (!env->d_editor) return;
    // Nothing buffered may be written twice, once by each process.
    fflush(stdout);
    bool nested = !g_output_path.empty();
    int fd = -1;
    if (!nested) {
        fd = create_output_file();
        if (fd < 0) {
            perror("open");
            exit(1);
        }
    }
    pid_t pid = fork();
    if (pid < 0) {
        if (!nested) {
            close(fd);
            unlink(g_output_path.c_str());
            g_output_path.clear();
        }
        return;
    }
    if (pid == 0) {
        if (!nested) {
            g_terminal_fd = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
            if (dup2(fd, STDOUT_FILENO) < 0) {
                perror("open");
                _exit(1);
            }
            close(fd);
        }
        return;
    }
    if (fd >= 0) close(fd);
    int status = wait_status(pid);
    if (status != 0) exit(status);
    exit(run_editor(env->d_editor, g_output_path.c_str()));
}
