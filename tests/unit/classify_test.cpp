#include "classify.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace {

struct ClassCase {
    const char *d_text;  // as the condenser writes it
    char d_end;
    int d_class;
};

// Statements in condensed form with the character that ended them.
const ClassCase g_cases[] = {
    {"int main (int a, char *b) ", '{', STMT_FUNCTION},
    {"static int f (void) ", '{', STMT_FUNCTION},
    {"struct s *f (void) ", '{', STMT_FUNCTION},
    {"int C::f (void) ", '{', STMT_FUNCTION},
    {"void C::f (int a) const ", '{', STMT_OTHER},
    {"int f (void) ", ';', STMT_OTHER},
    {"int f (void) ", '}', STMT_OTHER},
    {"int f (int a[]) ", '{', STMT_FUNCTION},
    {"int f (void)  ", '{', STMT_FUNCTION},  // CR LF source: two blanks
    {"int x =  ", '{', STMT_VARIABLE},  // '[' inside the parentheses
    {"int v[3] (x) ", '{', STMT_VARIABLE},      // '[' before them: not plain
    {"struct s ", '{', STMT_STRUCT},
    {"static const struct s ", '{', STMT_STRUCT},
    {"typedef struct s ", '{', STMT_TYPEDEF | STMT_STRUCT},
    {"typedef struct ", '{', STMT_TYPEDEF | STMT_STRUCT},
    {"struct ", '{', STMT_OTHER},
    {"typedef union u ", '{', STMT_TYPEDEF | STMT_OTHER},
    {"typedef enum ", '{', STMT_TYPEDEF | STMT_OTHER},
    {"union u ", '{', STMT_OTHER},
    {"enum e ", '{', STMT_OTHER},
    {"class C ", '{', STMT_CLASS},
    {"class C : public B ", '{', STMT_CLASS},
    {"class C", ';', STMT_OTHER},
    {"namespace N ", '{', STMT_NAMESPACE},
    {"template <class T> class C ", '{', STMT_OTHER},
    {"extern int x", ';', STMT_EXTERN},
    {"extern \"C\" ", '{', STMT_OTHER},
    {"typedef int t", ';', STMT_TYPEDEF},
    {"typedef int (*fn) (int) ", ';', STMT_TYPEDEF},
    {"typedef int handle ", '{', STMT_VARIABLE},
    {"int a", ';', STMT_VARIABLE},
    {"int x[10]", ';', STMT_VARIABLE},
    {"char *s", ';', STMT_VARIABLE},
    {"char * p", ';', STMT_VARIABLE},
    {"static int x", ';', STMT_VARIABLE},
    {"unsigned long long x", ';', STMT_VARIABLE},
    {"struct s x", ';', STMT_VARIABLE},
    {"int x = 5", ';', STMT_VARIABLE},
    {"int a[] = ", '{', STMT_VARIABLE},
    {"static const int tab[] = ", '{', STMT_VARIABLE},
    {"struct s", ';', STMT_OTHER},
    {"return f (x) ", ';', STMT_OTHER},
    {"delete p", ';', STMT_OTHER},
    {"return 0", ';', STMT_OTHER},
    {"return a + b", ';', STMT_OTHER},
    {"if (x) ", '{', STMT_CONTROL},
    {"if(x) ", '{', STMT_CONTROL},
    {"while (x) ", '{', STMT_CONTROL},
    {"switch (c) ", '{', STMT_CONTROL},
    {"else if (x) ", '{', STMT_CONTROL},
    {"do (x) ", ';', STMT_CONTROL},
    {"case :", ';', STMT_CONTROL},
    {"caseA: x", ';', STMT_CONTROL},
    {"case 7:", ';', STMT_OTHER},  // ':' in seventh place
    {"else ", '{', STMT_OTHER},
    {"do ", '{', STMT_OTHER},
    {"if", '{', STMT_OTHER},       // no fourth character to look at
    {"ifdef", '{', STMT_OTHER},
    {"for (i=0; i<n; i++) ", '{', STMT_CALL},
    {"f (a, b) ", ';', STMT_CALL},
    {"f(a) ", ';', STMT_CALL},
    {"int (*fp) (int) ", ';', STMT_CALL},
    {"x = f (y) ", ';', STMT_OTHER},
    {"a.b (c) ", ';', STMT_OTHER},
    {"p->f (x) ", ';', STMT_OTHER},
    {"x++", ';', STMT_OTHER},
    {"case 1: x = 1", ';', STMT_OTHER},
    {"#include <a>", '\n', STMT_DIRECTIVE},
    {"#define X 1", '\n', STMT_DEFINE},
    {"# define Y", '\n', STMT_DEFINE},
    {"#\tdefine Z", '\n', STMT_DEFINE},
    {"#define LOCK() do ", '{', STMT_DEFINE},  // a '#' decides whatever the end
    {" 2", '\n', STMT_DIRECTIVE},            // continued directive line
    {"", '}', STMT_OTHER},
    {"", '\n', STMT_DIRECTIVE},
    {"", ';', STMT_OTHER},
    {"3 + x", ';', STMT_OTHER},
    {"1, 2 ", '}', STMT_OTHER},
};

