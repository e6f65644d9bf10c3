// Conversions, fixed texts, comparison, character classes, converters, literals and the
// thread-safe time conversions.
#include "AUTInitialize.h"
#include "AutTestSupport.h"
#include "UTLibraryInternal.h"
#include "UTStringSupport.h"
#include "UTStringSupportInternal.h"

#include <BrxException.h>
#include <atomic>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

// Fetches recorded by the counting fetcher below, in order.
std::vector<std::uint32_t> g_fetched;
int g_failuresLeft = 0;

I18NString countingFetcher(std::uint32_t messageNumber) {
    g_fetched.push_back(messageNumber);
    if (g_failuresLeft > 0) {
        --g_failuresLeft;
        throw std::runtime_error("catalog unavailable");
    }
    return I18NString(("#" + std::to_string(messageNumber)).c_str());
}

I18NString fetchedText(std::uint32_t messageNumber) {
    return I18NString(("#" + std::to_string(messageNumber)).c_str());
}

// Replaces the catalog for one test and restores it afterwards.
class FixedTexts : public ::testing::Test {
protected:
    void SetUp() override {
        g_fetched.clear();
        g_failuresLeft = 0;
        ResetFixedTextsForTest();
        f_previous = SetResourceFetcherForTest(countingFetcher);
    }
    void TearDown() override {
        SetResourceFetcherForTest(f_previous);
        ResetFixedTextsForTest();
    }

private:
    ResourceFetcher f_previous = nullptr;
};

using InitializedLibrary = auttest::InitializedTest;

std::u32string points(const I18NString& s) {
    return s.codePoints();
}

} // namespace

TEST(StringSupport, NumbersFormatLikeTheRuntime) {
    struct Case {
        I18NString actual;
        const char* expected;
    };
    const Case cases[] = {
        {AUT_ToString(-5), "-5"},
        {AUT_ToString(0), "0"},
        {AUT_ToString(INT_MIN), "-2147483648"},
        {AUT_ToString(4294967295UL), "4294967295"},
        {AUT_ToString(18446744073709551615UL), "18446744073709551615"},
        {AUT_ToString(-1L), "-1"},
        {AUT_ToString(5000000000L), "5000000000"},
        {AUT_ToString(LONG_MIN), "-9223372036854775808"},
        {AUT_ToString(0.1), "0.1"},
        {AUT_ToString(1.0 / 3.0), "0.333333333333333"},
        {AUT_ToString(2500.0), "2500"},
        {AUT_ToString(-0.0), "-0"},
        {AUT_ToString(1e20), "1e+20"},
        {AUT_ToString(1e-5), "1e-05"},
        {AUT_ToString(123456789012345678.0), "1.23456789012346e+17"},
        {AUT_ToString(-1.7976931348623157e308), "-1.79769313486232e+308"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(c.actual, c.expected);
    }
}

TEST(StringSupport, IntegersParseLikeAtolWrappedTo32Bits) {
    struct Case {
        const char* text;
        long asInt;
        unsigned long asUInt;
    };
    const Case cases[] = {
        {"42", 42, 42},
        {"  42abc", 42, 42},
        {"\t\n\v\f\r 7", 7, 7},
        {"+13", 13, 13},
        {"-1", -1, 4294967295UL},
        {"abc", 0, 0},
        {"", 0, 0},
        {"-", 0, 0},
        {"- 5", 0, 0},
        {"--5", 0, 0},
        {"+-5", 0, 0},
        {"12 34", 12, 12},
        {"2147483647", 2147483647, 2147483647},
        {"2147483648", -2147483648L, 2147483648UL},
        {"-2147483648", -2147483648L, 2147483648UL},
        {"-2147483649", 2147483647, 2147483647},
        {"4294967295", -1, 4294967295UL},
        {"4294967296", 0, 0},
        {"4294967297", 1, 1},
        // 99999999999999999999 mod 2^32 = 1661992959: long texts wrap, not saturate.
        {"99999999999999999999", 1661992959, 1661992959},
        {"00000000000000000000000000012", 12, 12},
        // Only ASCII digits and blanks count: a no-break space and fullwidth digits stop it.
        {"\xC2\xA0"
         "5",
         0, 0},
        {"\xEF\xBC\x91", 0, 0},
        {"9\xEF\xBC\x91", 9, 9},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(AUT_ToInt(I18NString(c.text)), c.asInt);
        EXPECT_EQ(AUT_ToUInt(I18NString(c.text)), c.asUInt);
    }
}

TEST(StringSupport, TimesAndFloatsParseLikeTheRuntime) {
    // 2100-01-01 00:00:00 UTC: past 2038, still a plain time.
    EXPECT_EQ(AUT_ToTime(I18NString("4102444800")), 4102444800L);
    EXPECT_EQ(AUT_ToTime(I18NString(" -86400 days")), -86400L);
    EXPECT_EQ(AUT_ToTime(I18NString("x1")), 0L);

    struct Case {
        const char* text;
        double expected;
    };
    const Case cases[] = {
        {"2.5e3", 2500.0}, {" -1.5x", -1.5}, {"abc", 0.0}, {"", 0.0}, {".5", 0.5}, {"1e-2", 0.01},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_DOUBLE_EQ(AUT_ToFloat(I18NString(c.text)), c.expected);
    }
}

TEST(StringSupport, OnlyTheTextOneIsTrue) {
    struct Case {
        const char* text;
        bool expected;
    };
    const Case cases[] = {
        {"1", true},   {"true", false}, {"TRUE", false}, {" 1", false}, {"1 ", false},
        {"01", false}, {"", false},     {"0", false},    {"11", false}, {"yes", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(AUT_ToBool(I18NString(c.text)), c.expected);
    }
    EXPECT_FALSE(AUT_ToBool(I18NString(std::u32string{U'1', U'\0'})));
}

TEST(StringSupport, CaseInsensitiveCompareFoldsToLowerCase) {
    struct Case {
        const char* a;
        const char* b;
        int sign;
    };
    const Case cases[] = {
        {"Log", "LOG", 0},
        {"a", "B", -1},
        {"B", "a", 1},
        // Folding to lower case puts letters above '_' and '[' whatever their case.
        {"a", "_", 1},
        {"A", "_", 1},
        {"a", "[", 1},
        {"Z", "[", 1},
        {"_", "z", -1},
        {"a", "1", 1},
        {"", "", 0},
        {"", "a", -1},
        {"abc", "ab", 1},
        {"QueryEngine", "queryengine", 0},
        // Only ASCII letters fold: the UTF-8 bytes of é and É differ.
        {"\xC3\xA9", "\xC3\x89", 1},
    };
    auto sign = [](long v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.a) + " vs " + c.b);
        EXPECT_EQ(sign(AUT_CaseInsensitiveCompare(I18NString(c.a), I18NString(c.b))), c.sign);
        EXPECT_EQ(sign(AUT_CaseInsensitiveCompare(I18NString(c.a), c.b)), c.sign);
    }
    EXPECT_EQ(AUT_CaseInsensitiveCompare(I18NString(""), static_cast<const char*>(nullptr)), 0);
    EXPECT_GT(AUT_CaseInsensitiveCompare(I18NString("a"), static_cast<const char*>(nullptr)), 0);
}

