// The statement cursor: a condensed C/C++ file walked one statement at a
// time with its brace depth, keeping d_stmt_index equal to the number of the
// current statement (the index of its LineMark). split_statement cuts the
// condensed text in place, so a text can be walked only once.
#pragma once

struct FileBuffer;

struct StatementCursor {
    char d_end;            // ';', '{', '}' or '\n'; 0 once exhausted
    FileBuffer *d_buffer;  // owned; null when no file is open
    int d_brace_depth;     // depth of the current statement
    char *d_stmt;          // the current statement
    char *d_next;          // where the next one begins
    int d_brace_change;    // applied on the next move
};

// Cuts the statement at *position, zero-terminates it, sets *statement and
// returns its end character, or 0 at the end of the text.
char split_statement(char **position, char **statement);
void cursor_init(StatementCursor *cursor);
int cursor_open(StatementCursor *cursor, const char *path);
int cursor_rewind(StatementCursor *cursor);
char *cursor_next(StatementCursor *cursor);
char *cursor_statement(StatementCursor *cursor);
int cursor_classify(StatementCursor *cursor);
void cursor_close(StatementCursor *cursor);
