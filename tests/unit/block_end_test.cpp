#include "block_end.h"

#include <gtest/gtest.h>

namespace {

struct ScanCase {
    const char *d_line;
    bool d_is_function;
    int d_depth_before;
    int d_result;
    int d_depth_after;
};

TEST(BlockEndScan, BracesSemicolonsCommentsAndLiterals) {
    const ScanCase cases[] = {
        {"int f(void)\n", true, 0, 0, 0},
        {"{\n", true, 0, 1, 1},
        {"}\n", true, 1, 1, 0},
        {"int f(void) { return 0; }\n", true, 0, 1, 0},
        {"};\n", false, 1, 1, 0},
        {"int f(void);\n", false, 0, 1, 0},
        // A function's ';' at depth 0 (old-style parameters) does not end it.
        {"int a;\n", true, 0, 0, 0},
        {"\tx = 1;\n", false, 1, 0, 1},
        {"x = '{'; y = \"}\";\n", true, 1, 0, 1},
        {"s = \"a\\\"{\";\n", true, 1, 0, 1},
        {"s = \"a\\\\\" \"{\";\n", true, 1, 0, 1},
        {"s = \"a\\\\\"; {\n", true, 1, 1, 2},
        {"c = '\"'; {\n", true, 0, 1, 1},
        {"s = \"\"\"\"; }\n", true, 1, 1, 0},
        {"x; // { ; }\n", true, 1, 0, 1},
        {"a /* { ; } */ }\n", true, 1, 1, 0},
        {"\"unclosed { ;\n", false, 0, 0, 0},
        {"", false, 0, 0, 0},
    };
    for (const ScanCase &c : cases) {
        block_end_reset();
        int depth = c.d_depth_before;
        EXPECT_EQ(block_end_scan(c.d_line, &depth, c.d_is_function), c.d_result) << c.d_line;
        EXPECT_EQ(depth, c.d_depth_after) << c.d_line;
        EXPECT_FALSE(block_end_in_comment()) << c.d_line;
    }
    int depth = 0;
    EXPECT_EQ(block_end_scan(nullptr, &depth, false), 0);
    EXPECT_EQ(block_end_scan("{", nullptr, false), 0);
}

TEST(BlockEndScan, BlockCommentCarriesOverLines) {
    block_end_reset();
    int depth = 1;
    EXPECT_EQ(block_end_scan("x; /* starts here {\n", &depth, true), 0);
    EXPECT_TRUE(block_end_in_comment());
    EXPECT_EQ(block_end_scan("  } still inside ; /* again\n", &depth, false), 0);
    EXPECT_EQ(depth, 1);
    EXPECT_EQ(block_end_scan("  ends */ }\n", &depth, true), 1);
    EXPECT_EQ(depth, 0);
    EXPECT_FALSE(block_end_in_comment());
    // "/*/" opens a comment that the next "*/" closes.
    EXPECT_EQ(block_end_scan("/*/ { */ }\n", &depth, true), 1);
    EXPECT_EQ(depth, -1);
}

TEST(BlockEndScan, LengthBoundedScanStopsAtLength) {
    block_end_reset();
    int depth = 0;
    const char text[] = "{ } {";
    EXPECT_EQ(block_end_scan_n(text, 3, &depth, true), 1);
    EXPECT_EQ(depth, 0);
    // A "/" as the last byte must not look at the byte after it.
    EXPECT_EQ(block_end_scan_n("x /*", 3, &depth, true), 0);
    EXPECT_FALSE(block_end_in_comment());
}

}  // namespace
