#include "the_fly.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "condenser.h"
#include "script_fixture.h"

struct FlyMark {
    int line, offset;
    bool operator==(const FlyMark &o) const { return line == o.line && offset == o.offset; }
};
static std::ostream &operator<<(std::ostream &os, const FlyMark &m) {
    return os << '{' << m.line << ',' << m.offset << '}';
}

struct Flown {
    std::string text;
    std::vector<FlyMark> marks;
};

static Flown fly(const std::string &source) {
    std::vector<char> out(source.size() * 4 + 4);
    int n = fly_condense(source.c_str(), (int)source.size(), out.data());
    Flown result;
    result.text.assign(out.data(), strnlen(out.data(), n));
    int count = 0;
    LineMark *marks = fly_take_marks(&count, nullptr);
    for (int k = 1; k <= count; ++k) {
        EXPECT_EQ(marks[k].d_index, k);
        result.marks.push_back({marks[k].d_line, marks[k].d_offset});
    }
    free(marks);
    return result;
}

struct FlyCase {
    const char *source, *text;
    std::vector<FlyMark> marks;
};

TEST(TheFly, CondensesPerlIntoOneLineWithALineMap) {
    const FlyCase cases[] = {
        // An interpreter line is passed over; the lines after it keep their numbers.
        {"#!/usr/bin/perl\nsub f {\n}\n", " sub f { } ", {{1, 22}, {2, 24}}},
        // A literal's semicolon ends nothing; no blank between '=' and the quotes.
        {"my $x = \"a;b\";", "my $x =\"\"; ", {{0, 13}}},
        {"$#list;", "$#list ; ", {{0, 6}}},
        // Division after a word, a closing parenthesis or '_'.
        {"$a = $b / 2; f(x) / 3; $_/4;", "$a =$b /2 ; f ( x ) /3 ; $_/4 ; ", {}},
        // A regular expression after '=' leaves nothing.
        {"$x = /a;b/;\n", "$x =; ", {{0, 10}}},
        // An unclosed '/' after '}' is division: the rest of the line stays code.
        {"$h{a} / 2;\n", "$h { a } /2 ; ", {{0, 2}, {0, 4}, {0, 9}}},
        {"x;s{a}{b};", "x ; ; ", {{0, 1}, {0, 9}}},
        {"x;m{a;b};", "x ; ; ", {{0, 1}, {0, 8}}},
        {"x;tr/a/b/;", "x ; b/ ; ", {{0, 1}, {0, 9}}},
        {"x;y/a/b/;", "x ; y/a/b/ ; ", {}},
        // Nothing is a regular expression before the first significant byte.
        {"s{a}{b};", "s { a } { b } ; ", {}},
        // An escaped delimiter does not close the expression, an escaped backslash does not escape.
        {"x = /\\//;", "x =; ", {{0, 8}}},
        {"x = s/\\\\/y/;", "x =; ", {{0, 11}}},
        {"main'name;", "main'name ; ", {}},
        {"'a;b';", "'' ; ", {{0, 5}}},
        // A ';' after a backslash is written but has no entry. The text shows the
        // backslash right before exactly such ends, as the statement walker expects.
        {"a\\;b;", "a\\; b ; ", {{0, 4}}},
        {"(\\ {4}", " ( \\ { 4 } ", {{0, 3}, {0, 5}}},
        {"print \\<<E;\nE\n", "print \\ ; ", {{2, 13}}},
        {";x;", " ; x ; ", {{0, 0}, {0, 2}}},
        {"a; # c;d\nb;", "a ; b ; ", {{0, 1}, {1, 10}}},
        {"", "", {}},
    };
    for (const FlyCase &c : cases) {
        Flown got = fly(c.source);
        EXPECT_EQ(got.text, c.text) << c.source;
        if (!c.marks.empty()) {
            EXPECT_EQ(got.marks, c.marks) << c.source;
        }
    }
}

TEST(TheFly, HereDocumentsAndPodKeepLaterLinesRight) {
    const FlyCase cases[] = {
        // Body and terminator line become "; "; the next line has its own number.
        {"print <<EOF;\nline;\nEOF\nx;\n", "print ; x ; ", {{3, 22}, {3, 24}}},
        {"print <<'EOF';\na;\nEOF\nx;\n", "print ; x ; ", {{3, 21}, {3, 23}}},
        {"f(<<\"A\", 1);\n{\nA\nx;\n", "f ( ; x ; ", {{3, 16}, {3, 18}}},
        // No terminator: the rest is skipped and no ';' is written.
        {"a;\nprint <<EOF;\nno end\n", "a ; print ", {{0, 1}}},
        {"x;\n=pod\n\nabc;\n=cut\nsub f {\n}\n", "x ; sub f { } ", {{0, 1}, {5, 25}, {6, 27}}},
        // A POD block without "=cut" runs to the end.
        {"x;\n=pod\ny;\n", "x ; ", {{0, 1}}},
        // A file starting with POD: only its first line is passed over.
        {"=head1 N\nbody;\n=cut\nx;\n", " body ; ", {{1, 13}}},
    };
    for (const FlyCase &c : cases) {
        Flown got = fly(c.source);
        EXPECT_EQ(got.text, c.text) << c.source;
        EXPECT_EQ(got.marks, c.marks) << c.source;
    }
}

