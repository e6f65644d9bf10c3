#pragma once
// UTF-8 <-> UTF-32 and UTF-32 <-> UTF-16 without ICU converters: every string construction
// and c_str() of the library runs through here, so ASCII goes eight bytes at a time.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace i18n {

constexpr char32_t kReplacement = 0xFFFD;
constexpr char32_t kMaxCodePoint = 0x10FFFF;

inline bool isScalarValue(char32_t c) {
    return c <= kMaxCodePoint && (c < 0xD800 || c > 0xDFFF);
}

inline bool isTrail(unsigned char b) {
    return (b & 0xC0) == 0x80;
}

// Decodes one code point that starts with the non-ASCII byte p[-1] (already consumed);
// advances p past it. Ill-formed input gives U+FFFD per maximal ill-formed subsequence:
// a bad lead byte (0x80..0xC1, 0xF5..0xFF) is one, and a lead byte followed by fewer valid
// trail bytes than it needs is one together with those trail bytes. The second byte's range
// excludes overlongs (E0 80.., F0 80..) and encoded surrogates (ED A0..).
inline char32_t
decodeMultiByte(unsigned char lead, const unsigned char*& p, const unsigned char* end) {
    if (lead < 0xC2 || lead > 0xF4) {
        return kReplacement;
    }
    if (lead < 0xE0) {
        if (p == end || !isTrail(*p)) {
            return kReplacement;
        }
        return (char32_t(lead & 0x1F) << 6) | (*p++ & 0x3F);
    }
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead == 0xE0) {
        low = 0xA0;
    } else if (lead == 0xED) {
        high = 0x9F;
    } else if (lead == 0xF0) {
        low = 0x90;
    } else if (lead == 0xF4) {
        high = 0x8F;
    }
    if (p == end || *p < low || *p > high) {
        return kReplacement;
    }
    if (lead < 0xF0) {
        char32_t c = (char32_t(lead & 0x0F) << 12) | (char32_t(*p++ & 0x3F) << 6);
        if (p == end || !isTrail(*p)) {
            return kReplacement;
        }
        return c | (*p++ & 0x3F);
    }
    char32_t c = (char32_t(lead & 0x07) << 18) | (char32_t(*p++ & 0x3F) << 12);
    if (p == end || !isTrail(*p)) {
        return kReplacement;
    }
    c |= char32_t(*p++ & 0x3F) << 6;
    if (p == end || !isTrail(*p)) {
        return kReplacement;
    }
    return c | (*p++ & 0x3F);
}

// Blocks of eight are tried only after eight ASCII units in a row: in accented text a
// failing block test costs a mispredicted branch every few characters, twice the time of
// the plain loop; in ASCII text the blocks are twice as fast as the plain loop.
constexpr int kAsciiRunForBlocks = 8;

// Widens the ASCII bytes at the start of [p, end) sixteen at a time while whole blocks of
// sixteen are ASCII; advances p and out past what it wrote.
inline void widenAsciiBlocks(const unsigned char*& p, const unsigned char* end, char32_t*& out) {
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    while (end - p >= 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        if (_mm_movemask_epi8(bytes) != 0) {
            return;
        }
        const __m128i low = _mm_unpacklo_epi8(bytes, zero);
        const __m128i high = _mm_unpackhi_epi8(bytes, zero);
        auto* target = reinterpret_cast<__m128i*>(out);
        _mm_storeu_si128(target, _mm_unpacklo_epi16(low, zero));
        _mm_storeu_si128(target + 1, _mm_unpackhi_epi16(low, zero));
        _mm_storeu_si128(target + 2, _mm_unpacklo_epi16(high, zero));
        _mm_storeu_si128(target + 3, _mm_unpackhi_epi16(high, zero));
        p += 16;
        out += 16;
    }
#else
    (void)p;
    (void)end;
    (void)out;
#endif
}

