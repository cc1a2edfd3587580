#include "fly_text.h"

#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

const char *skip_string(const char *p) {
    if (!p || *p == 0) return nullptr;
    const char *s = p;
    for (;;) {
        char quote = *s;
        if (quote != '"' && quote != '\'') return s - 1;
        // Inside the literal: a backslash escapes the byte after it, so the
        // closing quote is the first one not preceded by an odd run of them.
        ++s;
        for (;;) {
            char c = *s;
            if (c == 0) return s - 1;
            if (c == '\\') {
                if (s[1] == 0) return s;
                s += 2;
                continue;
            }
            ++s;
            if (c == quote) break;
        }
        // s is past the closing quote: a literal right after it joins the run.
    }
}

// The bits of mask, counted one by one: line feeds in a literal are few.
static inline int bit_count(unsigned mask) {
    int n = 0;
    for (; mask; mask &= mask - 1) ++n;
    return n;
}

const char *skip_string_lines(const char *p, const char *limit, int *lines) {
    if (!p || *p == 0) return nullptr;
    const char *s = p;
    int feeds = 0;
    for (;;) {
        char quote = *s;
        if (quote != '"' && quote != '\'') {
            *lines += feeds;
            return s - 1;
        }
        ++s;
        for (;;) {
#ifdef __SSE2__
            // Sixteen bytes at a time up to the first quote, backslash or zero:
            // the bytes before it are passed, counting their line feeds.
            if (limit - s >= 16) {
                __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s));
                __m128i hit = _mm_or_si128(_mm_cmpeq_epi8(x, _mm_set1_epi8(quote)),
                                           _mm_cmpeq_epi8(x, _mm_set1_epi8('\\')));
                hit = _mm_or_si128(hit, _mm_cmpeq_epi8(x, _mm_setzero_si128()));
                unsigned stops = (unsigned)_mm_movemask_epi8(hit);
                unsigned feed_bits = (unsigned)_mm_movemask_epi8(_mm_cmpeq_epi8(x, _mm_set1_epi8('\n')));
                if (!stops) {
                    feeds += bit_count(feed_bits);
                    s += 16;
                    continue;
                }
                int skip = __builtin_ctz(stops);
                feeds += bit_count(feed_bits & ((1u << skip) - 1));
                s += skip;
            }
#endif
            char c = *s;
            if (c == 0) {
                // The byte before the zero is the answer, outside the range.
                *lines += feeds - (s[-1] == '\n');
                return s - 1;
            }
            if (c == '\\') {
                if (s[1] == 0) {
                    *lines += feeds;
                    return s;
                }
                feeds += s[1] == '\n';
                s += 2;
                continue;
            }
            feeds += c == '\n';
            ++s;
            if (c == quote) break;
        }
    }
}

int count_char(const char *begin, const char *end, char c) {
    if (!begin || !end || end <= begin) return 0;
    int n = 0;
    const char *p = begin;
#ifdef __SSE2__
    // Each lane counts its matches down from zero in a byte; the bytes are
    // summed before any of them can wrap (255 rounds).
    const __m128i needle = _mm_set1_epi8(c);
    while (end - p >= 16) {
        __m128i counts = _mm_setzero_si128();
        for (int round = 0; round < 255 && end - p >= 16; ++round, p += 16)
            counts = _mm_sub_epi8(counts, _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p)), needle));
        __m128i sums = _mm_sad_epu8(counts, _mm_setzero_si128());
        n += _mm_cvtsi128_si32(sums) + _mm_cvtsi128_si32(_mm_unpackhi_epi64(sums, sums));
    }
#endif
    for (; p < end; ++p) n += *p == c;
    return n;
}

const char *find_bytes(const char *text, int text_length, const char *pattern, int pattern_length) {
    if (!text || !pattern || text_length < pattern_length || pattern_length < 0) return nullptr;
    int at = 0;
#ifdef __SSE2__
    // The patterns searched for ("\n=cut\n", a here-document's end line, a
    // triple quote) have first two bytes that are rare together: sixteen
    // places are tested on those at a time and only the hits compared whole.
    if (pattern_length >= 2) {
        const __m128i first = _mm_set1_epi8(pattern[0]);
        const __m128i second = _mm_set1_epi8(pattern[1]);
        for (; at + 17 <= text_length; at += 16) {
            __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(text + at));
            __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(text + at + 1));
            unsigned hits = (unsigned)_mm_movemask_epi8(
                _mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, second)));
            for (; hits; hits &= hits - 1) {
                int place = at + __builtin_ctz(hits);
                if (place + pattern_length > text_length) return nullptr;
                if (memcmp(text + place + 2, pattern + 2, pattern_length - 2) == 0) return text + place;
            }
        }
    }
#endif
    return static_cast<const char *>(memmem(text + at, text_length - at, pattern, pattern_length));
}