TEST(TheFly, ShiftOperatorsAreCodeNotHereDocuments) {
    const FlyCase cases[] = {
        {"$x = 1 << 2;\nsub f {\n}\n", "$x =1 <<2 ; sub f { } ", {{0, 11}, {1, 19}, {2, 21}}},
        {"$y = 1<<8;\n", "$y =1<<8 ; ", {{0, 9}}},
        {"$x <<= 1;\nz;\n", "$x <<=1 ; z ; ", {{0, 8}, {1, 11}}},
        {"$x <<\t2;\n", "$x <<2 ; ", {{0, 7}}},
    };
    for (const FlyCase &c : cases) {
        Flown got = fly(c.source);
        EXPECT_EQ(got.text, c.text) << c.source;
        EXPECT_EQ(got.marks, c.marks) << c.source;
    }
}

// Sources made of one byte repeated give the most statement ends or the
// most output per byte; none may overrun the buffers (the sanitizer build
// catches it).
TEST(TheFly, DegenerateSourcesStayInsideTheirBuffers) {
    struct Case {
        char byte;
        const char *head;  // expected start of the text
    } cases[] = {{';', " ; ; "}, {'{', " { { "}, {'"', "\"\""}, {'\'', "''"}, {'(', " ( ( "}, {'<', ""}};
    for (const Case &c : cases) {
        for (int size : {1, 2, 3, 4095, 4096, 100001}) {
            std::string source(size, c.byte);
            Flown got = fly(source);
            if (size >= 3) {
                EXPECT_EQ(got.text.substr(0, strlen(c.head)), c.head) << c.byte << size;
            }
            if (c.byte == ';') {
                EXPECT_EQ((int)got.marks.size(), size);
            }
        }
    }
}

// A file that fills whole pages has no byte of its own after its end; the
// tokenizer peeks one byte past it after '<', 'm', 's' and "tr".
TEST(TheFly, LoadsFilesThatEndOnAPageBoundary) {
    ScratchDir dir;
    for (const char *tail : {";m", ";s", ";t", ";tr", "<<", ";<", "\"", "x\\", "#"}) {
        std::string body(4096 - strlen(tail), ' ');
        body[0] = 'x';
        std::string path = dir.write("page.pl", body + tail);
        FileBuffer *buffer = file_buffer_new(path.c_str());
        char *text = fly_load(buffer);
        ASSERT_NE(text, nullptr) << tail;
        EXPECT_EQ(text[0], 'x') << tail;
        file_buffer_free(buffer);
    }
}

TEST(TheFly, MissingFileGivesNoText) {
    FileBuffer *buffer = file_buffer_new("/nonexistent/zk/a.pl");
    testing::internal::CaptureStderr();
    EXPECT_EQ(fly_load(buffer), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "No such file /nonexistent/zk/a.pl\n");
    file_buffer_free(buffer);
    EXPECT_EQ(fly_load(nullptr), nullptr);
}

// The tokenizer copies stretches and passes blank runs by 64-byte masks: the
// same code must give the same text and entries wherever it falls against
// them. Line feeds before it shift only the numbers.
TEST(TheFly, TextIsTheSameAtEveryOffset) {
    std::string body =
        "; my $self = shift; $s{a} = $x / 2; foo_s m{x}; tr/a/b/; $t = s/a/b/r; bar  baz\tqux\n  quux; $#a;"
        " # note\n'it''s' \"a\nb\\\"c\" q;\nprint <<EOF;\nbody;\nEOF\nx;\n=pod\ny;\n=cut\n"
        "sub f { return (1, 2); }\nx \\; y; a_m/b/ a_s a s/x/y/ 1 m 2 t;\n"
        "abcdefghij abcdefghij abcdefghij abcdefghij abcdefghij abcdefghij abcdefghij;\n"
        "$a->{b}->[0] = \"$c\" . 'd' x 3 ; @list = (1..10) ;# done\n\t\t  \n\n   z;";
    Flown base = fly(body);
    ASSERT_EQ(base.text.substr(0, 3), " ; ");
    for (int k = 0; k < 140; ++k) {
        Flown got = fly("x;" + std::string(k, '\n') + body);
        EXPECT_EQ(got.text, "x ; " + base.text.substr(1)) << k;
        std::vector<FlyMark> want = {{0, 1}};
        for (const FlyMark &m : base.marks) want.push_back({m.line + k, m.offset + 2 + k});
        EXPECT_EQ(got.marks, want) << k;
    }
}
