// What one condensed C/C++ statement is, from its text and end character
// alone: prefix tests, word counts and a scan of parentheses. Stateless.
#pragma once

enum {
    STMT_VARIABLE = 0x1,
    STMT_TYPEDEF = 0x2,
    STMT_EXTERN = 0x4,
    STMT_FUNCTION = 0x8,
    STMT_STRUCT = 0x10,
    STMT_CONTROL = 0x20,
    STMT_DIRECTIVE = 0x40,
    STMT_CALL = 0x80,
    STMT_DEFINE = 0x100,
    STMT_CLASS = 0x200,
    STMT_NAMESPACE = 0x400,
    STMT_OTHER = 0x40000000,
};

int classify_statement(const char *text, char end);
int count_words(const char *text);
bool is_define(const char *text);
