/* A small example tree for the demo. */
#include <stdio.h>
#include "shapes.h"

#define MAX(a, b) ((a) > (b) ? (a) : (b))

static int clamp(int v, int limit)
{
	return MAX(v, limit);
}

int area_sum(struct shape *s, int n)
{
	int total = 0;
	for (int i = 0; i < n; i++)
		total += shape_area(&s[i]);
	return clamp(total, 0);
}

int main(int argc, char *argv[])
{
	struct shape all[2] = { { 2, 3 }, { 4, 5 } };
	printf("%d\n", area_sum(all, 2)); // prints 26
	return argc > 1 ? 1 : 0;
}
