// A one-line counter of files done on standard error, shown only when that
// is a terminal and a run has many files; erased at the end. Workers count
// into memory shared with the main process, which draws the line.
#pragma once

void progress_begin(int total);
void progress_step();   // one file done, in any process of the run
void progress_show();   // redraws at most every tenth of a second
bool progress_active();
void progress_end();