TEST(StringSupport, LocaleCompareAndCaseMapping) {
    EXPECT_LT(
        AUT_CaseSensitiveCompare(I18NString("apple"), I18NString("banana"), AUT_DefaultLocale()),
        0);
    EXPECT_EQ(AUT_CaseSensitiveCompare(I18NString("x"), I18NString("x"), AUT_DefaultLocale()), 0);
    EXPECT_NE(AUT_CaseSensitiveCompare(I18NString("a"), I18NString("A"), AUT_DefaultLocale()), 0);

    I18NString s("Stra\xC3\x9F"
                 "e");
    AUT_ToUpper(s, AUT_DefaultLocale());
    EXPECT_EQ(s, "STRASSE");
    AUT_ToLower(s, AUT_DefaultLocale());
    EXPECT_EQ(s, "strasse");
}

TEST(StringSupport, CharacterClasses) {
    struct NarrowCase {
        char c;
        bool digit, alpha, space, alnum, punct;
    };
    const NarrowCase narrow[] = {
        {'5', true, false, false, true, false},
        {'a', false, true, false, true, false},
        {'Z', false, true, false, true, false},
        {' ', false, false, true, false, false},
        {'\t', false, false, true, false, false},
        {'!', false, false, false, false, true},
        {'_', false, false, false, false, true},
        {'\0', false, false, false, false, false},
        // High-bit bytes are no class in the "C" locale, and never crash the runtime.
        {'\xE9', false, false, false, false, false},
        {'\xFF', false, false, false, false, false},
    };
    for (const NarrowCase& c : narrow) {
        SCOPED_TRACE(static_cast<int>(static_cast<unsigned char>(c.c)));
        EXPECT_EQ(AUT_IsDigit(c.c), c.digit);
        EXPECT_EQ(AUT_IsAlpha(c.c), c.alpha);
        EXPECT_EQ(AUT_IsSpace(c.c), c.space);
        EXPECT_EQ(AUT_IsAlnum(c.c), c.alnum);
        EXPECT_EQ(AUT_IsPunct(c.c), c.punct);
    }

    struct WideCase {
        unsigned int codePoint;
        bool digit, alpha, space, alnum, punct;
    };
    const WideCase wide[] = {
        {U'7', true, false, false, true, false},
        {0x0665, true, false, false, true, false},  // Arabic-Indic five
        {0x00E9, false, true, false, true, false},  // é
        {0x4E2D, false, true, false, true, false},  // a CJK ideograph
        {0x3000, false, false, true, false, false}, // ideographic space
        {0x00BF, false, false, false, false, true}, // inverted question mark
        {0x1F600, false, false, false, false, false},
        {0x110000, false, false, false, false, false},
        {0xFFFFFFFFu, false, false, false, false, false},
    };
    for (const WideCase& c : wide) {
        SCOPED_TRACE(c.codePoint);
        EXPECT_EQ(AUT_IsDigit(c.codePoint), c.digit);
        EXPECT_EQ(AUT_IsAlpha(c.codePoint), c.alpha);
        EXPECT_EQ(AUT_IsSpace(c.codePoint), c.space);
        EXPECT_EQ(AUT_IsAlnum(c.codePoint), c.alnum);
        EXPECT_EQ(AUT_IsPunct(c.codePoint), c.punct);
    }
}