TEST(Classify, StatementTable) {
    for (const ClassCase &c : g_cases) {
        std::string end = c.d_end == '\n' ? "\\n" : std::string(1, c.d_end);
        EXPECT_EQ(classify_statement(c.d_text, c.d_end), c.d_class)
            << "statement \"" << c.d_text << "\" ended by '" << end << "'";
    }
}

TEST(Classify, NeverReadsPastTheStatement) {
    // Short statements whose tested places lie beyond their end: each lives in
    // a buffer of its own size so that a sanitizer sees any overread.
    const char *texts[] = {"if", "if ", "else", "do", "while", "switch", "case", "x", "else ", "case 1"};
    for (const char *t : texts) {
        std::string owned(t);
        std::unique_ptr<char[]> exact(new char[owned.size() + 1]);
        memcpy(exact.get(), owned.c_str(), owned.size() + 1);
        EXPECT_NE(classify_statement(exact.get(), '{'), STMT_CONTROL) << t;
    }
}

TEST(Classify, CountWords) {
    struct {
        const char *d_text;
        int d_words;
    } cases[] = {
        {"int main (void)", 2}, {"x = 1", 1},  {"char * p", 3}, {"char *p", 2},
        {"a,b", 1},             {"3 + x", 0},  {"", 0},         {"&ref x", 2},
        {"a&b c", 1},           {"_x9 y", 2},  {"9x", 0},       {"  lead  two ", 2},
    };
    for (const auto &c : cases) EXPECT_EQ(count_words(c.d_text), c.d_words) << '"' << c.d_text << '"';
    EXPECT_EQ(count_words(nullptr), 0);
}

TEST(Classify, IsDefine) {
    EXPECT_TRUE(is_define("#define X"));
    EXPECT_TRUE(is_define("# \t define"));
    EXPECT_TRUE(is_define("xdefine"));  // only the first character is skipped
    EXPECT_FALSE(is_define("#include <define.h>"));
    EXPECT_FALSE(is_define("#"));
    EXPECT_FALSE(is_define(""));
    EXPECT_FALSE(is_define(nullptr));
}

TEST(Classify, LongStatementsAreLinear) {
    // A megabyte-long head must classify without trouble.
    std::string head = "int f (";
    for (int i = 0; i < 100000; ++i) head += "int a, ";
    head += "int z) ";
    EXPECT_EQ(classify_statement(head.c_str(), '{'), STMT_FUNCTION);
    std::string words(1 << 20, 'a');
    for (size_t i = 3; i < words.size(); i += 4) words[i] = ' ';
    EXPECT_EQ(classify_statement(words.c_str(), ';'), STMT_VARIABLE);
}

}  // namespace
