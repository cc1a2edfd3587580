// The driver of the file-processing modes (tags, call tags, searches): the
// worker processes, and the writer of the sorted "tags" and "call_tags".
#pragma once
int process_files();