TEST_F(FixedTexts, FetchedOnceInOrderAndCopied) {
    EXPECT_EQ(AUT_GetSeparatorString(), fetchedText(0xF7C01AAD));
    const std::vector<std::uint32_t> expectedOrder = {0xF7C35931, 0xF7C01AAD, 0xF7C83D52,
                                                      0xF7C00B3A, 0xF7C528CA};
    EXPECT_EQ(g_fetched, expectedOrder);

    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(AUT_GetSpaceString(), fetchedText(0xF7C35931));
        EXPECT_EQ(AUT_GetSeparatorString(), fetchedText(0xF7C01AAD));
        EXPECT_EQ(AUT_GetQuoteString(), fetchedText(0xF7C83D52));
        EXPECT_EQ(AUT_GetColonString(), fetchedText(0xF7C00B3A));
        EXPECT_EQ(AUT_GetDirSeparator(), fetchedText(0xF7C528CA));
    }
    // A caller changing its copy does not change the table.
    I18NString space = AUT_GetSpaceString();
    space += "changed";
    EXPECT_EQ(AUT_GetSpaceString(), fetchedText(0xF7C35931));
    EXPECT_EQ(g_fetched.size(), 5u);
}

TEST_F(FixedTexts, FirstSubstitutionFillsThem) {
    I18NString text("{0}");
    AUT_SimpleSubstituteText(text, I18NString("x"));
    EXPECT_EQ(g_fetched.size(), 5u);
    AUT_SubstituteText(text, I18NString("x"));
    AUT_GetColonString();
    EXPECT_EQ(g_fetched.size(), 5u);
}

TEST_F(FixedTexts, FailedFetchIsRetried) {
    g_failuresLeft = 1;
    EXPECT_THROW(AUT_GetQuoteString(), std::runtime_error);
    EXPECT_EQ(g_fetched.size(), 1u);
    // The flag stayed clear: the next call starts again from the first text.
    g_fetched.clear();
    EXPECT_EQ(AUT_GetQuoteString(), fetchedText(0xF7C83D52));
    EXPECT_EQ(g_fetched.size(), 5u);
    AUT_GetQuoteString();
    EXPECT_EQ(g_fetched.size(), 5u);
}

TEST_F(FixedTexts, TruthWordsAndCancellationAreFetchedEveryTime) {
    EXPECT_EQ(AUT_ToString(true), fetchedText(0xF7C73265));
    EXPECT_EQ(AUT_ToString(false), fetchedText(0xF7C80C5D));
    EXPECT_EQ(AUT_GetUserCancelledString(), fetchedText(0x72142C4D));
    EXPECT_EQ(AUT_ToString(true), fetchedText(0xF7C73265));
    EXPECT_EQ(AUT_GetUserCancelledString(), fetchedText(0x72142C4D));
    const std::vector<std::uint32_t> expected = {0xF7C73265, 0xF7C80C5D, 0x72142C4D, 0xF7C73265,
                                                 0x72142C4D};
    EXPECT_EQ(g_fetched, expected);
}

