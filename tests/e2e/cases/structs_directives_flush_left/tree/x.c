struct point {
  int x, y; /* coords */
#ifdef Z
  int z;
#endif
};
