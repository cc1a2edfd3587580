#include "prompt.h"
#include <cstring>
void interactive_tags() {}
bool select_editor(const char *) { return false; }
void launch_editor() {}
