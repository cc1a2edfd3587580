#include "script_tags.h"

#include <gtest/gtest.h>

#include <string>

#include "script_fixture.h"

struct TagCase {
    const char *source, *tags;
};

template <typename Extractor>
static void expect_tags(Extractor extractor, const char *file_name, const TagCase *cases, size_t n) {
    for (size_t i = 0; i < n; ++i)
        EXPECT_EQ(tags_of(extractor, file_name, cases[i].source), cases[i].tags) << cases[i].source;
}
#define EXPECT_TAGS(extractor, file_name, cases) \
    expect_tags(extractor, file_name, cases, sizeof cases / sizeof cases[0])

TEST(PerlTags, PackagesAndSubsAtFileLevel) {
    const TagCase cases[] = {
        {"package Foo::Bar;\n", "Bar\tF\t1\t; p\nFoo::Bar\tF\t1\t; p\n"},
        {"package Foo;\nsub Foo::bar {\n}\nsub new($$) {\n  return 1;\n}\n",
         "Foo\tF\t1\t; p\nFoo::bar\tF\t2\t; f\nnew\tF\t4\t; f\n"},
        // Subs and packages inside any block give nothing; a forward declaration neither.
        {"x;\n{\n  package Inner;\n  sub inner {\n  }\n}\nsub fwd;\nsub after\n{\n}\n", "after\tF\t9\t; f\n"},
        {"sub a {\n  if ($x) {\n    f();\n  }\n}\nsub b { }\n", "a\tF\t1\t; f\nb\tF\t6\t; f\n"},
        // No name, no tag.
        {"sub {\n}\npackage ;\npackage Foo::;\n", "Foo::\tF\t4\t; p\n"},
        {"sub carriage\r\n{\r\n}\r\n", "carriage\tF\t2\t; f\n"},
        // Attributes are no part of the name.
        {"sub lv : lvalue {\n}\nsub Foo::m :method {\n}\nsub p :prototype($) {\n}\n",
         "lv\tF\t1\t; f\nFoo::m\tF\t3\t; f\np\tF\t5\t; f\n"},
        {"", ""},
    };
    EXPECT_TAGS(perl_tags, "a.pm", cases);
}

TEST(PerlTags, LinesAfterHereDocumentsAndPod) {
    const TagCase cases[] = {
        {"my $t = <<EOT;\nsub not_code {\nEOT\nsub after {\n}\n", "after\tF\t4\t; f\n"},
        {"print <<\"A\";\nx\nA\nprint <<'B' if $x;\ny\nB\nsub f {\n}\n", "f\tF\t7\t; f\n"},
        {"1;\n=pod\n\nsub in_pod {\n}\n\n=cut\nsub g {\n}\n", "g\tF\t8\t; f\n"},
        {"#!/usr/bin/perl\n# sub commented {\nmy $re = qr/x/; $s =~ s{a}{b}g;\nsub h { 1 }\n", "h\tF\t4\t; f\n"},
        {"my $n = 1 << 2;\n\nsub shifted {\n}\n", "shifted\tF\t3\t; f\n"},
    };
    EXPECT_TAGS(perl_tags, "a.pl", cases);
}

// The tokenizer's line map and the walker's statement ends stay in step:
// ends escaped by a backslash, a backslash before a blank and an end at the
// very start of the file.
TEST(PerlTags, LineMapStaysInStepWithTheStatements) {
    const TagCase cases[] = {
        {"x\\;\ny;\nsub f {\n}\n", "f\tF\t3\t; f\n"},
        {"{\n}\nsub g {\n}\n", "g\tF\t3\t; f\n"},
        {"$s =~ s{\n  ( \\ {4} | \\t )*\n}{x}x;\nsub h {\n}\n", "h\tF\t4\t; f\n"},
        {"print \\<<E;\nE\nsub i {\n}\n", "i\tF\t3\t; f\n"},
    };
    EXPECT_TAGS(perl_tags, "a.pl", cases);
}

