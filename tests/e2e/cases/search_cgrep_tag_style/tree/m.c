#include <stdlib.h>
int *make(int n) {
	int *p = malloc(sizeof(int) * n); /* malloc sizeof */
	int s = sizeof(int) + (int)(long)malloc(1);
	/* malloc(sizeof(x)) in a comment */
	char *q = malloc(n *
		sizeof
		(char));
	puts("malloc sizeof");
	return p;
}
