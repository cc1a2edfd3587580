#include "lookup.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string write_temp(const std::string &content) {
    std::string path = testing::TempDir() + "lookup_XXXXXX";
    int fd = mkstemp(&path[0]);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(write(fd, content.data(), content.size()), (ssize_t)content.size());
    close(fd);
    return path;
}

TEST(ParseTagLine, FieldsOfBothLineForms) {
    struct Case {
        const char *d_line;
        bool d_ok;
        const char *d_file;
        int d_line_number;
        char d_kind;
    };
    const Case cases[] = {
        {"main\tx.c\t16\t; f\n", true, "x.c", 16, 'f'},
        {"MAX\t./a/x.h\t2\t; d\n", true, "./a/x.h", 2, 'd'},
        {"main\tx.c\t16;\"\tf\n", true, "x.c", 16, 'f'},
        {"main\tx.c\t16;\"\tf\tline:16\n", true, "x.c", 16, 'f'},
        {"main\tx.c\t16;\"\ts\r\n", true, "x.c", 16, 's'},
        {"main\tx.c\t7", true, "x.c", 7, 0},
        {"main\tx.c\t12abc\n", true, "x.c", 12, 0},
        // "fn" is no kind letter.
        {"main\tx.c\t16\t; fn\n", true, "x.c", 16, 0},
        {"main\tx.c\t99999999999999\t; f\n", true, "x.c", INT_MAX, 'f'},
        // Search-pattern addresses and missing fields do not parse.
        {"main\tx.c\t/^int main$/;\"\tf\n", false, nullptr, 0, 0},
        {"main\tx.c\n", false, nullptr, 0, 0},
        {"main x.c 16\n", false, nullptr, 0, 0},
        {"main\tx.c\t\n", false, nullptr, 0, 0},
        {"!_TAG_FILE_FORMAT\t2\n", false, nullptr, 0, 0},
    };
    for (const Case &c : cases) {
        TagLocation tag = {};
        EXPECT_EQ(parse_tag_line(c.d_line, "wanted", &tag), c.d_ok) << c.d_line;
        EXPECT_EQ(tag_kind_letter(c.d_line, strlen(c.d_line)), c.d_kind) << c.d_line;
        // The name is the one asked for, not the line's first field.
        EXPECT_STREQ(tag.name, "wanted");
        if (!c.d_ok) continue;
        EXPECT_STREQ(tag.file, c.d_file);
        EXPECT_EQ(tag.line, c.d_line_number);
    }
}

TEST(ParseTagLine, LongNameAndFileAreCutAt255) {
    std::string name(400, 'n'), file(300, 'p');
    std::string line = name + "\t" + file + "\t42\t; f\n";
    TagLocation tag = {};
    ASSERT_TRUE(parse_tag_line(line.c_str(), name.c_str(), &tag));
    EXPECT_EQ(std::string(tag.name), name.substr(0, 255));
    EXPECT_EQ(std::string(tag.file), file.substr(0, 255));
    EXPECT_EQ(tag.line, 42);
}

// Every line of a sorted file, by the offset first_line_with gives.
TEST(SortedLines, FirstLineWithFindsRunsAtEveryPosition) {
    const std::string content =
        "!_TAG_FILE_FORMAT\t2\n"
        "!_TAG_FILE_SORTED\t1\n"
        "Foo\ta.c\t1\t; f\n"
        "foo\ta.c\t10\t; f\n"
        "foo\ta.c\t9\t; f\n"
        "foo\tb.c\t3\t; f\n"
        "foo2\ta.c\t4\t; f\n"
        "foo_bar\ta.c\t5\t; f\n"
        "zed\tz.c\t1\t; f";  // last line without a line feed
    std::string path = write_temp(content);
    MappedFile file;
    ASSERT_EQ(map_whole_file(path.c_str(), &file), 0);
    struct Case {
        const char *d_key;
        long d_offset;  // -1: none
    };
    const Case cases[] = {
        {"!_TAG_FILE_FORMAT\t", 0},
        {"Foo\t", (long)content.find("Foo\t")},
        {"foo\t", (long)content.find("foo\ta.c\t10")},
        {"foo2\t", (long)content.find("foo2\t")},
        {"foo_bar\t", (long)content.find("foo_bar\t")},
        {"zed\t", (long)content.find("zed\t")},
        {"zed\tz.c\t1\t; f", (long)content.find("zed\t")},
        {"foo_\t", -1},
        {"fo\t", -1},
        {"zzz\t", -1},
        {"\t", -1},
        {"zed\tz.c\t1\t; f\n", -1},
    };
    for (const Case &c : cases)
        EXPECT_EQ(first_line_with(&file, c.d_key, strlen(c.d_key)), c.d_offset) << c.d_key;

    size_t foo = (size_t)content.find("foo\tb.c");
    EXPECT_EQ(line_length(&file, foo), strlen("foo\tb.c\t3\t; f\n"));
    EXPECT_EQ(previous_line(&file, foo), (long)content.find("foo\ta.c\t9"));
    EXPECT_EQ(previous_line(&file, 0), -1);
    EXPECT_EQ(previous_line(&file, line_length(&file, 0)), 0);
    EXPECT_TRUE(line_begins_with(&file, foo, "foo", 3));
    EXPECT_FALSE(line_begins_with(&file, content.size(), "", 0));
    unmap_whole_file(&file);
    unlink(path.c_str());
}

