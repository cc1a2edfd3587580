#include <stdio.h>
#define CALL(x) do { log_it(x); } while (0)
static int clamp(int v)
{
	if (v > 10) return limit(v);
	else
		v = adjust(v, scale(2));
	while (check(v)) v--;
	for (i = 0; i < n; i++) step(i);
	return v;
}
int main(int argc, char *argv[])
{
	printf(fmt, clamp(argc));
	obj->method(1);
	do_work ();
	x = (int)sizeof(int);
#define LOCAL 1
	tail();
	return 0;
}
int table[] = { f(1), g(2) };
