// Source discovery (find, by extension) and routing of one file to the
// action of the current mode and the extractor of its language.
#pragma once
#include <cstdio>
struct StringArray;
// Every source file below ".", in the order find gives them; with
// regular_only, only regular files (after following links).
StringArray *discover_files(bool regular_only);
// The same files one at a time, taken while find still runs: the name
// returned is valid until the next call; null at the end. Close waits for
// find.
struct FindStream;
FindStream *find_stream_open(bool regular_only);
// A stream of names read from fd in packets of NUL-ended names: a socket
// the workers share, each taking the next packet when it is ready for more.
// A packet holds at most NAME_PACKET_MAX bytes.
const int NAME_PACKET_MAX = 65536;
FindStream *name_stream(int fd);
const char *find_stream_next(FindStream *stream);
void find_stream_close(FindStream *stream);
int language_of_path(const char *path);
bool is_cxx_path(const char *path);
void route_file(const char *path, FILE *out);
int route_tags(const char *path, FILE *out);
int print_file_list();
