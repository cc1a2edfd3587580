#include "tags_format.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "env.h"

static std::string written(void (*write)(FILE *)) {
    char *data = nullptr;
    size_t size = 0;
    FILE *out = open_memstream(&data, &size);
    write(out);
    fclose(out);
    std::string text(data, size);
    free(data);
    return text;
}

// A name or path holding a tab, CR or LF would break the line into the
// wrong fields: such a tag is left out, and so is an empty name.
TEST(TagsFormat, LinesKeepTheirFields) {
    init_env();
    EXPECT_EQ(written([](FILE *o) { write_tag(o, "main", "./x.c", 16, 'f'); }), "main\t./x.c\t16\t; f\n");
    EXPECT_EQ(written([](FILE *o) { write_tag(o, "", "./x.c", 1, 'f'); }), "");
    EXPECT_EQ(written([](FILE *o) { write_tag(o, "a\tb", "./x.c", 1, 'f'); }), "");
    EXPECT_EQ(written([](FILE *o) { write_tag(o, "ab", "./x\n.c", 1, 'f'); }), "");
    EXPECT_EQ(written([](FILE *o) { write_tag(o, "a\rb", "./x.c", 1, 'f'); }), "");
    EXPECT_EQ(written([](FILE *o) { write_tag_qualified(o, "Foo", ":bar", "./q.pm", 3, 'f'); }),
              "Foo::bar\t./q.pm\t3\t; f\n");
    EXPECT_EQ(written([](FILE *o) { write_call_tag(o, "f", "./x.c", 9, "main"); }), "f\t./x.c\t9\t;\tby\tmain\n");
    EXPECT_EQ(written([](FILE *o) { write_call_tag(o, "f", "./x.c", 9, ""); }), "f\t./x.c\t9\n");
    get_env()->d_flags |= FL_VIM_TAGS;
    EXPECT_EQ(written([](FILE *o) { write_tag(o, "main", "./x.c", 16, 'f'); }), "main\t./x.c\t16;\"\tf\n");
    get_env()->d_flags &= ~FL_VIM_TAGS;
}
