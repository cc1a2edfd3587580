#include "gui_terminal.h"

#include <cstdio>

#include "env.h"
#include "lookup.h"
#include "string_array.h"
#include "tags_program.h"

void print_tag_blocks(const char *name, int level) {
    Env *env = get_env();
    bool linear = env->d_flags & FL_LINEAR;
    StringArray *tags = find_tags(name);
    if (count(tags) == 0 && env->d_debug) {
        fprintf(env->d_debug, "\tBUG at file %s line %i \"%s\"\n", "src/gui_terminal", 90, "Polnar 1");
        fflush(env->d_debug);
    }
    for (int k = 0; k < count(tags); ++k) {
        TagLocation *tag = tag_at(tags, k);
        if (k > 0) putchar('\n');
        if (!linear)
            for (int t = 0; t < level; ++t) putchar('\t');
        printf("// file %s line %i\n", tag->file, tag->line);
        BlockRequest request = {level, tag->line, (uint8_t)(linear ? 1 : 0),
                                (uint8_t)(tag->kind == TAG_KIND_FUNCTION), tag->file, nullptr};
        print_block(&request);
    }
    free_tags(tags);
    putchar('\n');
}
