#include "search.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "env.h"

namespace {

struct TempDir {
    std::string d_path;
    TempDir() {
        char path[] = "/tmp/zk_search_XXXXXX";
        d_path = mkdtemp(path);
    }
    ~TempDir() { std::system(("rm -rf '" + d_path + "'").c_str()); }
    std::string write(const std::string &name, const std::string &body) const {
        std::string path = d_path + "/" + name;
        FILE *f = fopen(path.c_str(), "wb");
        fwrite(body.data(), 1, body.size(), f);
        fclose(f);
        return path;
    }
};

Env *fresh_env() {
    if (!get_env()) init_env();
    Env *env = get_env();
    env->d_flags = 0;
    return env;
}

std::string grep_output(const std::string &path, const char *pattern, bool tag_style = false) {
    Env *env = fresh_env();
    env->d_grep_pattern = pattern;
    if (tag_style) env->d_flags |= FL_TAG_STYLE;
    testing::internal::CaptureStdout();
    grep_file(path.c_str());
    std::string out = testing::internal::GetCapturedStdout();
    env->d_flags = 0;
    return out;
}

// The text search written the plain way, a byte at a time: what the fast
// scan must print for patterns without a line feed.
std::string reference_grep(const std::string &path, const std::string &bytes, const std::string &pattern) {
    std::string out;
    size_t n = bytes.size(), m = pattern.size();
    if (n < m) return out;
    long line = 1;
    size_t line_start = 0;
    for (size_t pos = 0; pos + m <= n;) {
        if (bytes[pos] == '\n') {
            ++line;
            line_start = pos + 1;
        }
        if (bytes.compare(pos, m, pattern) == 0) {
            size_t stop = bytes.find_first_of(std::string("\r\n\0", 3), line_start);
            out += path + ":" + std::to_string(line) + ": " +
                   bytes.substr(line_start, (stop == std::string::npos ? n : stop) - line_start) + "\n";
            pos += m;
        } else {
            ++pos;
        }
    }
    return out;
}

}  // namespace

TEST(Grep, PrintsEveryMatchWithItsLine) {
    TempDir dir;
    struct Case {
        std::string body;
        const char *pattern;
        std::string want;  // "F" stands for the path
    } cases[] = {
        {"x\nab kmalloc(", "kmalloc(", "F:2: ab kmalloc(\n"},           // ends at the last byte
        {"kmalloc(", "kmalloc(", "F:1: kmalloc(\n"},                     // file is the pattern
        {"kmalloc", "kmalloc(", ""},                                     // shorter than it
        {"", "a", ""},
        {"a kmalloc( b kmalloc(\n", "kmalloc(", "F:1: a kmalloc( b kmalloc(\nF:1: a kmalloc( b kmalloc(\n"},
        {"one\r\ntwo hit\r\n", "hit", "F:2: two hit\n"},                 // no CR, no LF
        {"aaaa\n", "aa", "F:1: aaaa\nF:1: aaaa\n"},                       // matches do not overlap
        {"a\rb hit\n", "hit", "F:1: a\n"},                               // text ends at the first CR
        {std::string("ab\0cd hit\n", 10), "hit", "F:1: ab\n"},           // ... or at a zero byte
        {"x\ny\nz\n", "", "F:1: x\nF:2: y\nF:3: z\n"},                    // empty text: every line once
        {"x\n\ny", "", "F:1: x\nF:2: \nF:3: y\n"},
        // a pattern spanning lines: the lines after it keep their numbers
        {"a\nb\nc\nb\n", "a\nb", "F:1: a\n"},
        {"a\nb\nc x\nb\n", "\nb", "F:2: b\nF:4: b\n"},
    };
    for (const Case &c : cases) {
        std::string path = dir.write("f.txt", c.body);
        std::string want = c.want;
        for (size_t at; (at = want.find("F:")) != std::string::npos;) want.replace(at, 1, path);
        EXPECT_EQ(grep_output(path, c.pattern), want) << "pattern [" << c.pattern << "] body [" << c.body << "]";
    }
    std::string after = dir.write("g.txt", "a\nb\nc\nb\n");
    EXPECT_EQ(grep_output(after, "\nb\nc\nb"), after + ":2: b\n");
    EXPECT_EQ(grep_output(dir.write("h.txt", "x a\nb q\ny a\nb q\n"), "a\nb"),
              dir.d_path + "/h.txt:1: x a\n" + dir.d_path + "/h.txt:3: y a\n");
}

