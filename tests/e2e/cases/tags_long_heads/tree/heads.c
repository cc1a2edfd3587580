#include <x.h>

/* head */
static int
/* a comment, with words; and { braces } */ very_long_function_name_here(int argument_one,
    struct some_type *second_argument) /* trailing */
{
}
#define A_VERY_LONG_MACRO_NAME_FOR_TESTS(x) \
    do { x; } while (0)
struct a_long_structure_name_for_tests {
	int field;
};
