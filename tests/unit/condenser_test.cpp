#include "condenser.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "env.h"

struct Mark {
    int line, offset;
    bool operator==(const Mark &o) const { return line == o.line && offset == o.offset; }
};
std::ostream &operator<<(std::ostream &os, const Mark &m) { return os << '{' << m.line << ',' << m.offset << '}'; }

struct Condensed {
    std::string text;
    std::vector<Mark> marks;
};

static Condensed condense(const std::string &source) {
    std::vector<char> out(source.size() * 2 + 1);
    std::vector<LineMark> marks(source.size() + 2);
    int n = tt_condense(source.c_str(), (int)source.size(), out.data(), marks.data(), (int)marks.size());
    Condensed result{std::string(out.data(), n), {}};
    for (int k = 1; k < (int)marks.size() && marks[k].d_index == k; ++k)
        result.marks.push_back({marks[k].d_line, marks[k].d_offset});
    return result;
}

struct CondenseCase {
    const char *source, *text;
    std::vector<Mark> marks;  // empty: not checked
};

TEST(Condenser, WorkedExamples) {
    const CondenseCase cases[] = {
        {"int main(int a, char *b)\n{\n  return 0; /* c */\n}\n", "int main (int a, char *b) { return 0; } ",
         {{1, 25}, {2, 37}, {3, 47}}},
        {"\nint x;\n", "int x; ", {{1, 6}}},
        {"#include <a>\n#include <b>\n", "#include <a>\n#include <b>", {{0, 12}}},
        {"#define X(a) \\\n  foo(a)\nint y = X(1);\n", "#define X(a) \\\n foo(a) \nint y = X (1) ; ",
         {{0, 14}, {1, 23}, {2, 36}}},
        {"  #  define  Y 1\nx;", "# define Y 1\nx; ", {}},
        {"x;\n  #define A 1\ny;\n", "x; #define A 1\ny; ", {}},
        {"for (i=0;i<n;i++) { a(b(c)); }", "for (i=0; i<n; i++) { a (b (c) ); } ", {{0, 18}, {0, 27}, {0, 29}}},
        {"if(x)y();else{z();}", "if (x) y (); else{ z (); } ", {}},
        {"((a))", "( (a) )", {}},
        {"a/*x*/b /*/ c */ d // e\nf", "ab d f", {}},
        {"x = 1; // c \\\ny = 2;", "x = 1; y = 2; ", {}},
        {"s = \"a;b{c}\"; c = '\"';", "s = \"a;b{c}\"; c = '\"'; ", {{0, 12}, {0, 21}}},
        {"a = \"x\\\"y\"; b = \"x\\\\\"; c;", "a = \"x\\\"y\"; b = \"x\\\\\"; c; ", {}},
        {"s = @\"a\\\"; t;", "s = @\"a\\\"; t; ", {}},
        {"s = \"ab\\\ncd\";", "s = \"abcd\"; ", {}},
        {"s  =\t\"a \t b\";", "s = \"a \t b\"; ", {}},
        {"}\r\nz;", "} z; ", {{0, 0}, {1, 4}}},
        {"#define A 1\r\nint f(void)\r\n{\r\n}\r\n", "#define A 1\nint f (void) { } ", {{0, 12}, {2, 26}, {3, 29}}},
        {"a\rb;", "a b; ", {}},
        {"x = 1; /* a\nb */ #define Q", "x = 1; #define Q", {}},
        {"{ #x\n}", "{ #x\n} ", {}},
        {"/* unterminated\n x; ", "", {}},
        {"", "", {}},
        {"\n", "", {}},
    };
    for (const CondenseCase &c : cases) {
        Condensed got = condense(c.source);
        EXPECT_EQ(got.text, c.text) << "source: " << c.source;
        if (!c.marks.empty()) {
            EXPECT_EQ(got.marks, c.marks) << "source: " << c.source;
        }
    }
}

