#include "statement.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "classify.h"
#include "condenser.h"
#include "env.h"

namespace {

struct Seen {
    std::string d_text;
    char d_end;
    int d_depth;
    int d_index;
};

Env *env() {
    if (!get_env()) init_env();
    return get_env();
}

std::string write_temp(const std::string &content) {
    std::string path = testing::TempDir() + "stmt_XXXXXX";
    int fd = mkstemp(&path[0]);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(write(fd, content.data(), content.size()), (ssize_t)content.size());
    close(fd);
    return path;
}

// Splits a writable copy of text until the end, as a caller of the splitter does.
std::vector<std::pair<std::string, char>> split_all(const std::string &text) {
    std::vector<char> copy(text.begin(), text.end());
    copy.push_back(0);
    std::vector<std::pair<std::string, char>> out;
    char *pos = copy.data(), *stmt = nullptr;
    for (char end; (end = split_statement(&pos, &stmt)) != 0;) out.emplace_back(stmt, end);
    // Once at the end, the splitter stays there.
    EXPECT_EQ(split_statement(&pos, &stmt), 0);
    EXPECT_EQ(split_statement(&pos, &stmt), 0);
    return out;
}

// Walks a source file with the cursor; on each statement checks that its
// line-map entry points at the very source byte that ended it.
std::vector<Seen> walk_file(const std::string &source) {
    env();
    std::string path = write_temp(source);
    StatementCursor cursor;
    cursor_init(&cursor);
    EXPECT_EQ(cursor_rewind(&cursor), -1);
    EXPECT_EQ(cursor_open(&cursor, path.c_str()), 0);
    EXPECT_EQ(cursor_rewind(&cursor), 0);
    std::vector<Seen> seen;
    while (cursor_next(&cursor)) {
        int k = env()->d_stmt_index;
        seen.push_back({cursor_statement(&cursor), cursor.d_end, cursor.d_brace_depth, k});
        const LineMark &mark = cursor.d_buffer->d_marks[k];
        EXPECT_EQ(mark.d_index, k);
        EXPECT_LT(mark.d_offset, (int)source.size());
        if (mark.d_offset < (int)source.size()) {
            EXPECT_EQ(source[mark.d_offset], cursor.d_end)
                << "statement " << k << " \"" << cursor_statement(&cursor) << "\" out of step";
            int line = 0;
            for (int i = 0; i < mark.d_offset; ++i) line += source[i] == '\n';
            EXPECT_EQ(mark.d_line, line) << "statement " << k;
        }
    }
    EXPECT_EQ(cursor.d_end, 0);
    cursor_close(&cursor);
    EXPECT_EQ(cursor.d_buffer, nullptr);
    unlink(path.c_str());
    return seen;
}

TEST(Statement, WalkOfAFunction) {
    std::vector<Seen> seen = walk_file("int main(int a, char *b)\n{\n  return 0; /* c */\n}\n");
    std::vector<Seen> want = {
        {"int main (int a, char *b) ", '{', 0, 1},
        {"return 0", ';', 1, 2},
        {"", '}', 1, 3},
    };
    ASSERT_EQ(seen.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(seen[i].d_text, want[i].d_text) << i;
        EXPECT_EQ(seen[i].d_end, want[i].d_end) << i;
        EXPECT_EQ(seen[i].d_depth, want[i].d_depth) << i;
        EXPECT_EQ(seen[i].d_index, want[i].d_index) << i;
    }
    EXPECT_EQ(env()->d_stmt_index, 3);  // the end does not advance it
}

TEST(Statement, WalkWithDirectivesAndAContinuedDefine) {
    std::vector<Seen> seen =
        walk_file("#include <a>\nstruct s { int a; } v; void f (void);\n#define X 1 \\\n 2\nx;\n");
    std::vector<Seen> want = {
        {"#include <a>", '\n', 0, 1}, {"struct s ", '{', 0, 2},    {"int a", ';', 1, 3},
        {"", '}', 1, 4},              {"v", ';', 0, 5},            {"void f (void) ", ';', 0, 6},
        {"", '\n', 0, 7},             {"#define X 1 \\", '\n', 0, 8}, {" 2", '\n', 0, 9},
        {"x", ';', 0, 10},
    };
    ASSERT_EQ(seen.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(seen[i].d_text, want[i].d_text) << i;
        EXPECT_EQ(seen[i].d_end, want[i].d_end) << i;
        EXPECT_EQ(seen[i].d_depth, want[i].d_depth) << i;
        EXPECT_EQ(seen[i].d_index, want[i].d_index) << i;
    }
}

TEST(Statement, StaysInStepWithTheLineMapOverRealCode) {
    const char *source =
        "#include <stdio.h>\n"
        "#define SWAP(a, b) do { \\\n"
        "    int t = (a); (a) = (b); (b) = t; \\\n"
        "  } while (0)\n"
        "#define STR \"a;b{c}\"\n"
        "/* a comment with ; { and } */\n"
        "static const char *names[] = { \"x;y\", \"{\", \"}\", \"\\\"};\", \"\\\\\" };\n"
        "struct point { int x, y; };\n"
        "typedef struct { char c; } ch_t;\n"
        "int f(int a, int b)\r\n"
        "{\r\n"
        "    char q = ';', br = '{', cl = '}', sq = '\\'', bs = '\\\\';\n"
        "    if (a > b) { SWAP(a, b); } else { a = (b ? 1 : 2); }\n"
        "    for (int i = 0; i < a; i++) { b += i; } // ; in parentheses\n"
        "#ifdef DEBUG\n"
        "    printf(\"%d;%d}\\n\", a,\n"
        "           b);\n"
        "#endif\n"
        "    return a + b;\n"
        "}\n"
        "namespace N { class C { public: int g() { return 1; } }; }\n"
        "  # define EMPTY { }\n"
        "int last;\n";
    std::vector<Seen> seen = walk_file(source);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back().d_text, "int last");
    // The depth comes back to 0 once every block has closed.
    EXPECT_EQ(seen.back().d_depth, 0);
    int functions = 0;
    for (const Seen &s : seen)
        if (s.d_depth == 0 && classify_statement(s.d_text.c_str(), s.d_end) == STMT_FUNCTION) ++functions;
    EXPECT_EQ(functions, 1);
}

