#pragma once
// Text primitives the library shares with the platform core: UTF-8 encoding into a caller's
// buffer, and the one scanner of the placeholders "{0}".."{9}", "{A}".."{F}".
#include "BrxExport.h"

#include <cstddef>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace i18n {

// Bytes that writeUtf8 writes for [first, last). A code point that is no Unicode scalar value
// (a surrogate, above U+10FFFF) counts as U+FFFD, three bytes.
BRX_EXPORT std::size_t utf8Size(const char32_t* first, const char32_t* last);
// Writes the UTF-8 of [first, last) to `out`, which has room for utf8Size(first, last) + 1
// bytes (4 per code point + 1 always suffices); returns the end of what was written.
BRX_EXPORT char* writeUtf8(const char32_t* first, const char32_t* last, char* out);

// Index 0..15 of the character between the braces of a placeholder, or -1.
inline int placeholderIndex(char32_t middle) {
    if (middle - U'0' <= 9u) {
        return static_cast<int>(middle - U'0');
    }
    if (middle - U'A' <= 5u) {
        return static_cast<int>(middle - U'A') + 10;
    }
    return -1;
}

// Skips what cannot start a placeholder: gives the first "{" at or after `from`, or the
// place from which fewer than four code points are left, all of them after `from` and none
// of them searched yet. Texts are mostly without braces: four code points at a time.
inline const char32_t* nextBrace(const char32_t* from, const char32_t* end) {
#if defined(__SSE2__)
    const __m128i brace = _mm_set1_epi32(U'{');
    for (; end - from >= 4; from += 4) {
        const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
        const int found = _mm_movemask_epi8(_mm_cmpeq_epi32(units, brace));
        if (found != 0) {
            return from + __builtin_ctz(static_cast<unsigned>(found)) / 4;
        }
    }
#else
    (void)end;
#endif
    return from;
}

// The first placeholder at or after `from`, or `end`; its index goes to `index`.
inline const char32_t* nextPlaceholder(const char32_t* from, const char32_t* end, int& index) {
    for (const char32_t* at = nextBrace(from, end); end - at >= 3; at = nextBrace(at + 1, end)) {
        if (at[0] == U'{' && at[2] == U'}') {
            const int found = placeholderIndex(at[1]);
            if (found >= 0) {
                index = found;
                return at;
            }
        }
    }
    return end;
}

} // namespace i18n
