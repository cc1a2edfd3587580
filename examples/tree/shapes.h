#ifndef SHAPES_H
#define SHAPES_H

struct shape {
	int width;
	int height;
};

typedef struct shape shape_t;

int shape_area(struct shape *s);
int area_sum(struct shape *s, int n);

#endif
