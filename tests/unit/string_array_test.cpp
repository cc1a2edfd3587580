#include "string_array.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <cstring>
#include <string>
#include <vector>

static std::vector<std::string> items(const StringArray *array) {
    std::vector<std::string> out;
    for (int i = 0; i < count(array); ++i) out.push_back(at(array, i));
    return out;
}

TEST(StringArray, GrowsByDoublingAndKeepsPushOrder) {
    StringArray *array = string_array_new(0);
    char names[17][4];
    for (int i = 0; i < 17; ++i) {
        snprintf(names[i], sizeof names[i], "s%d", i);
        ASSERT_TRUE(push(array, names[i]));
    }
    EXPECT_EQ(array->d_capacity, 32);
    EXPECT_EQ(count(array), 17);
    for (int i = 0; i < 17; ++i) EXPECT_EQ(at(array, i), names[i]);
    EXPECT_EQ(at(array, 17), nullptr);
    EXPECT_EQ(at(array, -1), nullptr);
    release(array);
    EXPECT_EQ(count(array), 0);
    EXPECT_TRUE(push(array, names[0]));  // a released array takes a fresh block
    EXPECT_EQ(array->d_capacity, 16);
    string_array_delete(array);
}

TEST(StringArray, FindAndPrefix) {
    StringArray *array = string_array_new(4);
    EXPECT_EQ(find(array, "a"), -1);
    char a[] = "ab", b[] = "", c[] = "ab";
    push(array, a);
    push(array, b);
    push(array, c);
    EXPECT_EQ(find(array, "ab"), 0);
    EXPECT_EQ(find_prefix_of(array, "abc"), 0);
    EXPECT_EQ(find_prefix_of(array, "zzz"), 1);  // the empty item matches every text
    string_array_delete(array);
}

TEST(StringArray, SnfindFastFindsEveryPosition) {
    const char *sorted[] = {"Foo\tx", "foo\ta", "foo\tb", "foo2\tc", "foo_bar\td", "zed\te"};
    StringArray *array = string_array_new(0);
    for (const char *s : sorted) push(array, const_cast<char *>(s));
    struct { const char *key; int first, last; } cases[] = {
        {"Foo\t", 0, 0}, {"foo\t", 1, 2}, {"foo2\t", 3, 3}, {"foo_bar\t", 4, 4}, {"zed\t", 5, 5},
        {"Aaa\t", -1, -1}, {"fop\t", -1, -1}, {"zzz\t", -1, -1},
    };
    for (auto &c : cases) {
        int i = snfind_fast(array, c.key, (int)strlen(c.key));
        if (c.first < 0) {
            EXPECT_EQ(i, -1) << c.key;
        } else {
            EXPECT_GE(i, c.first) << c.key;
            EXPECT_LE(i, c.last) << c.key;
        }
    }
    EXPECT_EQ(snfind_fast(array, "zed\te", 0), 5);
    StringArray *one = string_array_new(0);
    push(one, const_cast<char *>("only\tx"));
    EXPECT_EQ(snfind_fast(one, "only\t", 5), 0);
    StringArray *empty = string_array_new(0);
    EXPECT_EQ(snfind_fast(empty, "a", 1), -1);
    string_array_delete(array);
    string_array_delete(one);
    string_array_delete(empty);
}

TEST(StringArray, ReadLinesKeepsLongLinesWhole) {
    char path[] = "/tmp/zk_lines_XXXXXX";
    int fd = mkstemp(path);
    std::string longline(1000, 'x');
    std::string body = "a\r\n" + longline + "\nlast";
    ASSERT_EQ(write(fd, body.data(), body.size()), (ssize_t)body.size());
    close(fd);
    StringArray *array = string_array_new(0);
    ASSERT_TRUE(read_lines(array, path));
    EXPECT_EQ(items(array), (std::vector<std::string>{"a\r\n", longline + "\n", "last"}));
    for_each_cut(array);
    EXPECT_EQ(items(array), (std::vector<std::string>{"a", longline, "last"}));
    free_strings(array);
    EXPECT_FALSE(read_lines(array, "/nonexistent/zk"));
    EXPECT_EQ(count(array), 0);
    unlink(path);
    string_array_delete(array);
}

TEST(StringArray, CutLine) {
    char mid[] = "ab\rcd\n";
    EXPECT_EQ(cut_line(mid), mid + 2);
    EXPECT_STREQ(mid, "ab");
    char plain[] = "abc";
    EXPECT_EQ(cut_line(plain), plain + 3);
    EXPECT_EQ(cut_line(nullptr), nullptr);
}

TEST(StringArray, Split) {
    struct { const char *text, *sep; std::vector<std::string> want; } cases[] = {
        {"a,,b", ",", {"a", "", "b"}},
        {"a,b,", ",", {"a", "b"}},
        {",a", ",", {"", "a"}},
        {"", ",", {}},
        {"x  y", " ", {"x", "", "y"}},
        {"malloc,sizeof", ",", {"malloc", "sizeof"}},
    };
    for (auto &c : cases) {
        StringArray *pieces = split(c.text, c.sep);
        ASSERT_NE(pieces, nullptr);
        EXPECT_EQ(items(pieces), c.want) << c.text;
        free_strings(pieces);
        string_array_delete(pieces);
    }
    EXPECT_EQ(split(nullptr, ","), nullptr);
    EXPECT_EQ(split("a", nullptr), nullptr);
}

TEST(StringHeap, DrainsInByteOrderKeepingDuplicates) {
    StringHeap *heap = heap_new(8);
    const char *in[] = {"b", "a", "b", "c", "foo\t", "Foo\t", "\xe9", "foo2"};
    for (const char *s : in) heap_insert(heap, const_cast<char *>(s));
    std::vector<std::string> out;
    while (char *s = heap_pop_min(heap)) out.push_back(s);
    EXPECT_EQ(out, (std::vector<std::string>{"Foo\t", "a", "b", "b", "c", "foo\t", "foo2", "\xe9"}));
    EXPECT_EQ(heap_pop_min(heap), nullptr);
    heap_release(heap);
}