TEST_F(InitializedLibrary, FixedTextsComeFromTheCatalog) {
    EXPECT_EQ(AUT_GetSpaceString(), " ");
    EXPECT_EQ(AUT_GetColonString(), ":");
    EXPECT_EQ(AUT_GetQuoteString(), "\"");
    EXPECT_EQ(AUT_GetDirSeparator(), "/");
    EXPECT_EQ(AUT_ToString(true), "true");
    EXPECT_EQ(AUT_ToString(false), "false");
    EXPECT_FALSE(AUT_GetUserCancelledString().empty());
    EXPECT_STREQ(AUT_GetEmptyCharPointer(), "");
    EXPECT_TRUE(AUT_GetEmptyString().empty());
}

TEST(StringSupport, ConvertersAssertOutsideTheInitializedState) {
    const std::string latin1 = "BRX_ASSERT(AUTg_Latin1Converter != NULL);";
    const std::string utf8 = "BRX_ASSERT(AUTg_UTF8Converter != NULL);";
    auto assertionText = [](auto call) -> std::string {
        try {
            call();
        } catch (const BrxAssertError& error) {
            return error.getText();
        }
        return "no assertion";
    };
    EXPECT_EQ(assertionText([] { AUT_GetLatin1Converter(); }), latin1);
    EXPECT_EQ(assertionText([] { AUT_GetUTF8Converter(); }), utf8);
    EXPECT_EQ(assertionText([] { AUT_I18NLatin1Literal("x"); }), latin1);
    EXPECT_EQ(assertionText([] { AUT_I18NUTF8Literal("x"); }), utf8);
    // The literal constructors let go of their locks when the assertion throws.
    EXPECT_FALSE(AUTg_Latin1LiteralLock.isHeldByCurrentThread());
    EXPECT_FALSE(AUTg_UTF8LiteralLock.isHeldByCurrentThread());
    std::thread other([] {
        BrxThreadGuard latin1Guard(AUTg_Latin1LiteralLock);
        BrxThreadGuard utf8Guard(AUTg_UTF8LiteralLock);
    });
    other.join();
}

TEST_F(InitializedLibrary, ConvertersAndLiteralsUntilTheLastTermination) {
    EXPECT_STREQ(AUT_GetLatin1Converter().getName(), AUTg_Latin1Converter->getName());
    EXPECT_STREQ(AUT_GetUTF8Converter().getName(), AUTg_UTF8Converter->getName());

    EXPECT_EQ(points(AUT_I18NLatin1Literal("caf\xE9")), U"caf\u00E9");
    EXPECT_EQ(points(AUT_I18NUTF8Literal("caf\xC3\xA9 \xF0\x9F\x98\x80")), U"caf\u00E9 \U0001F600");
    // The same bytes read as Latin-1 are two characters.
    EXPECT_EQ(points(AUT_I18NLatin1Literal("\xC3\xA9")), U"\u00C3\u00A9");
    EXPECT_TRUE(AUT_I18NUTF8Literal(nullptr).empty());
    EXPECT_TRUE(AUT_I18NLatin1Literal("").empty());

    // A second consumer keeps the converters alive; the last termination deletes them.
    ASSERT_EQ(AUT_Initialize("other"), 0);
    ASSERT_EQ(AUT_Terminate("other"), 0);
    EXPECT_NO_THROW(AUT_I18NUTF8Literal("x"));
    ASSERT_EQ(AUT_Terminate("test"), 0);
    EXPECT_THROW(AUT_I18NUTF8Literal("x"), BrxAssertError);
    EXPECT_THROW(AUT_GetLatin1Converter(), BrxAssertError);
    ASSERT_EQ(AUT_Initialize("test"), 0);
}

