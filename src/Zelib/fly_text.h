// Small scanners shared by the script condensers: the literal skipper, a
// byte counter and a byte-string search. None allocates; all accept null
// pointers and answer null or 0. REQUIRES: a zero byte ends every text given.
#pragma once
#ifdef __SSE2__
#include <emmintrin.h>
#endif

// Copies the run in[pos, pos + run) to out and returns the end of the copy:
// sixteen bytes a store while sixteen source bytes remain from pos.
// REQUIRES: out has room for sixteen bytes past the copy.
inline char *copy_stretch(char *out, const char *in, int pos, int run, int len) {
#ifdef __SSE2__
    while (run > 0 && pos + 16 <= len) {
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out), _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + pos)));
        int step = run < 16 ? run : 16;
        out += step;
        pos += step;
        run -= step;
    }
#endif
    for (; run > 0; --run) *out++ = in[pos++];
    return out;
}

// The position of the quote that closes the literal opened at p (the last of
// a run of adjacent literals), or the byte before the zero byte when it is
// never closed; null for a null p or a zero byte at p.
const char *skip_string(const char *p);
// skip_string, adding to *lines the line feeds in [p, result). REQUIRES: the
// bytes up to limit may be read (the zero byte lies before limit); sixteen of
// them are looked at a time.
const char *skip_string_lines(const char *p, const char *limit, int *lines);
// How many bytes equal to c lie in [begin, end).
int count_char(const char *begin, const char *end, char c);
// The first occurrence of pattern within the first text_length bytes of
// text, a match ending exactly at the end included; null when none.
const char *find_bytes(const char *text, int text_length, const char *pattern, int pattern_length);
