// Text support: numbers and booleans as text, the fixed texts of the catalog, comparison and
// case, character classes, converters, time conversions and hashing (substitution has a unit
// of its own: UTSubstitution.cpp).
#include "UTStringSupport.h"

#include "UTLibraryInternal.h"
#include "UTResourceAccess.h"
#include "UTStringSupportInternal.h"

#include <BrxException.h>
#include <BrxThread.h>
#include <I18NCodePoint.h>
#include <atomic>
#include <cctype>
#include <charconv>
#include <crt_string.h>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <type_traits>
#include <utility>

namespace {

constexpr std::uint32_t kFixedTextMessages[kFixedTextCount] = {
    0xF7C35931, // space
    0xF7C01AAD, // separator
    0xF7C83D52, // quote
    0xF7C00B3A, // colon
    0xF7C528CA, // directory separator
};
constexpr std::uint32_t kTrueMessage = 0xF7C73265;
constexpr std::uint32_t kFalseMessage = 0xF7C80C5D;
constexpr std::uint32_t kUserCancelledMessage = 0x72142C4D;

const char kEmptyNarrowText[] = "";

I18NString fetchFromCatalog(std::uint32_t messageNumber) {
    return AUT_ResourceGetString(messageNumber);
}

ResourceFetcher g_fetch = fetchFromCatalog;

// Set once the fixed texts and the placeholder table are filled; they are read without a lock
// after that. The mutex only keeps two first callers from filling them at the same time.
std::atomic<bool> g_fixedTextsDone{false};
std::mutex g_fixedTextsMutex;
// A fetch that comes back here on the same thread (a catalog failure that gets logged, and the
// log substitutes its record) must neither wait for itself nor fetch again.
thread_local bool t_fillingFixedTexts = false;

void fillFixedTexts() {
    if (t_fillingFixedTexts) {
        return;
    }
    std::lock_guard<std::mutex> lock(g_fixedTextsMutex);
    if (g_fixedTextsDone.load(std::memory_order_relaxed)) {
        return;
    }
    t_fillingFixedTexts = true;
    struct ClearBusy {
        ~ClearBusy() { t_fillingFixedTexts = false; }
    } clearBusy;

    for (int i = 0; i < kPlaceholderCount; ++i) {
        const char32_t middle = i < 10 ? U'0' + i : U'A' + (i - 10);
        AUTg_PlaceholderTable[i] = I18NString(std::u32string{U'{', middle, U'}'});
    }
    // A fetch that throws leaves the flag clear, so the next call starts again.
    I18NString fetched[kFixedTextCount];
    for (int i = 0; i < kFixedTextCount; ++i) {
        fetched[i] = g_fetch(kFixedTextMessages[i]);
    }
    // The directory separator is path syntax, not a word: no catalog may move files elsewhere.
    if (fetched[kFixedTextDirSeparator] != "/") {
        fetched[kFixedTextDirSeparator] = "/";
    }
    for (int i = 0; i < kFixedTextCount; ++i) {
        AUTg_FixedTexts[i] = std::move(fetched[i]);
    }
    g_fixedTextsDone.store(true, std::memory_order_release);
}

I18NString fixedText(EFixedText which) {
    EnsureFixedTexts();
    return AUTg_FixedTexts[which];
}

I18NString fromAscii(const char* begin, const char* end) {
    return I18NString(std::u32string(begin, end));
}

template <typename Integer> I18NString integerToString(Integer value) {
    char buffer[24];
    const auto converted = std::to_chars(buffer, buffer + sizeof buffer, value);
    return fromAscii(buffer, converted.ptr);
}

// White space as the "C" locale's isspace sees it.
inline bool isCSpace(char32_t c) {
    return c == U' ' || (c >= U'\t' && c <= U'\r');
}

// atol's syntax (leading blanks, one sign, decimal digits, the rest ignored) with the value
// taken modulo 2^32, however many digits there are.
std::uint32_t parseDecimal32(const std::u32string& text) {
    std::size_t at = 0;
    const std::size_t size = text.size();
    while (at < size && isCSpace(text[at])) {
        ++at;
    }
    bool negative = false;
    if (at < size && (text[at] == U'-' || text[at] == U'+')) {
        negative = text[at] == U'-';
        ++at;
    }
    std::uint32_t value = 0;
    for (; at < size && text[at] - U'0' <= 9u; ++at) {
        value = value * 10u + (text[at] - U'0');
    }
    return negative ? 0u - value : value;
}

} // namespace

