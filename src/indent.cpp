#include "indent.h"
void indent_stdin() {}