TEST(Grep, TagStyle) {
    TempDir dir;
    std::string path = dir.write("f.c", "p = kmalloc(1);\n\nq = kmalloc(2); kmalloc(3);\n");
    EXPECT_EQ(grep_output(path, "kmalloc(", true),
              "kmalloc(\t" + path + "\t1\n" + "kmalloc(\t" + path + "\t3\n" + "kmalloc(\t" + path + "\t3\n");
}

// The scan waits on the pattern's rarest byte and hands over to memmem where
// that byte is common; both roads must give what a plain scan gives.
TEST(Grep, AgreesWithPlainScan) {
    TempDir dir;
    std::mt19937 random(7);
    const char alphabet[] = {'a', 'b', 'z', 'z', 'z', '\n', '\r', '\0'};
    const char pattern_bytes[] = {'a', 'b', 'z'};
    for (int round = 0; round < 800; ++round) {
        size_t length = random() % (round % 5 == 0 ? 5000 : 200);
        std::string body;
        for (size_t i = 0; i < length; ++i) body += alphabet[random() % sizeof alphabet];
        std::string pattern;
        for (size_t i = 0, m = 1 + random() % 4; i < m; ++i) pattern += pattern_bytes[random() % 3];
        std::string path = dir.write("r.txt", body);
        ASSERT_EQ(grep_output(path, pattern.c_str()), reference_grep(path, body, pattern))
            << "round " << round << " pattern " << pattern;
    }
}

TEST(Grep, UnreadableFileIsReported) {
    TempDir dir;
    fresh_env()->d_grep_pattern = "x";
    struct Case {
        std::string path;
        const char *error;
    } cases[] = {
        {dir.d_path + "/missing", "No such file or directory"},
        {dir.d_path, "Is a directory"},
    };
    for (const Case &c : cases) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(grep_file(c.path.c_str()), -1);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), std::string("DFILE: ") + c.error + "\n");
    }
}

// A result line longer than one atomic write still comes out whole.
TEST(Grep, LongLinesComeOutWhole) {
    TempDir dir;
    std::string long_line = std::string(10000, 'x') + " hit";
    std::string body;
    for (int i = 0; i < 30; ++i) body += (i % 3 == 0 ? long_line : "short hit") + std::string("\n");
    std::string path = dir.write("long.txt", body);
    EXPECT_EQ(grep_output(path, "hit"), reference_grep(path, body, "hit"));
}

TEST(ReadWholeFile, SizedFromTheOpenedFile) {
    TempDir dir;
    std::string body(70000, 'q');
    std::string target = dir.write("target.c", body);
    std::string link = dir.d_path + "/link.c";
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
    size_t length = 1;
    char *bytes = read_whole_file(link.c_str(), &length);
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(length, body.size());
    EXPECT_EQ(std::string(bytes, length), body);
    EXPECT_EQ(bytes[length], 0);
    free(bytes);

    bytes = read_whole_file(dir.write("empty", "").c_str(), &length);
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(length, 0u);
    free(bytes);
}

// Special files have no end to read to: refused at once, never waited on.
TEST(ReadWholeFile, OnlyRegularFiles) {
    TempDir dir;
    std::string fifo = dir.d_path + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::string zero_link = dir.d_path + "/zero.c";
    ASSERT_EQ(symlink("/dev/zero", zero_link.c_str()), 0);
    struct Case {
        std::string path;
        int error;
    } cases[] = {{fifo, EINVAL}, {zero_link, EINVAL}, {dir.d_path, EISDIR}, {dir.d_path + "/none", ENOENT}};
    for (const Case &c : cases) {
        size_t length = 7;
        errno = 0;
        EXPECT_EQ(read_whole_file(c.path.c_str(), &length), nullptr) << c.path;
        EXPECT_EQ(errno, c.error) << c.path;
        EXPECT_EQ(length, 0u);
    }
    EXPECT_EQ(read_whole_file(nullptr, nullptr), nullptr);
}

TEST(CopyLine, UpToTheNextLineFeedOrTheLastByte) {
    const char data[] = "ab\ncd";
    const char *last = data + 4;
    struct Case {
        const char *start;
        const char *want;
    } cases[] = {{data, "ab\n"}, {data + 1, "b\n"}, {data + 2, "\n"}, {data + 3, "cd"}, {data + 4, "d"}};
    for (const Case &c : cases) {
        char *line = copy_line(c.start, last);
        ASSERT_NE(line, nullptr);
        EXPECT_STREQ(line, c.want);
        free(line);
    }
    EXPECT_EQ(copy_line(nullptr, last), nullptr);
}

