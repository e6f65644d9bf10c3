// Numbers to text and back, comparison, case, character classes, the text hash, the fixed
// texts, the converters and literals, and the thread-safe time conversions.
#include "AUTInitialize.h"
#include "AutTestSupport.h"
#include "ReliabilitySupport.h"
#include "Table.h"
#include "UTLibraryInternal.h"
#include "UTStringSupport.h"
#include "UTStringSupportInternal.h"

#include <BrxException.h>
#include <algorithm>
#include <climits>
#include <ctime>
#include <stdexcept>

namespace {

// Texts parse with atol's syntax, but the value wraps to 32 bits however long the text is.
TEST(StringSupport, NumbersAndText) {
    for (const auttest::Row& row : auttest::ReadTable("StringSupportTest-integers.tsv", 4)) {
        SCOPED_TRACE(row[0]);
        EXPECT_EQ(AUT_ToInt(I18NString(row[0].c_str())), std::stol(row[1]));
        EXPECT_EQ(AUT_ToUInt(I18NString(row[0].c_str())), std::stoul(row[2]));
        EXPECT_EQ(AUT_ToBool(I18NString(row[0].c_str())), row[3] == "true");
    }
    EXPECT_EQ(AUT_ToTime(I18NString("4102444800")), 4102444800L); // past 2038
    EXPECT_DOUBLE_EQ(AUT_ToFloat(I18NString(" -1.5e3x")), -1500.0);
    EXPECT_EQ(AUT_ToString(INT_MIN), "-2147483648");
    EXPECT_EQ(AUT_ToString(18446744073709551615UL), "18446744073709551615");
    EXPECT_EQ(AUT_ToString(LONG_MIN), "-9223372036854775808");
    EXPECT_EQ(AUT_ToString(-1.7976931348623157e308), "-1.79769313486232e+308");
}

// Only ASCII letters fold, to lower case: letters sort above '_' and '[' whatever their case.
TEST(StringSupport, CaseInsensitiveCompare) {
    for (const auttest::Row& row : auttest::ReadTable("StringSupportTest-compare.tsv", 3)) {
        SCOPED_TRACE(row[0] + " vs " + row[1]);
        const I18NString a(row[0].c_str());
        const long sign =
            std::clamp(AUT_CaseInsensitiveCompare(a, I18NString(row[1].c_str())), -1L, 1L);
        EXPECT_EQ(sign, std::stol(row[2]));
        EXPECT_EQ(std::clamp(AUT_CaseInsensitiveCompare(a, row[1].c_str()), -1L, 1L), sign);
    }
    EXPECT_GT(AUT_CaseInsensitiveCompare(I18NString("a"), static_cast<const char*>(nullptr)), 0);
}

TEST(StringSupport, DefaultLocaleCompareAndCase) {
    const I18NLocale& locale = AUT_DefaultLocale();
    EXPECT_LT(AUT_CaseSensitiveCompare(I18NString("a"), I18NString("B"), locale), 0);
    I18NString s("Stra\u00DFe");
    AUT_ToUpper(s, locale);
    EXPECT_EQ(s, "STRASSE");
    AUT_ToLower(s, locale);
    EXPECT_EQ(s, "strasse");
}

// Rows: code point (hex), classes of the char overloads (the "C" locale; below 0x100 only),
// classes of the code point overloads: d digit, l letter, s space, a alphanumeric, p punctuation.
TEST(StringSupport, CharacterClasses) {
    for (const auttest::Row& row : auttest::ReadTable("StringSupportTest-classes.tsv", 3)) {
        SCOPED_TRACE(row[0]);
        const unsigned int c = std::stoul(row[0], nullptr, 16);
        auto classes = [](auto value) {
            const std::string found =
                std::string(AUT_IsDigit(value) ? "d" : "") + (AUT_IsAlpha(value) ? "l" : "") +
                (AUT_IsSpace(value) ? "s" : "") + (AUT_IsAlnum(value) ? "a" : "") +
                (AUT_IsPunct(value) ? "p" : "");
            return found.empty() ? "-" : found;
        };
        if (c < 0x100) {
            EXPECT_EQ(classes(static_cast<char>(c)), row[1]);
        }
        EXPECT_EQ(classes(c), row[2]);
    }
}

// Only the low byte of each code point counts, as a signed char; only a..z fold.
TEST(StringSupport, HashValues) {
    for (const auttest::Row& row : auttest::ReadTable("StringSupportTest-hash.tsv", 2)) {
        SCOPED_TRACE(row[0]);
        EXPECT_EQ(AUT_HashText(I18NString(row[0].c_str())), std::stoul(row[1], nullptr, 16));
    }
}

std::vector<std::uint32_t> g_fetched;
int g_failuresLeft = 0;
bool g_comesBack = false;

I18NString fetchedText(std::uint32_t messageNumber) {
    return I18NString(("#" + std::to_string(messageNumber)).c_str());
}

// Records each fetch; fails while g_failuresLeft lasts; asks for a fixed text itself when
// g_comesBack is set, as a catalog failure that gets logged does.
I18NString countingFetcher(std::uint32_t messageNumber) {
    g_fetched.push_back(messageNumber);
    if (g_failuresLeft > 0) {
        --g_failuresLeft;
        throw std::runtime_error("catalog unavailable");
    }
    if (g_comesBack) {
        AUT_GetSpaceString();
    }
    return fetchedText(messageNumber);
}

// Replaces the catalog for one test; a null fetcher restores it.
class FixedTexts : public ::testing::Test {
protected:
    void SetUp() override {
        g_fetched.clear();
        g_failuresLeft = 0;
        g_comesBack = false;
        ResetFixedTextsForTest();
        SetResourceFetcherForTest(countingFetcher);
    }
    void TearDown() override {
        SetResourceFetcherForTest(nullptr);
        ResetFixedTextsForTest();
    }
};

// The first user (a substitution too) fetches all of them, in order, once; a fetch that fails is
// retried from the start by the next user. The cancellation and the truth words are fetched on each
// call.
TEST_F(FixedTexts, FetchedOnceInOrderUntilOneSucceeds) {
    g_failuresLeft = 1;
    EXPECT_THROW(AUT_GetQuoteString(), std::runtime_error);
    g_fetched.clear();
    I18NString text("{0}");
    AUT_SimpleSubstituteText(text, I18NString("x"));
    EXPECT_EQ(g_fetched.size(), 5u);
    const std::vector<std::uint32_t> order = {0xF7C35931, 0xF7C01AAD, 0xF7C83D52,
                                              0xF7C00B3A, 0xF7C528CA, 0x72142C4D};
    I18NString (*const getters[])() = {&AUT_GetSpaceString,  &AUT_GetSeparatorString,
                                       &AUT_GetQuoteString,  &AUT_GetColonString,
                                       &AUT_GetDirSeparator, &AUT_GetUserCancelledString};
    // The directory separator is path syntax: "/" whatever the catalog says.
    for (std::size_t i = 0; i < order.size(); ++i) {
        EXPECT_EQ(getters[i](), i == 4 ? I18NString("/") : fetchedText(order[i])) << i;
    }
    EXPECT_EQ(g_fetched, order);
    EXPECT_EQ(AUT_ToString(true), fetchedText(0xF7C73265));
    EXPECT_EQ(AUT_ToString(false), fetchedText(0xF7C80C5D));
}

// A fetch that comes back must neither wait for itself nor fetch again; a child process turns
// waiting for itself into a failure instead of a hang.
TEST_F(FixedTexts, FetchThatComesBackDoesNotWaitForItself) {
    g_comesBack = true;
    const auto fetches = [] {
        AUT_GetColonString();
        return std::to_string(g_fetched.size());
    };
    EXPECT_EQ(reliability::RunInChild(fetches, 30), "5");
}

// The library's converters live from the first initialization to the last termination.
using ConvertersAndLiterals = auttest::InstallationTest;

TEST_F(ConvertersAndLiterals, OnlyWhileInitialized) {
    EXPECT_THROW(AUT_GetLatin1Converter(), BrxAssertError);
    EXPECT_THROW(AUT_GetUTF8Converter(), BrxAssertError);
    EXPECT_THROW(AUT_I18NLatin1Literal("x"), BrxAssertError);
    EXPECT_THROW(AUT_I18NUTF8Literal("x"), BrxAssertError);
    // The literals let go of their locks when the assertion throws.
    EXPECT_FALSE(AUTg_Latin1LiteralLock.isHeldByCurrentThread());
    EXPECT_FALSE(AUTg_UTF8LiteralLock.isHeldByCurrentThread());
    ASSERT_EQ(AUT_Initialize("test"), 0);
    EXPECT_STREQ(AUT_GetLatin1Converter().getName(), "ISO-8859-1");
    EXPECT_STREQ(AUT_GetUTF8Converter().getName(), "UTF-8");
    EXPECT_EQ(AUT_I18NLatin1Literal("caf\xE9\xC3\xA9").codePoints(), U"caf\u00E9\u00C3\u00A9");
    EXPECT_EQ(AUT_I18NUTF8Literal("caf\xC3\xA9 \xF0\x9F\x98\x80").codePoints(),
              U"caf\u00E9 \U0001F600");
    EXPECT_TRUE(AUT_I18NUTF8Literal(nullptr).empty());
    EXPECT_EQ(AUT_Terminate("test"), 0);
}

// The runtime's own conversions give what the wrappers must give, in any time zone; null
// pointers and times the runtime cannot convert give null and leave the result alone.
TEST(TimeConversions, LikeTheRuntimeIntoTheCallersBuffer) {
    const long time = 4116700800L; // 2100-06-15
    const long huge = LONG_MAX;
    for (auto convert : {&aut::gmtime_r, &aut::localtime_r}) {
        tm result{};
        ASSERT_EQ(convert(&time, &result), &result);
        EXPECT_EQ(std::make_pair(result.tm_year, result.tm_mon), std::make_pair(200, 5));
        EXPECT_EQ(convert(&huge, &result), nullptr);
        EXPECT_EQ(convert(nullptr, &result), nullptr);
        EXPECT_EQ(convert(&time, nullptr), nullptr);
    }
    char text[26];
    const std::string full = ::ctime_r(&time, text);
    EXPECT_EQ(aut::ctime_r(&huge, text, sizeof text), nullptr);
    EXPECT_EQ(aut::ctime_r(nullptr, text, sizeof text), nullptr);
    EXPECT_EQ(aut::ctime_r(&time, nullptr, 26), nullptr);
    // At most `length` bytes are copied: the terminating NUL only when it fits.
    for (const int length : {26, 25, 1, 0, -5}) {
        SCOPED_TRACE(length);
        std::string buffer(40, 'X');
        ASSERT_EQ(aut::ctime_r(&time, &buffer[0], length), &buffer[0]);
        const std::size_t copied = std::max(0, std::min(length, 26));
        EXPECT_EQ(buffer, (full + '\0').substr(0, copied) + std::string(40 - copied, 'X'));
    }
}

} // namespace