// Decodes UTF-8 [p, end) into out, which has room for end - p code points (never more are
// needed); returns the end of what was written. Between block runs, a tight loop takes one
// unit at a time until a run of kAsciiRunForBlocks ASCII units sends it back to the blocks:
// short names and the tails of texts never pay for the block tests again.
inline char32_t* decodeUtf8(const unsigned char* p, const unsigned char* end, char32_t* out) {
    for (;;) {
        widenAsciiBlocks(p, end, out);
        while (end - p >= 8) {
            std::uint64_t word;
            std::memcpy(&word, p, 8);
            if (word & 0x8080808080808080ULL) {
                break;
            }
            for (int i = 0; i < 8; ++i) {
                out[i] = p[i];
            }
            p += 8;
            out += 8;
        }
        int asciiRun = 0;
        while (asciiRun < kAsciiRunForBlocks) {
            if (p == end) {
                return out;
            }
            const unsigned char lead = *p++;
            if (lead < 0x80) {
                *out++ = lead;
                ++asciiRun;
            } else {
                *out++ = decodeMultiByte(lead, p, end);
                asciiRun = 0;
            }
        }
    }
}

// Appends UTF-8 [text, text + length) to `out`. A short text (names and values, nearly
// every text) is decoded into a buffer on the stack first, so that `out` grows once, by
// exactly the code points decoded: resizing it first would zero-fill four bytes per byte of
// text and leave a buffer sized for the bytes, not the code points.
inline void appendUtf8(std::u32string& out, const char* text, std::size_t length) {
    constexpr std::size_t kOnStack = 256;
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    if (length <= kOnStack) {
        char32_t buffer[kOnStack];
        out.append(buffer, static_cast<std::size_t>(decodeUtf8(p, p + length, buffer) - buffer));
        return;
    }
    const std::size_t old = out.size();
    out.resize(old + length);
    char32_t* last = decodeUtf8(p, p + length, &out[old]);
    out.resize(static_cast<std::size_t>(last - out.data()));
}

// Bytes that encodeUtf8 writes for [p, end); code points that are not scalar values
// (surrogates, above U+10FFFF) are written as U+FFFD, three bytes.
inline std::size_t utf8Length(const char32_t* p, const char32_t* end) {
    std::size_t n = 0;
    for (; p != end; ++p) {
        const char32_t c = *p;
        n += 1 + (c >= 0x80) + (c >= 0x800) + (c >= 0x10000 && c <= kMaxCodePoint);
    }
    return n;
}

// Writes the UTF-8 of [p, end) to out, which has room for utf8Length(p, end) + 1 bytes;
// returns the end of the text.
// Narrows the ASCII code points at the start of [p, end) eight at a time while whole blocks
// of eight are ASCII; advances p and out past what it wrote.
inline void narrowAsciiBlocks(const char32_t*& p, const char32_t* end, char*& out) {
#if defined(__SSE2__)
    const __m128i nonAscii = _mm_set1_epi32(~0x7F);
    const __m128i zero = _mm_setzero_si128();
    while (end - p >= 8) {
        const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 4));
        const __m128i outside = _mm_and_si128(_mm_or_si128(low, high), nonAscii);
        if (_mm_movemask_epi8(_mm_cmpeq_epi32(outside, zero)) != 0xFFFF) {
            return;
        }
        // Every value is below 0x80: the saturating packs keep them as they are.
        const __m128i words = _mm_packs_epi32(low, high);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(words, words));
        p += 8;
        out += 8;
    }
#else
    (void)p;
    (void)end;
    (void)out;
#endif
}

inline char* encodeUtf8(const char32_t* p, const char32_t* end, char* out) {
    int asciiRun = kAsciiRunForBlocks;
    while (p != end) {
        if (asciiRun >= kAsciiRunForBlocks) {
            narrowAsciiBlocks(p, end, out);
            while (end - p >= 8) {
                char32_t highest = 0;
                for (int i = 0; i < 8; ++i) {
                    highest |= p[i];
                }
                if (highest >= 0x80) {
                    break;
                }
                for (int i = 0; i < 8; ++i) {
                    out[i] = static_cast<char>(p[i]);
                }
                p += 8;
                out += 8;
            }
            if (p == end) {
                break;
            }
        }
        char32_t c = *p++;
        if (c < 0x800) {
            // One or two bytes without a branch: Latin text switches between them every few
            // letters, which no branch predictor follows. The second byte is always written,
            // so the target has a byte of room beyond the text.
            const bool wide = c >= 0x80;
            out[0] = static_cast<char>(wide ? 0xC0 | (c >> 6) : c);
            out[1] = static_cast<char>(0x80 | (c & 0x3F));
            out += 1 + wide;
            asciiRun = wide ? 0 : asciiRun + 1;
            continue;
        }
        asciiRun = 0;
        if (!isScalarValue(c)) {
            c = kReplacement;
        }
        if (c < 0x10000) {
            *out++ = static_cast<char>(0xE0 | (c >> 12));
            *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            *out++ = static_cast<char>(0x80 | (c & 0x3F));
            continue;
        }
        *out++ = static_cast<char>(0xF0 | (c >> 18));
        *out++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (c & 0x3F));
    }
    return out;
}

