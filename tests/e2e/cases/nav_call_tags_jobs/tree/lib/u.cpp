/* another bar, later in the tags file */
int bar(void) { return 1; }
