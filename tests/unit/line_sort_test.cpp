#include "line_sort.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "big_block.h"

// Sorts the lines through sort_lines and returns them in its order, whole.
static std::vector<std::string> sorted(const std::string &text, const std::vector<LineSegment> &given = {}) {
    std::vector<LineSegment> segments = given;
    if (segments.empty()) segments.push_back(LineSegment{text.size(), nullptr, 0});
    size_t n = 0;
    SortedLine *lines = sort_lines(text.data(), text.size(), segments.data(), segments.size(), &n);
    EXPECT_NE(lines, nullptr);
    std::vector<std::string> out;
    for (size_t i = 0; lines && i < n; ++i) {
        const LineSegment &segment = segments[lines[i].d_segment];
        size_t head = line_head_length(lines[i], segments.data());
        std::string line(lines[i].d_line, head);
        if (segment.d_insert) line.append(segment.d_insert, segment.d_insert_length);
        out.push_back(line + std::string(lines[i].d_line + head, lines[i].d_length - head));
    }
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

// Lines stored without their path, segment by segment, sort as whole lines:
// paths that are prefixes of each other, names of every length around the
// key, and a segment that inserts nothing beside ones that do.
TEST(LineSort, LinesWithoutTheirPathSortAsWholeLines) {
    std::mt19937 random(11);
    const char *paths[] = {"./a.c", "./a.cc", "./a.c\x01", "./b/x.h", nullptr};
    const char *stems[] = {"f", "mmGCVM_L2_CNTL", "mmGCVM_L2_CNTL_0123456789abcdef", "regGCVM_L2_PROTECTION_FAULT_"};
    std::string text;
    std::vector<LineSegment> segments;
    std::vector<std::string> whole;
    for (int file = 0; file < 200; ++file) {
        const char *path = paths[random() % 5];
        for (int k = random() % 60; k > 0; --k) {
            std::string name = stems[random() % 4];
            for (int extra = random() % 4; extra > 0; --extra) name += "_xy"[random() % 3];
            std::string rest = "\t" + std::to_string(random() % 30) + "\t; d\n";
            whole.push_back(name + "\t" + (path ? path : "./plain.c") + rest);
            text += path ? name + "\t" + rest : whole.back();
        }
        segments.push_back(LineSegment{text.size(), path, path ? strlen(path) : 0});
    }
    EXPECT_EQ(sorted(text, segments), reference(whole));
}

// Lines that end right before an unmapped page, compared from every place
// near the page's end, against pairs that part at every byte.
TEST(LineSort, LineOrderNeverReadsPastAPageItsLineEnds) {
    long page = sysconf(_SC_PAGESIZE);
    char *pages = static_cast<char *>(mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(pages, MAP_FAILED);
    ASSERT_EQ(mprotect(pages + page, page, PROT_NONE), 0);
    char *b = pages + page / 2;
    for (int length = 1; length <= 40; ++length) {
        for (int differ = 0; differ <= length; ++differ) {
            std::string x(length - 1, 'k'), y = x;
            if (differ < length - 1) y[differ] = 'l';
            x += '\n';
            y += differ == length - 1 ? "m\n" : "\n";
            // x ends at the unmapped page; y lies well inside the first one.
            memcpy(pages + page - x.size(), x.data(), x.size());
            memcpy(b, y.data(), y.size());
            const char *a = pages + page - x.size();
            EXPECT_EQ(line_less(a, b), x < y) << length << ' ' << differ;
            EXPECT_EQ(line_less(b, a), y < x) << length << ' ' << differ;
            EXPECT_FALSE(line_less(a, a));
        }
    }
    munmap(pages, 2 * page);
}

TEST(LineSort, EmptyTextAndAMissingFinalLineFeed) {
    size_t n = 99;
    LineSegment none{0, nullptr, 0};
    SortedLine *lines = sort_lines("", 0, &none, 1, &n);
    EXPECT_NE(lines, nullptr);
    EXPECT_EQ(n, 0u);
    free_sorted_lines(lines, n);
    LineSegment three{3, nullptr, 0};
    EXPECT_EQ(sort_lines("b\na", 3, &three, 1, &n), nullptr);
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