TEST(Statement, SplitterCases) {
    struct {
        const char *d_text;
        std::vector<std::pair<std::string, char>> d_want;
    } cases[] = {
        {"for (i=0; i<n; i++) { ", {{"for (i=0; i<n; i++) ", '{'}}},
        {"s = \"a;b{c}\"; c = ';'; ", {{"s = \"a;b{c}\"", ';'}, {"c = ';'", ';'}}},
        // Two backslashes close the literal; one does not.
        {"s = \"a\\\\\"; t; ", {{"s = \"a\\\\\"", ';'}, {"t", ';'}}},
        {"s = \"a\\\"; t; ", {}},
        {"c = '\\''; d; ", {{"c = '\\''", ';'}, {"d", ';'}}},
        {"no end at all", {}},
        {"", {}},
        {"x;", {{"x", ';'}}},  // no blank after the end: the text is not left
        {"f (a; b) ; g (c) ;", {{"f (a; b) ", ';'}, {"g (c) ", ';'}}},
        {"x) ; y;", {{"x) ", ';'}, {"y", ';'}}},  // stray ')' keeps the depth at 0
        {"f ( { } ", {{"f ( ", '{'}, {"", '}'}}},  // braces end inside parentheses
        {"#if A\n#endif\nx; ", {{"#if A", '\n'}, {"#endif", '\n'}, {"x", ';'}}},
        {"a;\\", {{"a", ';'}}},
        {"'unclosed ; { }", {}},
    };
    for (const auto &c : cases) EXPECT_EQ(split_all(c.d_text), c.d_want) << c.d_text;
}

// Statements whose ends fall at every place within the blocks of sixteen
// bytes the splitter looks at together.
TEST(Statement, LongStatementsSplitAsShortOnes) {
    for (int n = 0; n < 70; ++n) {
        std::string head = std::string(n, 'x') + " (" + std::string(n, 'y') + "; '" + std::string(n, 'z') + "') ";
        std::string next = std::string(n + 1, 'w') + " ";
        EXPECT_EQ(split_all(head + "; " + next + "{ "),
                  (std::vector<std::pair<std::string, char>>{{head, ';'}, {next, '{'}}))
            << n;
    }
}

TEST(Statement, BraceDepthNeverBelowZero) {
    std::vector<Seen> seen = walk_file("} } x; { y; } } z;\n");
    std::vector<int> depths;
    for (const Seen &s : seen) depths.push_back(s.d_depth);
    EXPECT_EQ(depths, (std::vector<int>{0, 0, 0, 0, 1, 1, 0, 0}));
}

TEST(Statement, NoStatementWithoutAnEnd) {
    std::vector<Seen> seen = walk_file("int x\n");
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(env()->d_stmt_index, 0);
}

TEST(Statement, OpenFailureLeavesNoBuffer) {
    env();
    StatementCursor cursor;
    cursor_init(&cursor);
    EXPECT_EQ(cursor_open(&cursor, nullptr), -1);
    EXPECT_EQ(cursor.d_buffer, nullptr);
    testing::internal::CaptureStderr();
    EXPECT_EQ(cursor_open(&cursor, "/nonexistent/zk/file.c"), -1);
    EXPECT_EQ(cursor_open(&cursor, testing::TempDir().c_str()), -1);  // a directory
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(cursor.d_buffer, nullptr);
    EXPECT_EQ(cursor_rewind(&cursor), -1);
    EXPECT_EQ(cursor_next(&cursor), nullptr);
    cursor_close(&cursor);
}

TEST(Statement, CursorClassifiesTheCurrentStatement) {
    env();
    std::string path = write_temp("struct s { int a; };\nint main(void) { f(1); }\n");
    StatementCursor cursor;
    cursor_init(&cursor);
    ASSERT_EQ(cursor_open(&cursor, path.c_str()), 0);
    ASSERT_EQ(cursor_rewind(&cursor), 0);
    std::vector<int> classes;
    while (cursor_next(&cursor)) classes.push_back(cursor_classify(&cursor));
    EXPECT_EQ(classes, (std::vector<int>{STMT_STRUCT, STMT_VARIABLE, STMT_OTHER, STMT_OTHER, STMT_FUNCTION,
                                         STMT_CALL, STMT_OTHER}));
    EXPECT_EQ(cursor_next(&cursor), nullptr);  // stays exhausted
    cursor_close(&cursor);
    unlink(path.c_str());
}

}  // namespace
