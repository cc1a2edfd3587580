typedef struct {
  struct { int a; } inner;
  char *name;
} rec_t;
