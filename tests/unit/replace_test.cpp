#include "replace.h"

#include <gtest/gtest.h>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <string>

namespace {

struct TempDir {
    std::string d_path;
    TempDir() {
        char path[] = "/tmp/zk_replace_XXXXXX";
        d_path = mkdtemp(path);
    }
    ~TempDir() { std::system(("rm -rf '" + d_path + "'").c_str()); }
    std::string write(const std::string &name, const std::string &body, mode_t mode = 0644) const {
        std::string path = d_path + "/" + name;
        std::ofstream(path, std::ios::binary) << body;
        chmod(path.c_str(), mode);
        return path;
    }
    std::set<std::string> names() const {
        std::set<std::string> result;
        DIR *dir = opendir(d_path.c_str());
        while (dirent *entry = readdir(dir))
            if (entry->d_name[0] != '.' || (strcmp(entry->d_name, ".") && strcmp(entry->d_name, "..")))
                result.insert(entry->d_name);
        closedir(dir);
        return result;
    }
};

std::string read_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

int replaced(const std::string &line, const char *old_text, const char *new_text, std::string *result) {
    TextBuffer out = {nullptr, 0, 0};
    int status = replace_in_line(line.data(), line.size(), old_text, new_text, &out);
    *result = std::string(out.d_data ? out.d_data : "", out.d_length);
    free(out.d_data);
    return status;
}

// Replacement by restarting the search from the start of the line; false
// when it has not ended after a number of steps.
bool restart_from_start(std::string line, const std::string &old_text, const std::string &new_text,
                        std::string *result) {
    for (int steps = 0; steps < 2000; ++steps) {
        size_t at = line.find(old_text);
        if (at == std::string::npos) {
            *result = line;
            return true;
        }
        line.replace(at, old_text.size(), new_text);
        if (line.size() > 4000) return false;
    }
    return false;
}

}  // namespace

TEST(ReplaceInLine, Cases) {
    std::string x510(510, 'x');
    struct Case {
        std::string line;
        const char *old_text, *new_text;
        std::string want;
    } cases[] = {
        {"foo x foofoo afoob\n", "foo", "bar", "bar x barbar abarb\n"},
        {"aXa\n", "a", "b,c", "b,cXb,c\n"},
        {"aab\n", "ab", "b", "b\n"},      // an occurrence made by a replacement is replaced too
        {"aaaa\n", "aa", "a", "a\n"},
        {"aab\n", "ab", "ba", "baa\n"},
        {"abcb\n", "b", "", "ac\n"},
        {"foo foofoo\n", "foo", "xfoo", "xfoo xfooxfoo\n"},  // new holds old: one pass
        {"aXa\n", "a", "aa", "aaXaa\n"},
        {"a;b;\n", ";", ";\n", "a;\nb;\n\n"},
        {"same\n", "same", "same", "same\n"},
        {"none\n", "zz", "y", "none\n"},
        {x510 + "foo" + x510 + "foo\n", "foo", "b", x510 + "b" + x510 + "b\n"},  // no cut at 511 bytes
        {x510 + x510 + "b\n", "xb", "b", "b\n"},
    };
    for (const Case &c : cases) {
        std::string got;
        EXPECT_EQ(replaced(c.line, c.old_text, c.new_text, &got), 0);
        EXPECT_EQ(got, c.want) << c.old_text << "," << c.new_text << " on " << c.line.substr(0, 40);
    }
}

// Undoing an occurrence as it is written gives what restarting from the
// start of the line gives, whenever the latter ends.
TEST(ReplaceInLine, AgreesWithRestartFromStart) {
    std::mt19937 random(11);
    auto word = [&](size_t min, size_t max) {
        std::string text;
        for (size_t i = 0, n = min + random() % (max - min + 1); i < n; ++i) text += "ab"[random() % 2];
        return text;
    };
    int compared = 0;
    for (int round = 0; round < 4000; ++round) {
        std::string old_text = word(1, 3), new_text = word(0, 4), line = word(0, 30);
        if (new_text.find(old_text) != std::string::npos) continue;
        std::string want, got;
        if (!restart_from_start(line, old_text, new_text, &want)) continue;
        ASSERT_EQ(replaced(line, old_text.c_str(), new_text.c_str(), &got), 0);
        ASSERT_EQ(got, want) << old_text << "," << new_text << " on " << line;
        ++compared;
    }
    EXPECT_GT(compared, 1000);
}

TEST(ReplaceInLine, EndlessReplacementIsRefused) {
    std::string got;
    errno = 0;
    EXPECT_EQ(replaced("aaba\n", "aba", "baab", &got), -1);
    EXPECT_EQ(errno, ELOOP);
}

TEST(ReplaceInFile, KeepsPermissionBitsAndLeavesNoTemporary) {
    TempDir dir;
    const mode_t modes[] = {0640, 0755, 0600, 0444};
    for (mode_t mode : modes) {
        std::string path = dir.write("f.c", "foo(foo);\nbar\n", mode);
        ASSERT_EQ(replace_in_file(path.c_str(), "foo", "zap"), 0);
        EXPECT_EQ(read_file(path), "zap(zap);\nbar\n");
        struct stat st;
        ASSERT_EQ(stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, mode);
        EXPECT_EQ(dir.names(), std::set<std::string>{"f.c"});
    }
}

// File names go to no shell: quotes, blanks and $( ) are just bytes.
TEST(ReplaceInFile, NamesAreNeverInterpreted) {
    TempDir dir;
    const char *name = "it's a $(touch pwned); `touch pwned2` >x.c";
    std::string path = dir.write(name, "old\n");
    ASSERT_EQ(replace_in_file(path.c_str(), "old", "new"), 0);
    EXPECT_EQ(read_file(path), "new\n");
    EXPECT_EQ(dir.names(), std::set<std::string>{name});
}

TEST(ReplaceInFile, FailuresLeaveTheOriginalWhole) {
    TempDir dir;
    std::string body = "aaba\nkeep me\n";
    std::string path = dir.write("loop.c", body);
    testing::internal::CaptureStderr();
    EXPECT_EQ(replace_in_file(path.c_str(), "aba", "baab"), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "replacement does not end in " + path + ", left as it was\n");
    EXPECT_EQ(read_file(path), body);

    std::string fifo = dir.d_path + "/fifo.c";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(replace_in_file(fifo.c_str(), "a", "b"), -1);
    struct stat st;
    ASSERT_EQ(lstat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));

    EXPECT_EQ(replace_in_file((dir.d_path + "/missing.c").c_str(), "a", "b"), -1);
    EXPECT_EQ(dir.names(), (std::set<std::string>{"loop.c", "fifo.c"}));
}

// The disk filling up half way (here: a file size limit) loses nothing.
TEST(ReplaceInFile, WriteFailureLeavesTheOriginalWhole) {
    TempDir dir;
    std::string body;
    for (int i = 0; i < 1000; ++i) body += "a\n";
    std::string path = dir.write("big.c", body, 0640);
    std::string errors = dir.d_path + "/errors";
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        int fd = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(fd, 2);
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = {3000, 3000};
        setrlimit(RLIMIT_FSIZE, &limit);
        _exit(replace_in_file(path.c_str(), "a", "aaaa") == -1 ? 0 : 1);
    }
    int status = -1;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(read_file(path), body);
    EXPECT_EQ(read_file(errors), "cannot rewrite " + path + ", left as it was: File too large\n");
    EXPECT_EQ(dir.names(), (std::set<std::string>{"big.c", "errors"}));
}
