#include "call_tags.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "env.h"

namespace {

// The call lines of a file named name holding source.
std::string call_lines(const std::string &name, const std::string &source) {
    if (!get_env()) init_env();
    std::string dir = testing::TempDir() + "calls_XXXXXX";
    EXPECT_NE(mkdtemp(&dir[0]), nullptr);
    std::string path = dir + "/" + name;
    FILE *file = fopen(path.c_str(), "w");
    fputs(source.c_str(), file);
    fclose(file);
    char *text = nullptr;
    size_t size = 0;
    FILE *out = open_memstream(&text, &size);
    EXPECT_EQ(cxx_call_tags(path.c_str(), out), 0);
    fclose(out);
    std::string lines(text, size);
    free(text);
    unlink(path.c_str());
    rmdir(dir.c_str());
    // Report paths as the bare name.
    for (size_t at; (at = lines.find(path)) != std::string::npos;) lines.replace(at, path.size(), name);
    return lines;
}

TEST(CallTags, CallersOfFunctionsMacrosAndInitialisers) {
    const char source[] =
        "#include <stdio.h>\n"
        "#define CALL(x) do { log_it(x); } while (0)\n"
        "static int clamp(int v)\n"
        "{\n"
        "\tif (v > 10) return limit(v);\n"
        "\telse\n"
        "\t\tv = adjust(v, scale(2));\n"
        "\twhile (check(v)) v--;\n"
        "\tfor (i = 0; i < n; i++) step(i);\n"
        "\treturn v;\n"
        "}\n"
        "int main(int argc, char *argv[])\n"
        "{\n"
        "\tprintf(fmt, clamp(argc));\n"
        "\tobj->method(1);\n"
        "\tdo_work ();\n"
        "\tx = (int)sizeof(int);\n"
        "#define LOCAL 1\n"
        "\ttail();\n"
        "\treturn 0;\n"
        "}\n"
        "int table[] = { f(1), g(2) };\n";
    EXPECT_EQ(call_lines("x.c", source),
              "log_it\tx.c\t2\t;\tby\tCALL\n"
              "limit\tx.c\t5\t;\tby\tclamp\n"
              "adjust\tx.c\t7\t;\tby\tclamp\n"
              "scale\tx.c\t7\t;\tby\tclamp\n"
              "check\tx.c\t8\t;\tby\tclamp\n"
              "step\tx.c\t9\t;\tby\tclamp\n"
              "printf\tx.c\t14\t;\tby\tmain\n"
              "clamp\tx.c\t14\t;\tby\tmain\n"
              "method\tx.c\t15\t;\tby\tmain\n"
              "do_work\tx.c\t16\t;\tby\tmain\n"
              "sizeof\tx.c\t17\t;\tby\tmain\n"
              "tail\tx.c\t19\t;\tby\tLOCAL\n"
              "f\tx.c\t22\t;\tby\tLOCAL\n"
              "g\tx.c\t22\t;\tby\tLOCAL\n");
}

TEST(CallTags, CallerlessCallsAndEmptyMacroNames) {
    // Before any function a call has no caller; a #define without a name
    // leaves the caller as it was.
    EXPECT_EQ(call_lines("y.c",
                         "int t[] = { f(1) };\n"
                         "void h(void)\n"
                         "{\n"
                         "#define \n"
                         "\tg();\n"
                         "}\n"),
              "f\ty.c\t1\n"
              "g\ty.c\t5\t;\tby\th\n");
    // A macro at depth 0 ends with its last line; the caller is again the
    // last function.
    EXPECT_EQ(call_lines("z.c",
                         "void h(void) { a(); }\n"
                         "#define M(x) \\\n"
                         "\t{ b(x); }\n"
                         "int v[] = { c(1) };\n"),
              "a\tz.c\t1\t;\tby\th\n"
              "b\tz.c\t3\t;\tby\tM\n"
              "c\tz.c\t4\t;\tby\th\n");
    EXPECT_EQ(call_lines("e.c", "int x;\n"), "");
}

TEST(CallTags, UnreadableFile) {
    if (!get_env()) init_env();
    FILE *out = tmpfile();
    EXPECT_EQ(cxx_call_tags("/nonexistent/x.c", out), -1);
    EXPECT_EQ(cxx_call_tags(nullptr, out), -1);
    fclose(out);
}

}  // namespace
