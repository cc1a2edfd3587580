#include "tags_program.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

#include "env.h"

namespace {

std::string write_temp(const std::string &content) {
    std::string path = testing::TempDir() + "blocks_XXXXXX";
    int fd = mkstemp(&path[0]);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(write(fd, content.data(), content.size()), (ssize_t)content.size());
    close(fd);
    return path;
}

std::string read_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

const char SOURCE[] =
    "static int\n"                       // 1
    "clamp (int v)\n"                    // 2
    "{\n"                                // 3
    "\treturn v; /* } */\n"              // 4
    "}\n"                                // 5
    "int proto(void);\n"                 // 6
    "struct point {\n"                   // 7
    "\tint x, y;\n"                      // 8
    "};\n"                               // 9
    "#define TWO(a) \\\n"                // 10
    "\t((a) + \\  \t\n"                  // 11
    "\t(a))\n"                           // 12
    "int after;\n"                       // 13
    "void f(void) { char c = '}'; const char *s = \"\\\"}\"; // }\n"  // 14
    "}\n"                                // 15
    "int kr(a)\n"                        // 16
    "int a;\n"                           // 17
    "{\n"                                // 18
    "\treturn a;\n"                      // 19
    "}\n"                                // 20
    "void open(void) {\n"                // 21
    "\tx;";                              // 22, no line feed

TEST(BlockLines, WhereEachKindOfDefinitionEnds) {
    std::string path = write_temp(SOURCE);
    SourceFile *source = source_file(path.c_str());
    ASSERT_NE(source, nullptr);
    EXPECT_EQ(source->d_lines, 22);
    EXPECT_EQ(source_file(path.c_str()), source);  // loaded once
    struct Case {
        int d_line;
        bool d_is_function;
        int d_first, d_last;  // 1-based; 0: outside the file
    };
    const Case cases[] = {
        {1, true, 1, 5},    // head over two lines, brace on the next
        {2, true, 2, 5},
        {6, false, 6, 6},   // a prototype not tagged as a function
        {7, false, 7, 9},   // a structure closed by "};"
        {10, false, 10, 12},  // continuation lines, one with trailing blanks
        {10, true, 10, 12},
        {14, true, 14, 15},   // braces in literals and after "//"
        {16, true, 16, 20},   // old-style parameters: ';' before the body
        {16, false, 16, 17},
        {21, true, 21, 22},   // never closed: to the end of the file
        {22, true, 22, 22},
        {0, true, 0, 0},
        {23, true, 0, 0},
        {-5, true, 0, 0},
    };
    for (const Case &c : cases) {
        int first = -1, last = -1;
        bool inside = block_lines(source, c.d_line, c.d_is_function, &first, &last);
        EXPECT_EQ(inside, c.d_first != 0) << c.d_line;
        if (!inside) continue;
        EXPECT_EQ(first + 1, c.d_first) << c.d_line;
        EXPECT_EQ(last + 1, c.d_last) << c.d_line;
    }
    EXPECT_EQ(source_file("/nonexistent/x.c"), nullptr);
    unlink(path.c_str());
}

// A block may end inside a comment that opens after its closing brace; the
// next block still starts outside any comment.
TEST(BlockLines, NextBlockStartsOutsideComment) {
    std::string path = write_temp(
        "void a(void) {\n"
        "}  /* trailing\n"
        "   comment } */\n"
        "void b(void) {\n"
        "\tx;\n"
        "}\n"
        "void c(void) {\n"
        "}\n");
    SourceFile *source = source_file(path.c_str());
    ASSERT_NE(source, nullptr);
    int first, last;
    ASSERT_TRUE(block_lines(source, 1, true, &first, &last));
    EXPECT_EQ(last, 1);
    ASSERT_TRUE(block_lines(source, 4, true, &first, &last));
    EXPECT_EQ(first, 3);
    EXPECT_EQ(last, 5);
    unlink(path.c_str());
}

TEST(PrintBlock, FramesIndentationAndOutputFile) {
    if (!get_env()) init_env();
    std::string path = write_temp(SOURCE);
    std::string out = testing::TempDir() + "block_out";
    struct Case {
        int d_indent, d_line;
        bool d_plain, d_is_function;
        const char *d_text;
    };
    const Case cases[] = {
        {1, 7, false, false, "\t//<***>\n\tstruct point {\n\t\tint x, y;\n\t};\n\t//</***>\n"},
        // Directive lines are never indented.
        {2, 10, false, false, "\t\t//<***>\n#define TWO(a) \\\n\t((a) + \\  \t\n\t(a))\n\t\t//</***>\n"},
        {2, 6, true, false, "int proto(void);\n"},
        {0, 22, true, true, "\tx;"},
        // A line outside the file: the frame alone.
        {1, 99, false, true, "\t//<***>\n\t//</***>\n"},
        {1, 99, true, true, ""},
    };
    for (const Case &c : cases) {
        BlockRequest request = {c.d_indent, c.d_line, (uint8_t)c.d_plain, (uint8_t)c.d_is_function,
                                path.c_str(), out.c_str()};
        print_block(&request);
        EXPECT_EQ(read_file(out), c.d_text) << c.d_line;
    }
    // An unreadable source leaves the output file untouched.
    BlockRequest missing = {0, 1, 1, 1, "/nonexistent/x.c", out.c_str()};
    print_block(&missing);
    EXPECT_EQ(read_file(out), "");
    unlink(out.c_str());
    unlink(path.c_str());
}

}  // namespace