namespace {

std::string cgrep_output(const std::string &path, const char *expression, bool tag_style, int *status) {
    Env *env = fresh_env();
    env->d_cgrep_expr = expression;
    if (tag_style) env->d_flags |= FL_TAG_STYLE;
    char *text = nullptr;
    size_t size = 0;
    FILE *out = open_memstream(&text, &size);
    *status = cgrep_file(path.c_str(), out);
    fclose(out);
    std::string result(text, size);
    free(text);
    env->d_flags = 0;
    return result;
}

}  // namespace

TEST(Cgrep, StatementsHoldingTheFragmentsInOrder) {
    TempDir dir;
    std::string path = dir.write("a.c",
                                 "int f(void) {\n"                           // 1
                                 "  p = malloc(sizeof(int)); /* malloc */\n"  // 2
                                 "  q = sizeof(x) + malloc(3);\n"            // 3
                                 "  r = malloc(n *\n"                        // 4
                                 "      sizeof(long));\n"                    // 5
                                 "  /* malloc sizeof */ s = 1;\n"            // 6
                                 "  t = \"malloc sizeof\";\n"                // 7
                                 "  u = g(n,\n"                              // 8
                                 "        malloc(\n"                         // 9
                                 "          k), sizeof m);\n"                // 10
                                 "}\n");
    struct Case {
        const char *expression;
        bool tag_style;
        std::string want;
    } cases[] = {
        {"malloc,sizeof", false,
         path + " +2:   p = malloc(sizeof(int)); /* malloc */\n" + path + " +4:   r = malloc(n *\n" + path +
             " +7:   t = \"malloc sizeof\";\n" + path + " +9:         malloc(\n"},
        {"malloc,sizeof", true,
         "malloc,sizeof\t" + path + "\t+2\n" + "malloc,sizeof\t" + path + "\t+4\n" + "malloc,sizeof\t" + path +
             "\t+7\n" + "malloc,sizeof\t" + path + "\t+9\n"},
        {"sizeof,malloc", true, "sizeof,malloc\t" + path + "\t+3\n"},
        {"sizeof,long", false, path + " +5:       sizeof(long));\n"},
        {"malloc(", false, ""},  // the condensed text reads "malloc (3)"
        {"nothing", false, ""},
    };
    for (const Case &c : cases) {
        int status = -9;
        EXPECT_EQ(cgrep_output(path, c.expression, c.tag_style, &status), c.want) << c.expression;
        EXPECT_EQ(status, 0);
    }
    EXPECT_EQ(get_env()->d_stmt_index, 8);  // left at the file's statement count
}

// A match on a last line without a line feed still ends its output line.
TEST(Cgrep, LastLineWithoutLineFeed) {
    TempDir dir;
    std::string path = dir.write("d.c", "a = malloc(sizeof b);\nc = malloc(sizeof d);");
    int status = -9;
    EXPECT_EQ(cgrep_output(path, "malloc,sizeof", false, &status),
              path + " +1: a = malloc(sizeof b);\n" + path + " +2: c = malloc(sizeof d);\n");
}

TEST(Cgrep, EmptyExpressionMatchesEveryStatement) {
    TempDir dir;
    std::string path = dir.write("b.c", "a;\nb;\n\nc;\n");
    int status = -9;
    EXPECT_EQ(cgrep_output(path, "", true, &status), "\t" + path + "\t+1\n\t" + path + "\t+2\n\t" + path + "\t+4\n");
    EXPECT_EQ(status, 0);
}

TEST(Cgrep, Failures) {
    TempDir dir;
    int status = 0;
    testing::internal::CaptureStderr();
    EXPECT_EQ(cgrep_output(dir.d_path + "/none.c", "x", false, &status), "");
    EXPECT_EQ(status, -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr().rfind("can't open/mmap file " + dir.d_path + "/none.c\n", 0), 0u);
    EXPECT_EQ(cgrep_file(dir.write("c.c", "x;").c_str(), nullptr), -1);
    get_env()->d_cgrep_expr = nullptr;
    EXPECT_EQ(cgrep_file(dir.write("c.c", "x;").c_str(), stdout), -2);
}