// Words, literals and comments of every length up to a few blocks, so that
// their ends fall at every place within the blocks the condenser looks at
// together, condense as short ones do.
TEST(Condenser, LongRunsCondenseAsShortOnes) {
    for (int n = 1; n <= 150; ++n) {
        std::string w(n, 'w');
        w[n / 2] = "x,.-+*&\f"[n % 9];  // punctuation without a rule, a control byte
        Condensed words = condense(w + " " + w + "\t" + w + "(" + w + ");\n");
        EXPECT_EQ(words.text, w + " " + w + " " + w + " (" + w + ") ; ") << n;
        EXPECT_EQ(words.marks, (std::vector<Mark>{{0, 4 * n + 4}})) << n;

        std::string literal(n, 'q');
        literal.insert(n / 2, "'");
        literal.insert(n / 3, "\\\"");  // an escaped quote
        Condensed quoted = condense("s = \"" + literal + "\"; t;");
        EXPECT_EQ(quoted.text, "s = \"" + literal + "\"; t; ") << n;

        std::string comment(n, 'c');
        for (int k = 7; k < n; k += 11) comment[k] = k % 2 ? '\n' : '*';
        int lines = (int)std::count(comment.begin(), comment.end(), '\n');
        std::string source = "a;/*" + comment + "*/\nb;";
        Condensed dropped = condense(source);
        EXPECT_EQ(dropped.text, "a; b; ") << n;
        EXPECT_EQ(dropped.marks, (std::vector<Mark>{{0, 1}, {lines + 1, (int)source.size() - 1}})) << n;
    }
}

// A CR LF file condenses as the same file with LF ends, on the same lines.
TEST(Condenser, CrLfSourceCondensesAsLf) {
    const char *lf = "#define X(a) \\\n  foo(a)\nint f(void)\n{\n  s = \"a\\\nb\";\n}\n";
    std::string crlf;
    for (const char *p = lf; *p; ++p) {
        if (*p == '\n') crlf += '\r';
        crlf += *p;
    }
    Condensed a = condense(lf), b = condense(crlf);
    EXPECT_EQ(a.text, b.text);
    ASSERT_EQ(a.marks.size(), b.marks.size());
    for (size_t i = 0; i < a.marks.size(); ++i) EXPECT_EQ(a.marks[i].line, b.marks[i].line);
}

TEST(Condenser, LineMapNeverOverruns) {
    std::string semis(100000, ';');
    Condensed got = condense(semis);
    EXPECT_EQ(got.marks.size(), semis.size());
    std::string braces(5000, '{');
    EXPECT_EQ(condense(braces).marks.size(), braces.size());
}

static std::string temp_file(const std::string &body) {
    char path[] = "/tmp/zk_cond_XXXXXX";
    int fd = mkstemp(path);
    EXPECT_EQ(write(fd, body.data(), body.size()), (ssize_t)body.size());
    close(fd);
    return path;
}

// A file filling whole pages still has a readable zero byte after it.
TEST(FileBuffer, PageSizedFileEndsInZero) {
    long page = sysconf(_SC_PAGESIZE);
    std::string body(page * 2, 'x');
    body[page * 2 - 1] = ';';
    std::string path = temp_file(body);
    FileBuffer *buffer = file_buffer_new(path.c_str());
    ASSERT_NE(file_buffer_condense(buffer), nullptr);
    EXPECT_EQ(buffer->d_size, page * 2);
    EXPECT_EQ(buffer->d_data[page * 2], 0);
    EXPECT_EQ(buffer->d_text_len, (int)body.size() + 1);
    file_buffer_free(buffer);
    // Large sources are mapped, with the same zero after them.
    int fd = 0, size = 0, map_len = 0;
    char *mapped = map_file(path.c_str(), &fd, &size, &map_len);
    ASSERT_NE(mapped, nullptr);
    EXPECT_EQ(size, page * 2);
    EXPECT_EQ(mapped[page * 2], 0);
    munmap(mapped, map_len);
    close(fd);
    unlink(path.c_str());
}

TEST(FileBuffer, EmptyFileAndSymlinkLoad) {
    std::string empty = temp_file("");
    FileBuffer *buffer = file_buffer_new(empty.c_str());
    ASSERT_NE(file_buffer_condense(buffer), nullptr);
    EXPECT_EQ(buffer->d_text_len, 0);
    file_buffer_free(buffer);

    std::string target = temp_file(std::string(3000, 'a') + ";");
    std::string link = target + ".lnk.c";
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
    buffer = file_buffer_new(link.c_str());
    ASSERT_NE(file_buffer_condense(buffer), nullptr);
    EXPECT_EQ(buffer->d_size, 3001);
    file_buffer_free(buffer);
    unlink(link.c_str());
    unlink(target.c_str());
    unlink(empty.c_str());
}

TEST(FileBuffer, MissingFileFails) {
    init_env();
    FileBuffer *buffer = file_buffer_new("/nonexistent/zk.c");
    testing::internal::CaptureStderr();
    EXPECT_EQ(file_buffer_condense(buffer), nullptr);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.rfind("can't open/mmap file /nonexistent/zk.c\nopen/mmap: ", 0), 0u) << err;
    file_buffer_free(buffer);
}
