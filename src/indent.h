// The --indent filter: C/C++ from standard input to standard output, one
// statement a line, two blanks a brace level; directive lines stay whole.
#pragma once
void indent_stdin();
