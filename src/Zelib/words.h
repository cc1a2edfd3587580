// The word splitter and the call-name test shared by the call tags and the
// forward call tree: a statement cut into runs of letters, digits,
// underscores and blanks, each with the character that ended it. A word
// followed by '(' that is one name and no statement keyword is a call.
#pragma once
#include <cstddef>

struct StringArray;

// One word of a statement; the record and its word belong to the list.
struct WordRecord {
    char *d_word;   // the run without its leading blanks and one trailing blank
    char d_follow;  // the character that ended the run; 0 at the end
};

// New list of WordRecord pointers (items cast to char *); null when no copy
// of the text could be made. The text is not changed.
StringArray *split_words(const char *text);
// Frees every record, its word and the list.
void free_words(StringArray *words);
WordRecord *word_at(const StringArray *words, int index);
// The called name (a position inside the record's word), or null.
char *call_name(const WordRecord *record);

// The same walk without allocating: a cursor over a zero-terminated text that
// yields each word as a range. REQUIRES: the text outlives the scan.
struct WordScan {
    const char *d_run;   // where the current run starts
    const char *d_scan;  // where scanning for its end starts
    bool d_done;
};
void word_scan_init(WordScan *scan, const char *text);
// False when the words are exhausted; else the word (not zero-terminated),
// its length and its follower.
bool word_scan_next(WordScan *scan, const char **word, size_t *length, char *follow);
// The called name of a word given as a range, or null. The name lives in a
// process-wide buffer until the next call.
const char *call_name_of(const char *word, size_t length, char follow);
