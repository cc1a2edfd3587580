#define foo_bar 1
#define foo2 1
#define Foo 1
#define a_rather_long_name_x 1
#define a_rather_long_name 1
#define a_rather_long_name_y 1
#define a_rather_long_nam 1
#define zz 1
#define foo 1
#define foo 2
int last_one;
