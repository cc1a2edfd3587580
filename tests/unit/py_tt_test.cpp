#include "py_tt.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "condenser.h"
#include "script_fixture.h"

struct PyMark {
    int line, offset;
    bool operator==(const PyMark &o) const { return line == o.line && offset == o.offset; }
};
static std::ostream &operator<<(std::ostream &os, const PyMark &m) {
    return os << '{' << m.line << ',' << m.offset << '}';
}

struct PyCondensed {
    std::string text;
    std::vector<PyMark> marks;
};

static PyCondensed condense(const std::string &source) {
    std::vector<char> out(source.size() * 2 + 2);
    int n = py_tt_condense(source.c_str(), (int)source.size(), out.data());
    EXPECT_GE(n, 1);
    EXPECT_EQ(out[n - 1], 0);
    PyCondensed result{std::string(out.data(), n - 1), {}};
    int count = 0;
    LineMark *marks = py_tt_take_marks(&count);
    for (int k = 1; k <= count; ++k) {
        EXPECT_EQ(marks[k].d_index, k);
        result.marks.push_back({marks[k].d_line, marks[k].d_offset});
    }
    free(marks);
    return result;
}

struct PyCase {
    const char *source, *text;
    std::vector<PyMark> marks;
};

TEST(PyTt, CondensesPythonKeepingLineFeedsAndColons) {
    const PyCase cases[] = {
        {"def f(x): return {'a': 1}\n", "def f(x): return {'': 1}\n", {{0, 8}, {0, 21}, {0, 25}}},
        // A '#' inside a literal starts no comment.
        {"s = '#a' # c: d\nx\n", "s = ''\nx\n", {{0, 15}, {1, 17}}},
        // One blank of the indentation stays; none after a line ending in a blank.
        {"x = 1\n    y\n", "x = 1\n y\n", {}},
        {"x = 1 \n    y\n", "x = 1 \ny\n", {}},
        // Indentation before the first token is kept as it is.
        {" \t x\n", " \t x\n", {}},
        {"a = \"\"\"doc\nstring\"\"\"\nb:\n", "a = \nb:\n", {{1, 20}, {2, 22}, {2, 23}}},
        {"'''never closed\nx:\n", "", {}},
        {"x\"", "x\"\"", {}},
        {"r'\\'' + \"a\"'b' \"c\"\n", "r'' + \"\"\"\"\n", {{0, 18}}},
        {"", "", {}},
    };
    for (const PyCase &c : cases) {
        PyCondensed got = condense(c.source);
        EXPECT_EQ(got.text, c.text) << c.source;
        if (!c.marks.empty()) {
            EXPECT_EQ(got.marks, c.marks) << c.source;
        }
    }
}

TEST(PyTt, NextStatementCutsAtLineFeedsAndColons) {
    char text[] = "def f(x): return {'': 1}\nlast";
    char *cursor = text;
    std::vector<std::pair<std::string, char>> got;
    for (;;) {
        char *statement = cursor;
        char end = py_next_statement(&cursor, text + sizeof text);
        if (!end) break;
        got.push_back({statement, end});
    }
    std::vector<std::pair<std::string, char>> want = {
        {"def f(x)", ':'}, {" return {''", ':'}, {" 1}", '\n'}};
    EXPECT_EQ(got, want);  // the last piece, with no end, is never handed out
    EXPECT_EQ(cursor, text + sizeof text);
}

// Sources of one repeated byte: most output or most entries per byte.
TEST(PyTt, DegenerateSourcesStayInsideTheirBuffers) {
    for (char byte : {'\n', ':', '"', '\'', '#', ' '}) {
        for (int size : {1, 2, 3, 4096, 100001}) {
            PyCondensed got = condense(std::string(size, byte));
            if (byte == '\n' || byte == ':') {
                EXPECT_EQ((int)got.marks.size(), size);
            }
        }
    }
    // A lone quote before an embedded zero byte gives two bytes each time.
    std::string zeros;
    for (int i = 0; i < 5000; ++i) zeros += std::string("\"\0", 2);
    condense(zeros);
}

TEST(PyTt, LoadsLargeFilesAndPageSizedFiles) {
    ScratchDir dir;
    // Far beyond any fixed buffer: every def keeps its own line.
    std::string big;
    int lines = 0;
    while (big.size() < 5 * 1024 * 1024) {
        big += "def f" + std::to_string(lines) + "(a, b):\n    return {'k': a}  # note\n";
        lines += 2;
    }
    std::string path = dir.write("big.py", big);
    FileBuffer *buffer = file_buffer_new(path.c_str());
    ASSERT_NE(py_tt_load(buffer), nullptr);
    EXPECT_EQ(buffer->d_mark_capacity - 1, lines * 2);  // a ':' and a line feed per line
    EXPECT_EQ(buffer->d_marks[buffer->d_mark_capacity - 1].d_line, lines - 1);
    file_buffer_free(buffer);

    for (const char *tail : {"\"", "''", "\"\"\"", "x'''"}) {
        std::string body(4096 - strlen(tail), 'a');
        path = dir.write("page.py", body + tail);
        buffer = file_buffer_new(path.c_str());
        char *text = py_tt_load(buffer);
        ASSERT_NE(text, nullptr) << tail;
        EXPECT_EQ(text[0], 'a');
        file_buffer_free(buffer);
    }
}

TEST(PyTt, MissingFileGivesNoText) {
    FileBuffer *buffer = file_buffer_new("/nonexistent/zk/a.py");
    testing::internal::CaptureStderr();
    EXPECT_EQ(py_tt_load(buffer), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "No such file /nonexistent/zk/a.py\n");
    file_buffer_free(buffer);
}

// The condenser copies stretches and passes blank runs by 64-byte masks: the
// same code must give the same text and entries wherever it falls against
// them. Line feeds before it shift only the numbers.
TEST(PyTt, TextIsTheSameAtEveryOffset) {
    std::string body =
        "def f(a,  b):\n    '''doc\nstring'''\n    s = 'a:b' + \"c\\\"d\"  # c: x\n"
        "\tif x :  return {'k': 1}\nclass C ( object ) :\n"
        "    value = first_name + last_name + middle_name + other_name + final_name  \n"
        "x = r'\\'' \"a\nb\" \t \t y\n\"\"\"\n\"\"\" z:  \t\n   \n";
    PyCondensed base = condense(body);
    for (int k = 0; k < 140; ++k) {
        PyCondensed got = condense("x" + std::string(k, '\n') + body);
        EXPECT_EQ(got.text, "x" + std::string(k, '\n') + base.text) << k;
        std::vector<PyMark> want;
        for (int i = 0; i < k; ++i) want.push_back({i, 1 + i});
        for (const PyMark &m : base.marks) want.push_back({m.line + k, m.offset + 1 + k});
        EXPECT_EQ(got.marks, want) << k;
    }
}
