#include "text.h"

#include <gtest/gtest.h>

#include <string>

TEST(Text, FileExtensionIsTheLastDotOfTheWholePath) {
    char a[] = "./x.y/README", b[] = "a.tar.gz", c[] = "Makefile";
    EXPECT_STREQ(file_extension(a), ".y/README");
    EXPECT_STREQ(file_extension(b), ".gz");
    EXPECT_EQ(file_extension(c), nullptr);
    EXPECT_EQ(file_extension((char *)nullptr), nullptr);
}

TEST(Text, DeclaredName) {
    struct { const char *in, *want; } cases[] = {
        {"int main (int argc)", "main"},
        {"static char **names[10]", "names"},
        {"int x = 5", "x"},
        {"const T &ref", "ref"},
        {"int  (x)", ""},  // two blanks before the parenthesis
        {"(void)", ""},
        {"typedef struct node ", "node"},
        {"int A::B::f (void)", "A::B::f"},
    };
    for (auto &c : cases) {
        std::string text = c.in;
        EXPECT_STREQ(declared_name(&text[0]), c.want) << c.in;
    }
}

TEST(Text, Trims) {
    struct { const char *in, *left, *right; } cases[] = {
        {"  \tab  ", "ab  ", "  \tab"},
        {"   ", "", " "},
        {" ", "", " "},
        {"", "", ""},
        {"x", "x", "x"},
    };
    for (auto &c : cases) {
        std::string l = c.in, r = c.in;
        EXPECT_STREQ(trim_left(&l[0]), c.left) << '[' << c.in << ']';
        EXPECT_STREQ(trim_right(&r[0]), c.right) << '[' << c.in << ']';
    }
    char tabs[] = "a\tb\t";
    EXPECT_EQ(tabs_to_spaces(tabs), 0);
    EXPECT_STREQ(tabs, "a b ");
    EXPECT_EQ(trim_left(nullptr), nullptr);
    EXPECT_EQ(trim_right(nullptr), nullptr);
    EXPECT_EQ(tabs_to_spaces(nullptr), -1);
}
