// The C/C++ condenser over any bytes, then the statement splitter, the
// classifier and the name helpers over every statement it yields. Checks
// what the callers rely on: the text fits its buffer, and the k-th statement
// the splitter cuts has line-map entry k, written by the condenser (readers
// index the map by statement number, so an unwritten entry is read blind).
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "classify.h"
#include "condenser.h"
#include "cxx_tags.h"
#include "statement.h"
#include "support/fuzz_support.h"
#include "text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > FUZZ_MAX_INPUT) return 0;
    fuzz_setup();
    char *source = fuzz_copy(data, size);
    int capacity = (int)size + 2;
    char *text = static_cast<char *>(malloc(size * 2 + 1));
    LineMark *marks = static_cast<LineMark *>(malloc(sizeof(LineMark) * (size_t)capacity));
    for (int k = 0; k < capacity; ++k) marks[k] = {-1, -1, -1};
    int n = tt_condense(source, (int)size, text, marks, capacity);
    if (n < 0 || (size_t)n > size * 2) abort();
    text[n] = 0;

    char *position = text, *stmt;
    int statements = 0;
    for (char end; (end = split_statement(&position, &stmt)) != 0;) {
        if (position < text || position > text + n) abort();
        ++statements;
        int cls = classify_statement(stmt, end);
        count_words(stmt);
        if (cls & STMT_DEFINE) {
            char name[256];
            define_name(stmt, name);
        }
        char *copy = strdup(stmt);
        declared_name(copy);
        free(copy);
        if (statements >= capacity || marks[statements].d_index != statements) abort();
        if (marks[statements].d_offset < 0 || marks[statements].d_offset > (int)size) abort();
    }

    free(marks);
    free(text);
    free(source);
    return 0;
}