void EnsureFixedTexts() {
    if (!g_fixedTextsDone.load(std::memory_order_acquire)) {
        fillFixedTexts();
    }
}

// ---- Numbers and booleans ----------------------------------------------------------------------

I18NString AUT_ToString(int value) {
    return integerToString(value);
}

I18NString AUT_ToString(unsigned long value) {
    return integerToString(value);
}

I18NString AUT_ToString(long value) {
    return integerToString(value);
}

I18NString AUT_ToString(double value) {
    // Enough for "%.15g" of any double: sign, 15 digits, point, exponent.
    char buffer[32];
    const int length = std::snprintf(buffer, sizeof buffer, "%.15g", value);
    return fromAscii(buffer, buffer + (length > 0 ? length : 0));
}

I18NString AUT_ToString(bool value) {
    return g_fetch(value ? kTrueMessage : kFalseMessage);
}

unsigned long AUT_ToUInt(I18NString text) {
    return parseDecimal32(std::as_const(text).codePoints());
}

long AUT_ToInt(I18NString text) {
    return static_cast<std::int32_t>(parseDecimal32(std::as_const(text).codePoints()));
}

long AUT_ToTime(I18NString text) {
    static_assert(std::is_same<long, std::time_t>::value, "a long time is a time_t");
    return std::atol(text.c_str());
}

double AUT_ToFloat(I18NString text) {
    return std::atof(text.c_str());
}

bool AUT_ToBool(I18NString text) {
    return text.length() == 1 && text[0] == U'1';
}

// ---- Fixed texts -----------------------------------------------------------------------------

I18NString AUT_GetSpaceString() {
    return fixedText(kFixedTextSpace);
}

I18NString AUT_GetSeparatorString() {
    return fixedText(kFixedTextSeparator);
}

I18NString AUT_GetQuoteString() {
    return fixedText(kFixedTextQuote);
}

I18NString AUT_GetColonString() {
    return fixedText(kFixedTextColon);
}

I18NString AUT_GetDirSeparator() {
    return fixedText(kFixedTextDirSeparator);
}

I18NString AUT_GetUserCancelledString() {
    return g_fetch(kUserCancelledMessage);
}

const char* AUT_GetEmptyCharPointer() {
    return kEmptyNarrowText;
}

const I18NString& AUT_GetEmptyString() {
    static const I18NString empty;
    return empty;
}

ResourceFetcher SetResourceFetcherForTest(ResourceFetcher fetcher) {
    const ResourceFetcher previous = g_fetch;
    g_fetch = fetcher != nullptr ? fetcher : fetchFromCatalog;
    return previous;
}

void ResetFixedTextsForTest() {
    g_fixedTextsDone.store(false, std::memory_order_release);
}

// ---- Comparison and case ---------------------------------------------------------------------

long AUT_CaseSensitiveCompare(const I18NString& a, const I18NString& b, const I18NLocale& locale) {
    return locale.compare(a, b);
}

long AUT_CaseInsensitiveCompare(const I18NString& a, const I18NString& b) {
    return _stricmp(a.c_str(), b.c_str());
}

long AUT_CaseInsensitiveCompare(const I18NString& a, const char* b) {
    return _stricmp(a.c_str(), b);
}

void AUT_ToLower(I18NString& s, const I18NLocale& locale) {
    locale.toLower(s);
}

void AUT_ToUpper(I18NString& s, const I18NLocale& locale) {
    locale.toUpper(s);
}

const I18NLocale& AUT_DefaultLocale() {
    static const I18NLocale locale("en-us");
    return locale;
}

