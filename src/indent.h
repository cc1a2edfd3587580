// The --indent filter: C/C++ from standard input, one statement a line.
#pragma once
void indent_stdin();
