#include <stdio.h>
#define MAX(a, b) ((a) > (b) ? (a) : (b))
#define LIMIT 10
typedef unsigned int uint;
struct point {
int x, y;
};
typedef struct node {
struct node *next;
} node_t;
static int
clamp (int v)
{
return v > LIMIT ? LIMIT : v;
}
int main(int argc, char *argv[])
{
struct point p;
return clamp(argc);
}
int enumerate(void) { return 0; }