TEST(PythonTags, DefsAndClassesWithTheirLines) {
    const TagCase cases[] = {
        {"class A(B):\n    def m(self):\n        pass\n", "A\tF\t1\t; c\nm\tF\t2\t; f\n"},
        {"class Plain:\n\tdef  spaced (x): pass\n", "Plain\tF\t1\t; c\nspaced\tF\t2\t; f\n"},
        {"async def f():\n    pass\n@decorator\ndef g(): pass\n", "g\tF\t4\t; f\n"},
        // A docstring of five lines leaves the lines after it right.
        {"def f():\n    \"\"\"One\n    two\n    three: x\n    four\n    five\"\"\"\n    pass\ndef g():\n",
         "f\tF\t1\t; f\ng\tF\t8\t; f\n"},
        {"x = '''\ndef fake():\n'''\ns = \"def also_fake():\"\ndef real(): pass\n", "real\tF\t5\t; f\n"},
        // No name after the keyword, no tag.
        {"def (x):\ndef :\nclass :\n", ""},
        {"class CR:\r\ndef f\r\n", "CR\tF\t1\t; c\nf\tF\t2\t; f\n"},
        // The last line without a line feed or colon is not a statement.
        {"x = 1\ndef last()", ""},
        {"", ""},
    };
    EXPECT_TAGS(python_tags, "a.py", cases);
}

TEST(JavaTags, PackagesClassesAndTopLevelMethods) {
    const TagCase cases[] = {
        {"package com.example;\n"
         "public class Foo<T> extends Bar implements Baz, Qux {\n"
         "    private int a;\n"
         "    public Foo(int a) {\n"
         "    }\n"
         "    @Override\n"
         "    public static void run(String[] args) throws Exception {\n"
         "        if (a) {\n"
         "        }\n"
         "    }\n"
         "    static class Inner {\n"
         "        void hidden() {\n"
         "        }\n"
         "    }\n"
         "}\n",
         "com.example\tF\t1\t; p\nFoo\tF\t2\t; c\nFoo\tF\t4\t; f\nrun\tF\t7\t; f\n"},
        // Interfaces and enums give nothing, nor their methods' statements alone.
        {"interface I {\n  void m();\n}\nenum E {\n  A, B\n}\n", ""},
        {"/* class Commented { */\nfinal class Last\n{\n}\n", "Last\tF\t3\t; c\n"},
        {"class extends X {\n}\n", ""},
        // The parentheses of an annotation are not the method's.
        {"class A {\n  @SuppressWarnings(\"unchecked\") @Deprecated\n  public void m(int a) {\n  }\n"
         "  @a.b.C(x = (1)) int n() {\n  }\n  public final <T> T[] toArray(T[] a) {\n  }\n}\n",
         "A\tF\t1\t; c\nm\tF\t3\t; f\nn\tF\t5\t; f\ntoArray\tF\t7\t; f\n"},
        // Type parameters are not part of the name.
        {"class Pair <K, V extends Comparable<V>> {\n}\n", "Pair\tF\t1\t; c\n"},
    };
    EXPECT_TAGS(java_tags, "A.java", cases);
    int result = 0;
    testing::internal::CaptureStderr();
    EXPECT_EQ(tags_of([](const char *, FILE *out) { return java_tags("/nonexistent/zk/A.java", out); }, "A.java",
                      "", &result),
              "");
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(result, -1);
}

TEST(GoTags, FuncsAndTypes) {
    const TagCase cases[] = {
        {"package main\n\nfunc main() {\n}\n", "main\tF\t3\t; f\n"},
        {"func (r *Reader) Read(p []byte) (int, error) {\n", "Read\tF\t1\t; f\n"},
        {"type Point struct {\n\tX int\n}\n", "Point\tF\t1\t; t\n"},
        {"type (\n\tA int\n)\n", "(\tF\t1\t; t\n"},
        // The keyword decides: a type line holding "func" is a type.
        {"type HandlerFunc func(w Writer)\n", "HandlerFunc\tF\t1\t; t\n"},
        {"type funcval struct {\n\tfn uintptr\n}\n", "funcval\tF\t1\t; t\n"},
        {"type T struct{}\r\n", "T\tF\t1\t; t\n"},
        {"\tfunc indented() {}\nfunc\ttabbed() {}\n", "indented\tF\t1\t; f\ntabbed\tF\t2\t; f\n"},
        // A receiver not closed on its line gives no tag.
        {"func (r *T\n) M() {}\n", ""},
        {"// func commented() {}\nfunctional := 1\nx := f // func tail()\n", ""},
    };
    EXPECT_TAGS(go_tags, "a.go", cases);
}

