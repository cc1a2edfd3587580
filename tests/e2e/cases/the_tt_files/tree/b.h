#define X(a) \
  foo(a)
int y = X(1);