TEST(SortedLines, OneLineAndEmptyAndMissingFiles) {
    std::string one = write_temp("only\tx.c\t1\t; f\n");
    MappedFile file;
    ASSERT_EQ(map_whole_file(one.c_str(), &file), 0);
    EXPECT_EQ(first_line_with(&file, "only\t", 5), 0);
    EXPECT_EQ(first_line_with(&file, "a\t", 2), -1);
    EXPECT_EQ(first_line_with(&file, "z\t", 2), -1);
    unmap_whole_file(&file);

    std::string empty = write_temp("");
    ASSERT_EQ(map_whole_file(empty.c_str(), &file), 0);
    EXPECT_EQ(file.d_data, nullptr);
    EXPECT_EQ(first_line_with(&file, "a\t", 2), -1);
    EXPECT_EQ(map_whole_file("/nonexistent/tags", &file), -1);
    EXPECT_EQ(map_whole_file(testing::TempDir().c_str(), &file), -1);
    unlink(one.c_str());
    unlink(empty.c_str());
}

// Reading many keys in one pass gives each key the lines that bisection
// gives it, across piece boundaries, over runs longer than a piece and over
// a line longer than a piece.
TEST(SortedLines, OnePassForManyKeysMatchesBisection) {
    std::vector<std::string> lines;
    char text[64];
    for (int n = 0; n < 30000; ++n) {
        snprintf(text, sizeof text, "name%05d\tf.c\t%d\t;\tby\tcaller%d\n", n, n % 97, n % 13);
        lines.push_back(text);
        if (n % 1000 == 0) lines.push_back(std::string(text).insert(9, "\tg.c"));
    }
    for (int k = 0; k < 60000; ++k) lines.push_back("spans\tf.c\t" + std::to_string(k) + "\t;\tby\tx\n");
    lines.push_back("wide\tf.c\t1\t;\tby\t" + std::string(1500000, 'w') + "\n");
    lines.push_back("wide\tf.c\t2\t;\tby\ty");  // last line, no line feed
    std::sort(lines.begin(), lines.end());
    std::string content;
    for (const std::string &line : lines) content += line;
    std::string path = write_temp(content);
    MappedFile file;
    ASSERT_EQ(map_whole_file(path.c_str(), &file), 0);

    std::vector<std::string> keys = {"absent\t", "name\t", "spans\t", "wide\t", "zz\t"};
    for (int n = 0; n < 30000; n += 7) {
        snprintf(text, sizeof text, "name%05d\t", n);
        keys.push_back(text);
    }
    std::sort(keys.begin(), keys.end());
    std::vector<const char *> texts;
    std::vector<size_t> lengths;
    for (const std::string &key : keys) {
        texts.push_back(key.c_str());
        lengths.push_back(key.size());
    }
    std::vector<std::string> found(keys.size());
    auto keep = [](void *context, size_t key, const char *line, size_t length) {
        (*static_cast<std::vector<std::string> *>(context))[key].append(line, length);
    };
    ASSERT_EQ(for_lines_with_keys(&file, texts.data(), lengths.data(), keys.size(), keep, &found), 0);
    for (size_t k = 0; k < keys.size(); ++k) {
        long first = first_line_with(&file, keys[k].c_str(), keys[k].size());
        std::string expected;
        if (first >= 0) {
            size_t end = end_of_run(&file, (size_t)first, keys[k].c_str(), keys[k].size());
            expected.assign(file.d_data + first, end - (size_t)first);
        }
        EXPECT_EQ(found[k].size(), expected.size()) << keys[k];
        EXPECT_TRUE(found[k] == expected) << keys[k];
    }
    EXPECT_EQ(std::count(found.back().begin(), found.back().end(), '\n'), 0);  // "zz"
    EXPECT_GT(found[std::find(keys.begin(), keys.end(), "spans\t") - keys.begin()].size(), 1000000u);
    unmap_whole_file(&file);
    unlink(path.c_str());
}

}  // namespace
