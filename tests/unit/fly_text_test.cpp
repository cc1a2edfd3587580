#include "fly_text.h"

#include <gtest/gtest.h>

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
