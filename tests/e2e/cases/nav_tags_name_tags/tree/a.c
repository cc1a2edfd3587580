static int
clamp (int v)
{
	if (v > 10) /* } */
		return limit(v);
	return v;
}
struct point {
	int x, y;	/* { */
};
#define TWO(a) \
	((a) + \  
	(a))
typedef unsigned int uint;
int kr(a)
int a;
{
	char c = '}';
	return a; // }
}
int dup(void) { return 1; }
