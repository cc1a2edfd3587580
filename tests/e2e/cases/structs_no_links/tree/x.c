typedef int myint;
struct point origin;
void f(void) { struct point p = { 1, 2 }; }
