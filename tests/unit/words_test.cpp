#include "words.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "env.h"
#include "string_array.h"

namespace {

void ready_env() {
    if (!get_env()) init_env();
}

// Words as "word|follow" with 0 shown as "$".
std::vector<std::string> words_of(const char *text) {
    std::vector<std::string> out;
    StringArray *words = split_words(text);
    for (int i = 0; i < count(words); ++i) {
        WordRecord *record = word_at(words, i);
        out.push_back(std::string(record->d_word) + "|" +
                      (record->d_follow ? std::string(1, record->d_follow) : std::string("$")));
    }
    free_words(words);
    return out;
}

using Words = std::vector<std::string>;

TEST(SplitWords, RunsAndTheirFollowers) {
    struct Case {
        const char *d_text;
        Words d_words;
    };
    const Case cases[] = {
        {"", {"|$"}},
        {" ", {" |$"}},
        {"return v", {"return v|$"}},
        {"v = adjust (v, scale (2)) ",
         {"v|=", "adjust|(", "v|,", "scale|(", "2|)", "|)", " |$"}},
        {"obj->method (1) ", {"obj|-", "|>", "method|(", "1|)", " |$"}},
        {" printf (fmt) ", {"printf|(", "fmt|)", " |$"}},
        {"(a)", {"|(", "a|)", "|$"}},
        // Literals are passed whole; a word right after one starts a run.
        {"s = \"a(b\"NAME (x) ", {"s|=", "|\"", "NAME|(", "x|)", " |$"}},
        {"p (\"x\\\"(\", y) ", {"p|(", "|\"", "|,", "y|)", " |$"}},
        {"q ('a''b'c(d)", {"q|(", "|'", "c|(", "d|)", "|$"}},
        // The text ends inside a literal, or right after it: no last run.
        {"f (\"open", {"f|(", "|\""}},
        {"f (\"done\"", {"f|(", "|\""}},
    };
    for (const Case &c : cases) EXPECT_EQ(words_of(c.d_text), c.d_words) << c.d_text;
    EXPECT_EQ(split_words(nullptr), nullptr);
}

TEST(CallName, SingleNamesFollowedByParenthesis) {
    ready_env();
    struct Case {
        const char *d_word;
        char d_follow;
        const char *d_name;  // null: no call
    };
    const Case cases[] = {
        {"adjust", '(', "adjust"},
        {"adjust", ';', nullptr},
        {"sizeof", '(', "sizeof"},
        {"if", '(', nullptr},
        {"while", '(', nullptr},
        {"for", '(', nullptr},
        {"return", '(', nullptr},
        {"return limit", '(', "limit"},
        {"else adjust", '(', "adjust"},
        {"else if", '(', nullptr},
        {"do do work", '(', "work"},
        {"else do return f", '(', "f"},
        {"unsigned int f", '(', nullptr},
        {"3f", '(', nullptr},
        {"", '(', nullptr},
        {"do_work", '(', "do_work"},
    };
    for (const Case &c : cases) {
        WordRecord record = {const_cast<char *>(c.d_word), c.d_follow};
        const char *name = call_name(&record);
        const char *ranged = call_name_of(c.d_word, strlen(c.d_word), c.d_follow);
        if (!c.d_name) {
            EXPECT_EQ(name, nullptr) << c.d_word;
            EXPECT_EQ(ranged, nullptr) << c.d_word;
        } else {
            ASSERT_NE(name, nullptr) << c.d_word;
            EXPECT_STREQ(name, c.d_name);
            // A position inside the record's own word.
            EXPECT_TRUE(name >= c.d_word && name < c.d_word + strlen(c.d_word));
            ASSERT_NE(ranged, nullptr) << c.d_word;
            EXPECT_STREQ(ranged, c.d_name);
        }
    }
    WordRecord none = {nullptr, '('};
    EXPECT_EQ(call_name(&none), nullptr);
    EXPECT_EQ(call_name(nullptr), nullptr);
}

TEST(CallName, LongWordIsNeverCut) {
    ready_env();
    std::string name(1000, 'a');
    const char *found = call_name_of(name.data(), name.size(), '(');
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(std::string(found), name);
}

}  // namespace
