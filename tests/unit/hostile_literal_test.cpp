// Literals that end in backslashes, follow an at sign or lose their line
// breaks: the condenser and the statement splitter must still count the
// same statement ends, so that statement k is read with line-map entry k
// and that entry points at the byte that ended it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "condenser.h"
#include "statement.h"

struct StepResult {
    int statements = 0;
    int marks = 0;
    std::string problem;  // empty when every statement had its own entry
};

static StepResult walk_in_step(const std::string &source) {
    StepResult result;
    std::vector<char> out(source.size() * 2 + 1);
    std::vector<LineMark> marks(source.size() + 2, LineMark{-1, -1, -1});
    int n = tt_condense(source.c_str(), (int)source.size(), out.data(), marks.data(), (int)marks.size());
    out[n] = 0;
    while (result.marks + 1 < (int)marks.size() && marks[result.marks + 1].d_index == result.marks + 1)
        ++result.marks;
    char *position = out.data(), *stmt;
    for (char end; (end = split_statement(&position, &stmt)) != 0;) {
        int k = ++result.statements;
        if (k > result.marks) {
            if (result.problem.empty()) result.problem = "statement " + std::to_string(k) + " has no entry";
            continue;
        }
        int offset = marks[k].d_offset;
        char at = offset >= 0 && offset < (int)source.size() ? source[offset] : 0;
        if (at != end && result.problem.empty())
            result.problem = "entry " + std::to_string(k) + " points at another byte";
    }
    return result;
}

TEST(HostileLiteral, StatementsAndEntriesStayInStep) {
    const char *cases[] = {
        // A verbatim literal ending in a backslash, then a second literal
        // that the other reading would take for the rest of the file.
        "s = @\"a\\\"; int a; \"x\"; int b; int c;\n",
        "s = @'\\'; int a; 'x'; int b; int c;\n",
        // A comment between the at sign and the quote.
        "s = @/* c */\"a\\\"; int a; \"; int b; int c;\n",
        // An escaped backslash whose line break is dropped inside a literal.
        "s = \"a\\\\\n\"; int a; \"; int b; int c;\n",
        "s = \"a\\\n\"; int a; \"; int b;\n",
        // Backslash runs of both parities, in both kinds of literal.
        "a = \"x\\\"y\"; b = \"x\\\\\"; c = '\\''; d = '\\\\'; e;\n",
        // Literals in directives and a directive continued by a backslash.
        "#define S \"a;\\\n b\"\nint x;\n#include 'q\nint y;\n",
        // An unclosed literal takes the rest of the file.
        "int a; \"unclosed ; { } \n int b;\n",
        // Carriage returns and a line joined outside a literal.
        "int a;\r\nx = @\\\n\"\\\"; int b; \"; int c;\r\n",
    };
    for (const char *source : cases) {
        StepResult r = walk_in_step(source);
        EXPECT_EQ(r.problem, "") << "source: " << source;
        EXPECT_EQ(r.statements, r.marks) << "source: " << source;
    }
}
