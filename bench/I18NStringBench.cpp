// Strings from and to UTF-8 beside ICU's UTF-16 round trip, the cached c_str(), and locale
// comparison beside a bare ICU collator.
#include <I18NConverter.h>
#include <I18NLocale.h>
#include <I18NString.h>
#include <benchmark/benchmark.h>
#include <memory>
#include <mutex>
#include <string>
#include <unicode/coll.h>
#include <unicode/unistr.h>

namespace {

// 100 bytes each: plain ASCII, and Latin text with an accented letter every few characters.
const char kAscii[] = "The quick brown fox jumps over the lazy dog while the query engine logs "
                      "every record it filters too.";
const char kAccented[] =
    "Cr\xC3\xA8me br\xC3\xBBl\xC3\xA9"
    "e, na\xC3\xAFve fa\xC3\xA7"
    "ade, \xC3\xBC"
    "ber Stra\xC3\x9F"
    "e, se\xC3\xB1or, "
    "\xC3\xA5ngstr\xC3\xB6m, co\xC3\xB6perate d\xC3\xA9j\xC3\xA0 vu \xC3\xA0 bient\xC3\xB4t";
static_assert(sizeof kAscii - 1 == 100, "100 bytes of ASCII");
static_assert(sizeof kAccented - 1 == 100, "100 bytes of accented Latin");

void BM_I18NStringRoundTrip(benchmark::State& state, const char* text) {
    for (auto _ : state) {
        const I18NString s(text);
        benchmark::DoNotOptimize(s.c_str());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 100);
}

void BM_IcuRoundTrip(benchmark::State& state, const char* text) {
    for (auto _ : state) {
        const icu::UnicodeString s = icu::UnicodeString::fromUTF8(text);
        std::string narrow;
        s.toUTF8String(narrow);
        benchmark::DoNotOptimize(narrow.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 100);
}

BENCHMARK_CAPTURE(BM_I18NStringRoundTrip, Ascii, kAscii);
BENCHMARK_CAPTURE(BM_IcuRoundTrip, Ascii, kAscii);
BENCHMARK_CAPTURE(BM_I18NStringRoundTrip, Accented, kAccented);
BENCHMARK_CAPTURE(BM_IcuRoundTrip, Accented, kAccented);

void BM_I18NStringCachedCStr(benchmark::State& state) {
    const I18NString s(kAccented);
    for (auto _ : state) {
        benchmark::DoNotOptimize(s.c_str());
    }
}
BENCHMARK(BM_I18NStringCachedCStr);

// The first c_str() of a string built once: the encoding alone, no construction.
void BM_I18NStringFirstCStr(benchmark::State& state) {
    const I18NString source(kAccented);
    for (auto _ : state) {
        I18NString s(source);
        benchmark::DoNotOptimize(s.c_str());
    }
}
BENCHMARK(BM_I18NStringFirstCStr);

void BM_I18NStringCopyOnly(benchmark::State& state) {
    const I18NString source(kAccented);
    for (auto _ : state) {
        I18NString s(source);
        benchmark::DoNotOptimize(s.codePoints().data());
    }
}
BENCHMARK(BM_I18NStringCopyOnly);

void BM_I18NStringLatin1RoundTrip(benchmark::State& state) {
    const I18NConverter latin1("iso-8859-1");
    const std::string bytes = I18NString(kAccented).c_str(latin1);
    for (auto _ : state) {
        const I18NString s(bytes.c_str(), latin1);
        benchmark::DoNotOptimize(s.c_str(latin1));
    }
}
BENCHMARK(BM_I18NStringLatin1RoundTrip);

const char* const kWordA = "Stra\xC3\x9F"
                           "enbahnhaltestelle";
const char* const kWordB = "Stra\xC3\x9F"
                           "enbahnhaltestellen";

// Compare through I18NLocale: its per-thread collator, UTF-32 to UTF-16 per call.
void BM_I18NLocaleCompare(benchmark::State& state) {
    static const I18NLocale german("de_DE");
    const I18NString a(kWordA);
    const I18NString b(kWordB);
    for (auto _ : state) {
        benchmark::DoNotOptimize(german.compare(a, b));
    }
}
BENCHMARK(BM_I18NLocaleCompare)->Threads(1)->Threads(2);

// Anchor: a collator of the thread's own, on UTF-16 strings made in advance.
void BM_IcuCollatorCompare(benchmark::State& state) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Collator> collator(
        icu::Collator::createInstance(icu::Locale("de", "DE"), status));
    const icu::UnicodeString a = icu::UnicodeString::fromUTF8(kWordA);
    const icu::UnicodeString b = icu::UnicodeString::fromUTF8(kWordB);
    for (auto _ : state) {
        benchmark::DoNotOptimize(collator->compare(a, b, status));
    }
}
BENCHMARK(BM_IcuCollatorCompare)->Threads(1)->Threads(2);

// Anchor from UTF-8 text, as a caller without I18NString would compare.
void BM_IcuCollatorCompareUtf8(benchmark::State& state) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Collator> collator(
        icu::Collator::createInstance(icu::Locale("de", "DE"), status));
    for (auto _ : state) {
        benchmark::DoNotOptimize(collator->compareUTF8(kWordA, kWordB, status));
    }
}
BENCHMARK(BM_IcuCollatorCompareUtf8);

// The other way to share one collator between threads: a lock around it.
void BM_IcuCollatorCompareUnderMutex(benchmark::State& state) {
    static std::mutex lock;
    static std::unique_ptr<icu::Collator> collator;
    static const icu::UnicodeString a = icu::UnicodeString::fromUTF8(kWordA);
    static const icu::UnicodeString b = icu::UnicodeString::fromUTF8(kWordB);
    if (state.thread_index() == 0) {
        UErrorCode status = U_ZERO_ERROR;
        collator.reset(icu::Collator::createInstance(icu::Locale("de", "DE"), status));
    }
    for (auto _ : state) {
        UErrorCode status = U_ZERO_ERROR;
        std::lock_guard<std::mutex> guard(lock);
        benchmark::DoNotOptimize(collator->compare(a, b, status));
    }
}
BENCHMARK(BM_IcuCollatorCompareUnderMutex)->Threads(1)->Threads(2);

// What a clone per call would cost: the reason for the per-thread collators.
void BM_IcuCollatorCloneAndCompare(benchmark::State& state) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Collator> collator(
        icu::Collator::createInstance(icu::Locale("de", "DE"), status));
    const icu::UnicodeString a = icu::UnicodeString::fromUTF8(kWordA);
    const icu::UnicodeString b = icu::UnicodeString::fromUTF8(kWordB);
    for (auto _ : state) {
        std::unique_ptr<icu::Collator> clone(collator->clone());
        benchmark::DoNotOptimize(clone->compare(a, b, status));
    }
}
BENCHMARK(BM_IcuCollatorCloneAndCompare);

} // namespace