// ---- Character classes -----------------------------------------------------------------------
// The C runtime's classes take an unsigned char; a plain char with the high bit set would be a
// negative value, which they do not accept.

bool AUT_IsDigit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

bool AUT_IsAlpha(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) != 0;
}

bool AUT_IsSpace(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

bool AUT_IsAlnum(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0;
}

bool AUT_IsPunct(char c) {
    return std::ispunct(static_cast<unsigned char>(c)) != 0;
}

bool AUT_IsDigit(unsigned int codePoint) {
    return I18NCodePointIsDigit(codePoint);
}

bool AUT_IsAlpha(unsigned int codePoint) {
    return I18NCodePointIsLetter(codePoint);
}

bool AUT_IsSpace(unsigned int codePoint) {
    return I18NCodePointIsSpace(codePoint);
}

bool AUT_IsAlnum(unsigned int codePoint) {
    return I18NCodePointIsAlphanumeric(codePoint);
}

bool AUT_IsPunct(unsigned int codePoint) {
    return I18NCodePointIsPunctuation(codePoint);
}

// ---- Converters and literals -----------------------------------------------------------------

I18NConverter AUT_GetLatin1Converter() {
    BRX_ASSERT(AUTg_Latin1Converter != NULL);
    return *AUTg_Latin1Converter;
}

I18NConverter AUT_GetUTF8Converter() {
    BRX_ASSERT(AUTg_UTF8Converter != NULL);
    return *AUTg_UTF8Converter;
}

I18NString AUT_I18NLatin1Literal(const char* text) {
    // One converter object serves every thread, and converting changes its state.
    BrxThreadGuard guard(AUTg_Latin1LiteralLock);
    BRX_ASSERT(AUTg_Latin1Converter != NULL);
    return I18NString(text, *AUTg_Latin1Converter);
}

I18NString AUT_I18NUTF8Literal(const char* text) {
    BrxThreadGuard guard(AUTg_UTF8LiteralLock);
    BRX_ASSERT(AUTg_UTF8Converter != NULL);
    return I18NString(text, *AUTg_UTF8Converter);
}

// ---- Time conversions ------------------------------------------------------------------------

namespace aut {

tm* localtime_r(const long* time, tm* result) {
    if (time == nullptr || result == nullptr) {
        return nullptr;
    }
    BrxThreadGuard guard(AUTg_TimeLock);
    const tm* converted = std::localtime(time);
    if (converted == nullptr) {
        return nullptr;
    }
    // The whole structure: glibc's zone name points at text it never frees.
    *result = *converted;
    return result;
}

tm* gmtime_r(const long* time, tm* result) {
    if (time == nullptr || result == nullptr) {
        return nullptr;
    }
    BrxThreadGuard guard(AUTg_TimeLock);
    const tm* converted = std::gmtime(time);
    if (converted == nullptr) {
        return nullptr;
    }
    *result = *converted;
    return result;
}

char* ctime_r(const long* time, char* buffer, int length) {
    if (time == nullptr || buffer == nullptr) {
        return nullptr;
    }
    BrxThreadGuard guard(AUTg_TimeLock);
    const char* text = std::ctime(time);
    if (text == nullptr) {
        return nullptr;
    }
    if (length > 0) {
        std::strncpy(buffer, text, static_cast<std::size_t>(length));
    }
    return buffer;
}

} // namespace aut

// ---- Hashing ---------------------------------------------------------------------------------

unsigned long AUT_HashText(const I18NString& text) {
    std::uint32_t hash = 0;
    for (const char32_t codePoint : text.codePoints()) {
        // Only the low byte counts, as a signed char; only a..z fold.
        std::int32_t c = static_cast<std::int8_t>(codePoint & 0xFFu);
        if (c >= 'a' && c <= 'z') {
            c -= 'a' - 'A';
        }
        hash = (hash << 4) + static_cast<std::uint32_t>(c);
        const std::uint32_t top = hash & 0xF0000000u;
        if (top != 0) {
            hash = (hash ^ (top >> 24)) & 0x0FFFFFFFu;
        }
    }
    return hash;
}