TEST_F(InitializedLibrary, LiteralsFromSeveralThreads) {
    constexpr int kThreads = 6;
    constexpr int kCalls = 3000;
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&wrong, t] {
            const std::string latin1 = "\xE9t\xE9 " + std::to_string(t);
            const std::string utf8 = "\xC3\xA9t\xC3\xA9 " + std::to_string(t);
            const std::u32string expected = U"\u00E9t\u00E9 " + std::u32string(1, U'0' + t);
            for (int i = 0; i < kCalls; ++i) {
                if (AUT_I18NLatin1Literal(latin1.c_str()).codePoints() != expected ||
                    AUT_I18NUTF8Literal(utf8.c_str()).codePoints() != expected) {
                    ++wrong;
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(wrong.load(), 0);
}

namespace {

// Pins the local time zone to UTC for one test, so that local and universal times agree.
class TimeConversions : public ::testing::Test {
protected:
    void SetUp() override {
        const char* tz = std::getenv("TZ");
        f_hadTz = tz != nullptr;
        if (f_hadTz) {
            f_savedTz = tz;
        }
        setenv("TZ", "UTC", 1);
        tzset();
    }
    void TearDown() override {
        if (f_hadTz) {
            setenv("TZ", f_savedTz.c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }

private:
    bool f_hadTz = false;
    std::string f_savedTz;
};

} // namespace

TEST_F(TimeConversions, BrokenDownTimesBeforeAndAfter2038) {
    struct Case {
        long time;
        int year, month, day, hour, minute, second, weekday, yearDay;
    };
    const Case cases[] = {
        {0, 70, 0, 1, 0, 0, 0, 4, 0},
        {-1, 69, 11, 31, 23, 59, 59, 3, 364},
        {2147483647, 138, 0, 19, 3, 14, 7, 2, 18},
        {2147483648L, 138, 0, 19, 3, 14, 8, 2, 18},
        {4102444800L, 200, 0, 1, 0, 0, 0, 5, 0},
        {951825600, 100, 1, 29, 12, 0, 0, 2, 59}, // 2000-02-29, a leap day
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.time);
        for (int local = 0; local < 2; ++local) {
            tm result{};
            tm* returned =
                local ? aut::localtime_r(&c.time, &result) : aut::gmtime_r(&c.time, &result);
            ASSERT_EQ(returned, &result);
            EXPECT_EQ(result.tm_year, c.year);
            EXPECT_EQ(result.tm_mon, c.month);
            EXPECT_EQ(result.tm_mday, c.day);
            EXPECT_EQ(result.tm_hour, c.hour);
            EXPECT_EQ(result.tm_min, c.minute);
            EXPECT_EQ(result.tm_sec, c.second);
            EXPECT_EQ(result.tm_wday, c.weekday);
            EXPECT_EQ(result.tm_yday, c.yearDay);
            EXPECT_EQ(result.tm_isdst, 0);
        }
    }
}

TEST_F(TimeConversions, UnconvertibleTimesLeaveTheResultAlone) {
    const long huge = LONG_MAX;
    tm result{};
    result.tm_year = 1234;
    EXPECT_EQ(aut::gmtime_r(&huge, &result), nullptr);
    EXPECT_EQ(aut::localtime_r(&huge, &result), nullptr);
    EXPECT_EQ(result.tm_year, 1234);
    char buffer[8] = "keep";
    EXPECT_EQ(aut::ctime_r(&huge, buffer, sizeof buffer), nullptr);
    EXPECT_STREQ(buffer, "keep");
    EXPECT_EQ(aut::gmtime_r(nullptr, &result), nullptr);
    EXPECT_EQ(aut::ctime_r(&huge, nullptr, 26), nullptr);
}

TEST_F(TimeConversions, CtimeCopiesAtMostTheBufferLength) {
    const long epoch = 0;
    const std::string full = "Thu Jan  1 00:00:00 1970\n";
    struct Case {
        int length;
        std::string expected; // the bytes written; the rest keeps its fill
    };
    const Case cases[] = {
        {26, full + '\0'}, {30, full + std::string(5, '\0')},
        {25, full},        {10, "Thu Jan  1"},
        {1, "T"},          {0, ""},
        {-5, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        char buffer[40];
        std::memset(buffer, 'X', sizeof buffer);
        ASSERT_EQ(aut::ctime_r(&epoch, buffer, c.length), buffer);
        EXPECT_EQ(std::string(buffer, c.expected.size()), c.expected);
        EXPECT_EQ(buffer[c.expected.size()], 'X');
    }

    char buffer[26];
    const long after2038 = 4102444800L;
    aut::ctime_r(&after2038, buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "Fri Jan  1 00:00:00 2100\n");
}

TEST_F(TimeConversions, SeveralThreadsEachGetTheirOwnResult) {
    constexpr int kThreads = 6;
    constexpr int kCalls = 4000;
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&wrong, t] {
            // Each thread converts its own day, so a shared result would show up as a wrong day.
            const long time = 86400L * 365 * (t + 1) + 3600L * t;
            tm expected{};
            ::gmtime_r(&time, &expected);
            char expectedText[26];
            ::ctime_r(&time, expectedText);
            for (int i = 0; i < kCalls; ++i) {
                tm local{};
                tm universal{};
                char text[26];
                aut::localtime_r(&time, &local);
                aut::gmtime_r(&time, &universal);
                aut::ctime_r(&time, text, sizeof text);
                if (universal.tm_year != expected.tm_year ||
                    universal.tm_yday != expected.tm_yday ||
                    universal.tm_hour != expected.tm_hour || local.tm_hour != expected.tm_hour ||
                    std::strcmp(text, expectedText) != 0) {
                    ++wrong;
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(wrong.load(), 0);
}
