#include <stdio.h>
#define MAX(a, b) ((a) > (b) ? (a) : (b))
int proto(int);
static const char *msg = "int fake(void) {";
/* int commented(void) { } */
int
knr(a)
int a;
{
    return a;
}
struct s *make(void)
{
    return 0;
}
int twice(int x) { if (x) { return 2 * x; } return 0; }
