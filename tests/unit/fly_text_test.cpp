#include "fly_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

TEST(FlyText, SkipStringFindsTheCloseOfARunOfLiterals) {
    struct Case {
        const char *text;
        int close;  // offset of the returned position
    } cases[] = {
        {"\"abc\" x", 4},
        {"'a'\"b\"'c' x", 8},           // adjacent literals run together
        {"\"a\" \"b\"", 2},              // a blank ends the run
        {"\"a'b\"x", 4},                 // the other quote belongs to the literal
        {"\"a\\\"b\"x", 5},              // one backslash escapes the quote
        {"\"a\\\\\"x", 4},               // two do not
        {"\"a\\\\\\\"b\"x", 7},          // three do
        {"\"never closed", 12},          // runs to the byte before the zero
        {"\"", 0},                        // a lone quote at the end
        {"\"ends in backslash\\", 18},
    };
    for (const Case &c : cases) {
        const char *end = skip_string(c.text);
        ASSERT_NE(end, nullptr) << c.text;
        EXPECT_EQ(end - c.text, c.close) << c.text;
    }
    EXPECT_EQ(skip_string(nullptr), nullptr);
    EXPECT_EQ(skip_string(""), nullptr);
}

TEST(FlyText, CountCharCountsAHalfOpenRange) {
    const char *text = "a\nb\n\nc";
    EXPECT_EQ(count_char(text, text + 6, '\n'), 3);
    EXPECT_EQ(count_char(text, text + 1, '\n'), 0);
    EXPECT_EQ(count_char(text, text + 2, '\n'), 1);
    EXPECT_EQ(count_char(text, text, '\n'), 0);
    EXPECT_EQ(count_char(nullptr, text, '\n'), 0);
}

TEST(FlyText, FindBytesStaysWithinTheLength) {
    std::string text = "ab\n=cut\nxy";
    EXPECT_EQ(find_bytes(text.c_str(), (int)text.size(), "\n=cut\n", 6), text.c_str() + 2);
    // A match ending exactly at the length counts; one beyond it does not.
    EXPECT_EQ(find_bytes(text.c_str(), 8, "\n=cut\n", 6), text.c_str() + 2);
    EXPECT_EQ(find_bytes(text.c_str(), 7, "\n=cut\n", 6), nullptr);
    EXPECT_EQ(find_bytes(text.c_str(), 3, "\n=cut\n", 6), nullptr);
    EXPECT_EQ(find_bytes(nullptr, 3, "x", 1), nullptr);
    EXPECT_EQ(find_bytes(text.c_str(), 3, nullptr, 1), nullptr);
}

// skip_string_lines looks at sixteen bytes at a time: it must end where
// skip_string ends and count the line feeds that count_char counts there,
// for literals shorter and longer than sixteen bytes, with escapes, line
// feeds and zero bytes at any place.
TEST(FlyText, SkipStringLinesAgreesWithSkipStringAndCountChar) {
    std::string long_run(40, 'a');
    const std::string cases[] = {
        "\"abc\" x",
        "'a'\"b\"'c' x",
        "\"a\\\"b\"x",
        "\"never closed",
        "\"",
        "\"ends in backslash\\",
        "\"" + long_run + "\n" + long_run + "\"x",
        "'" + long_run + "\\'\n\\\n" + long_run + "''" + long_run + "'",
        // A line feed right before a zero byte is the answer, not counted.
        std::string("'ab\n\0cd'", 8),
        "'" + long_run + std::string("\n\0", 2) + long_run,
        "'" + long_run + std::string("\\\n\0", 3) + long_run,
        "'" + long_run + std::string("\\\0", 2) + long_run,
        "\"a\n" + long_run + "\n\"\"\n\n" + long_run + "\n",
    };
    for (const std::string &c : cases) {
        const char *p = c.c_str();
        const char *want = skip_string(p);
        int lines = 0;
        const char *got = skip_string_lines(p, p + c.size() + 1, &lines);
        EXPECT_EQ(got, want) << c;
        EXPECT_EQ(lines, count_char(p, want, '\n')) << c;
    }
    int lines = 0;
    EXPECT_EQ(skip_string_lines(nullptr, nullptr, &lines), nullptr);
}

TEST(FlyText, CountCharCountsLongTexts) {
    // Past the 255 rounds of sixteen bytes a lane can count without wrapping.
    std::string text;
    int want = 0;
    for (int i = 0; i < 20000; ++i) {
        bool feed = i % 7 == 0 || i % 16 == 15;
        text += feed ? '\n' : 'x';
        want += feed;
    }
    EXPECT_EQ(count_char(text.data(), text.data() + text.size(), '\n'), want);
    EXPECT_EQ(count_char(text.data() + 1, text.data() + 4097, '\n'), std::count(text.begin() + 1, text.begin() + 4097, '\n'));
}

TEST(FlyText, FindBytesFindsThePatternAtEveryPlace) {
    // Near misses (the first two bytes, or all but the last) come before it.
    for (int at = 0; at < 70; ++at) {
        std::string text;
        while ((int)text.size() + 6 <= at) text += text.size() % 12 ? "\n=cu\na" : "\n=cut ";
        text += std::string(at - text.size(), 'a') + "\n=cut\nzz";
        const char *want = static_cast<const char *>(memmem(text.data(), text.size(), "\n=cut\n", 6));
        ASSERT_NE(want, nullptr);
        EXPECT_EQ(find_bytes(text.data(), (int)text.size(), "\n=cut\n", 6), want) << at;
        // Cut one byte short of the match: none.
        EXPECT_EQ(find_bytes(text.data(), (int)(want - text.data()) + 5, "\n=cut\n", 6), nullptr) << at;
    }
}
