#include "words.h"

#include <cstdlib>
#include <cstring>

#include "classify.h"
#include "env.h"
#include "string_array.h"

static bool is_run_char(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           c == '_' || c == ' ';
}

static bool is_quote(char c) { return c == '\'' || c == '"'; }

void word_scan_init(WordScan *scan, const char *text) {
    scan->d_run = text;
    scan->d_scan = text && text[0] == ' ' ? text + 1 : text;
    scan->d_done = text == nullptr;
}

// The closing quote of the literal opened at open, or null when the text ends
// inside it. A quote preceded by an odd number of backslashes is escaped.
static const char *literal_end(const char *open) {
    char quote = *open;
    size_t backslashes = 0;
    for (const char *p = open + 1; *p; ++p) {
        if (*p == quote && backslashes % 2 == 0) return p;
        backslashes = *p == '\\' ? backslashes + 1 : 0;
    }
    return nullptr;
}

bool word_scan_next(WordScan *scan, const char **word, size_t *length, char *follow) {
    if (scan->d_done) return false;
    const char *p = scan->d_scan;
    while (is_run_char(*p)) ++p;
    if (*p == 0) {
        // The last run keeps its blanks.
        scan->d_done = true;
        *word = scan->d_run;
        *length = (size_t)(p - scan->d_run);
        *follow = 0;
        return true;
    }
    const char *start = scan->d_run;
    const char *end = p;
    if (end > start && end[-1] == ' ') --end;
    while (start < end && *start == ' ') ++start;
    *word = start;
    *length = (size_t)(end - start);
    *follow = *p;
    if (!is_quote(*p)) {
        scan->d_run = p + 1;
        scan->d_scan = p[1] == ' ' ? p + 2 : p + 1;
        return true;
    }
    // Literals are passed whole; one right after another opens the next.
    const char *open = p;
    for (;;) {
        const char *close = literal_end(open);
        if (!close || close[1] == 0) {
            scan->d_done = true;
            return true;
        }
        if (!is_quote(close[1])) {
            scan->d_run = scan->d_scan = close + 1;
            return true;
        }
        open = close + 1;
    }
}

// The name inside a zero-terminated word followed by follow, or null.
static char *call_name_in(char *word, char follow) {
    if (follow != '(' || !word) return nullptr;
    char *name = word;
    if (strncmp(name, "else ", 5) == 0) name += 5;
    while (strncmp(name, "do ", 3) == 0) name += 3;
    if (strncmp(name, "return ", 7) == 0) name += 7;
    if (find(get_env()->d_keywords, name) >= 0) return nullptr;
    return count_words(name) == 1 ? name : nullptr;
}

const char *call_name_of(const char *word, size_t length, char follow) {
    static char *buffer;
    static size_t capacity;
    if (follow != '(' || !word) return nullptr;
    if (length + 1 > capacity) {
        size_t grown = length + 1 > 256 ? length + 1 : 256;
        char *fresh = static_cast<char *>(realloc(buffer, grown));
        if (!fresh) return nullptr;
        buffer = fresh;
        capacity = grown;
    }
    memcpy(buffer, word, length);
    buffer[length] = 0;
    return call_name_in(buffer, follow);
}

char *call_name(const WordRecord *record) {
    return record ? call_name_in(record->d_word, record->d_follow) : nullptr;
}

WordRecord *word_at(const StringArray *words, int index) {
    return reinterpret_cast<WordRecord *>(at(words, index));
}

void free_words(StringArray *words) {
    if (!words) return;
    for (int i = 0; i < count(words); ++i) {
        WordRecord *record = word_at(words, i);
        free(record->d_word);
        free(record);
    }
    string_array_delete(words);
}

StringArray *split_words(const char *text) {
    if (!text) return nullptr;
    StringArray *words = string_array_new(16);
    if (!words) return nullptr;
    WordScan scan;
    word_scan_init(&scan, text);
    const char *word;
    size_t length;
    char follow;
    while (word_scan_next(&scan, &word, &length, &follow)) {
        WordRecord *record = static_cast<WordRecord *>(calloc(1, sizeof(WordRecord)));
        char *copy = record ? strndup(word, length) : nullptr;
        if (!copy || !push(words, reinterpret_cast<char *>(record))) {
            free(copy);
            free(record);
            free_words(words);
            return nullptr;
        }
        record->d_word = copy;
        record->d_follow = follow;
    }
    return words;
}