// Replaces `out` with the UTF-8 of [p, end); reuses out's capacity. Short texts are written
// in one pass into room for four bytes per code point (counting first costs more than the
// room); long ones are counted first, so that the cache never holds four times its size.
inline void toUtf8(const char32_t* p, const char32_t* end, std::string& out) {
    constexpr std::ptrdiff_t kOnePassLimit = 1024;
    if (end - p <= kOnePassLimit) {
        out.resize(4 * static_cast<std::size_t>(end - p) + 1);
        out.resize(static_cast<std::size_t>(encodeUtf8(p, end, &out[0]) - out.data()));
        return;
    }
    const std::size_t length = utf8Length(p, end);
    out.resize(length + 1);
    encodeUtf8(p, end, &out[0]);
    out.resize(length);
}

// UTF-32 to UTF-16 into out, which has room for 2 * (end - p) units; code points that are
// not scalar values become U+FFFD. Returns the end of what was written.
inline char16_t* encodeUtf16(const char32_t* p, const char32_t* end, char16_t* out) {
    // Blocks below the surrogates, nearly all text, narrow in a loop the compiler vectorizes.
    while (end - p >= 8) {
        char32_t highest = 0;
        for (int i = 0; i < 8; ++i) {
            highest |= p[i];
        }
        if (highest >= 0xD800) {
            break;
        }
        for (int i = 0; i < 8; ++i) {
            out[i] = static_cast<char16_t>(p[i]);
        }
        p += 8;
        out += 8;
    }
    for (; p != end; ++p) {
        char32_t c = *p;
        if (c < 0xD800) {
            *out++ = static_cast<char16_t>(c);
            continue;
        }
        if (!isScalarValue(c)) {
            c = kReplacement;
        }
        if (c < 0x10000) {
            *out++ = static_cast<char16_t>(c);
        } else {
            *out++ = static_cast<char16_t>(0xD7C0 + (c >> 10));
            *out++ = static_cast<char16_t>(0xDC00 | (c & 0x3FF));
        }
    }
    return out;
}

inline void toUtf16(const char32_t* p, const char32_t* end, std::u16string& out) {
    out.resize(2 * static_cast<std::size_t>(end - p));
    out.resize(static_cast<std::size_t>(encodeUtf16(p, end, &out[0]) - out.data()));
}

// UTF-16 of a code-point string, on the stack when it is short: comparisons and case
// mappings hand ICU UTF-16 on every call.
class Utf16Buffer {
public:
    Utf16Buffer(const char32_t* p, const char32_t* end) {
        const std::size_t room = 2 * static_cast<std::size_t>(end - p);
        char16_t* target = f_local;
        if (room > kLocal) {
            f_heap.resize(room);
            target = &f_heap[0];
        }
        f_data = target;
        f_length = encodeUtf16(p, end, target) - target;
    }
    Utf16Buffer(const Utf16Buffer&) = delete;
    Utf16Buffer& operator=(const Utf16Buffer&) = delete;

    const char16_t* data() const { return f_data; }
    std::ptrdiff_t length() const { return f_length; }

private:
    static constexpr std::size_t kLocal = 256;
    char16_t f_local[kLocal];
    std::u16string f_heap;
    const char16_t* f_data;
    std::ptrdiff_t f_length;
};

// UTF-16 to UTF-32, appended; unpaired surrogates become U+FFFD.
inline void appendUtf16(std::u32string& out, const char16_t* p, const char16_t* end) {
    out.reserve(out.size() + static_cast<std::size_t>(end - p));
    while (p != end) {
        const char32_t c = *p++;
        if (c < 0xD800 || c > 0xDFFF) {
            out.push_back(c);
        } else if (c <= 0xDBFF && p != end && *p >= 0xDC00 && *p <= 0xDFFF) {
            out.push_back(0x10000 + ((c - 0xD800) << 10) + (*p++ - 0xDC00));
        } else {
            out.push_back(kReplacement);
        }
    }
}

} // namespace i18n