TEST(LuaTags, Functions) {
    const TagCase cases[] = {
        {"function M.foo(a)\nend\n", "foo\tF\t1\t; f\n"},
        {"function M:bar(a)\nend\n", "M:bar\tF\t1\t; f\n"},
        {"function a.b.c()\n  function inner ()\n", "b.c\tF\t1\t; f\ninner\tF\t2\t; f\n"},
        {"local function hidden()\nfunction noparen\nx = function() end\nfunction (x)\n", ""},
    };
    EXPECT_TAGS(lua_tags, "a.lua", cases);
}

TEST(PhpTags, FunctionsAndClasses) {
    const TagCase cases[] = {
        {"<?php\nclass Foo {\n    public static function make($x) {\n", "Foo\tF\t2\t; c\nmake\tF\t3\t; f\n"},
        {"abstract class Bar extends Base {\n\tprivate\tfunction\ttabbed() {}\n", "Bar\tF\t1\t; c\ntabbed\tF\t2\t; f\n"},
        // A name with a blank is no name.
        {"class Baz implements I {\n$f = function ($x) {\n// function slashed() {\n", ""},
        // '#' comments are not skipped.
        {"# function hashed() {\n", "hashed\tF\t1\t; f\n"},
        {"function noparen\r\nfunction crlf()\r\n", "crlf\tF\t2\t; f\n"},
    };
    EXPECT_TAGS(php_tags, "a.php", cases);
}

TEST(RubyTags, DefsClassesAndModules) {
    const TagCase cases[] = {
        {"module Outer\n  class A < B\n    def self.name\n    end\n", "Outer\tF\t1\t; m\nA\tF\t2\t; c\nself.name\tF\t3\t; f\n"},
        {"def foo; end\ndef bar(x)\ndef baz x\n\tdef\ttabbed\n", "foo;\tF\t1\t; f\nbar\tF\t2\t; f\nbaz\tF\t3\t; f\ntabbed\tF\t4\t; f\n"},
        {"  # def commented\nx = 1 # class Trailing\ndef crlf\r\n", "crlf\tF\t3\t; f\n"},
        {"def \nclass\nmodule  \n", ""},
    };
    EXPECT_TAGS(ruby_tags, "a.rb", cases);
}

// The line readers read lines whole: a line far longer than any buffer
// neither splits a name nor shifts the numbers of the lines after it.
TEST(LineReaderTags, LongLinesKeepTheLineNumbers) {
    std::string long_line = "x := \"" + std::string(10000, 'a') + "\"\n";
    EXPECT_EQ(tags_of(go_tags, "a.go", long_line + "func after() {\n"), "after\tF\t2\t; f\n");
    EXPECT_EQ(tags_of(ruby_tags, "a.rb", long_line + long_line + "def after\n"), "after\tF\t3\t; f\n");
    std::string long_name(6000, 'n');
    EXPECT_EQ(tags_of(lua_tags, "a.lua", "function " + long_name + "()\n"), long_name + "\tF\t1\t; f\n");
    EXPECT_EQ(tags_of(php_tags, "a.php", long_line + "function g() {\n"), "g\tF\t2\t; f\n");
}

TEST(ScriptTags, UnreadableFilesGiveNothing) {
    int (*line_readers[])(const char *, FILE *) = {go_tags, lua_tags, php_tags, ruby_tags};
    char *data = nullptr;
    size_t size = 0;
    FILE *out = open_memstream(&data, &size);
    for (auto extractor : line_readers) EXPECT_EQ(extractor("/nonexistent/zk/a", out), -1);
    ScratchDir dir;
    EXPECT_EQ(go_tags(dir.d_path.c_str(), out), -1);  // a directory is no source
    testing::internal::CaptureStderr();
    EXPECT_EQ(perl_tags("/nonexistent/zk/a.pl", out), 0);
    EXPECT_EQ(python_tags("/nonexistent/zk/a.py", out), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "No such file /nonexistent/zk/a.pl\nNo such file /nonexistent/zk/a.py\n");
    fclose(out);
    EXPECT_EQ(size, 0u);
    free(data);
}
