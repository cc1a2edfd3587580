#include "line_sort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "big_block.h"

// Sorts the lines through sort_lines and returns them in its order.
static std::vector<std::string> sorted(const std::string &text) {
    size_t n = 0;
    SortedLine *lines = sort_lines(text.data(), text.size(), &n);
    EXPECT_NE(lines, nullptr);
    std::vector<std::string> out;
    for (size_t i = 0; lines && i < n; ++i) out.emplace_back(lines[i].d_line, lines[i].d_length);
    free_sorted_lines(lines, n);
    return out;
}

static std::vector<std::string> reference(const std::vector<std::string> &lines) {
    std::vector<std::string> out = lines;
    // Bytes in order, the line feed taking part as byte 10: "a\n" follows "a\ta\n".
    std::sort(out.begin(), out.end());
    return out;
}

TEST(LineSort, ByteOrderAroundTheSixteenByteKey) {
    std::vector<std::string> lines = {
        "foo_bar\t1\n", "foo\t1\n", "Foo\t1\n", "foo2\t1\n", "\n",
        "abcdefghijklmno\n",      // 16 bytes with its line feed
        "abcdefghijklmnop\n",     // the line feed is byte 17
        "abcdefghijklmnop\tx\n", "abcdefghijklmnopq\n", "abcdefghijklmnoo\n",
        "mmGCVM_L2_CNTL_0\tdef\n", "mmGCVM_L2_CNTL_0\tabc\n", "mmGCVM_L2_CNTL\n",
        std::string("a\0b\n", 4), std::string("a\0a\n", 4), "\xff\n", "a\n",
    };
    std::string text;
    for (const std::string &line : lines) text += line;
    EXPECT_EQ(sorted(text), reference(lines));
}

TEST(LineSort, LargeRandomTextWithSharedPrefixesMatchesAComparisonSort) {
    std::mt19937 random(7);
    const char *prefixes[] = {"", "mm", "mmGCVM_L2_", "regGCVM_L2_PROTECTION_FAULT_", "x"};
    std::vector<std::string> lines;
    for (int i = 0; i < 20000; ++i) {
        std::string line = prefixes[random() % 5];
        int tail = random() % 24;
        for (int k = 0; k < tail; ++k) line += "ab_\t9Z"[random() % 6];
        lines.push_back(line + "\n");
        if (random() % 10 == 0) lines.push_back(lines.back());  // duplicates stay
    }
    std::string text;
    for (const std::string &line : lines) text += line;
    EXPECT_EQ(sorted(text), reference(lines));
}

TEST(LineSort, EmptyTextAndAMissingFinalLineFeed) {
    size_t n = 99;
    SortedLine *lines = sort_lines("", 0, &n);
    EXPECT_NE(lines, nullptr);
    EXPECT_EQ(n, 0u);
    free_sorted_lines(lines, n);
    EXPECT_EQ(sort_lines("b\na", 3, &n), nullptr);
}

TEST(BigBlock, GrowsKeepingItsContents) {
    char *block = static_cast<char *>(big_block_grow(nullptr, 0, 100));
    ASSERT_NE(block, nullptr);
    std::fill(block, block + 100, 'x');
    block = static_cast<char *>(big_block_grow(block, 100, 10 << 20));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(std::string(block, 100), std::string(100, 'x'));
    block[(10 << 20) - 1] = 'y';
    big_block_free(block, 10 << 20);
}
