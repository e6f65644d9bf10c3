// Locale names: the grammar, the rebuilt current value and the strips.
#include "UTLocaleString.h"

#include <gtest/gtest.h>
#include <string>

namespace {

struct Parsed {
    const char* input;
    AUT_LocaleString::ELocaleType type;
    const char* current;
};

TEST(LocaleString, ParsesTheGrammar) {
    using L = AUT_LocaleString;
    const Parsed cases[] = {
        {"en", L::kLocaleTypeLanguage, "en"},
        {"en_US", L::kLocaleTypeLanguageRegion, "en_US"},
        {"en-us", L::kLocaleTypeLanguageRegion, "en_us"},
        {"en_US.UTF-8", L::kLocaleTypeLanguageRegionVariant, "en_US.UTF-8"},
        {"en-us-x", L::kLocaleTypeLanguageRegionVariant, "en_us.x"},
        {"en_US.ISO-8859-1", L::kLocaleTypeLanguageRegionVariant, "en_US.ISO-8859-1"},
        {"de_DE-euro", L::kLocaleTypeLanguageRegionVariant, "de_DE.euro"},
        {"en_US..", L::kLocaleTypeLanguageRegionVariant, "en_US.."},
        {"\xE6\x97\xA5\xE6\x9C\xAC", L::kLocaleTypeLanguage, "\xE6\x97\xA5\xE6\x9C\xAC"},
        {"x\xF0\x9F\x98\x80_YY", L::kLocaleTypeLanguageRegion, "x\xF0\x9F\x98\x80_YY"},
        {"", L::kLocaleTypeNone, ""},
        {"e", L::kLocaleTypeNone, ""},
        {"eng", L::kLocaleTypeNone, ""},
        {"en_", L::kLocaleTypeNone, ""},
        {"en-", L::kLocaleTypeNone, ""},
        {"en_USA", L::kLocaleTypeNone, ""},
        {"en_U", L::kLocaleTypeNone, ""},
        {"en_US.", L::kLocaleTypeNone, ""},
        {"en_US_x", L::kLocaleTypeNone, ""},
        {"en_USx", L::kLocaleTypeNone, ""},
        {"en.UTF-8", L::kLocaleTypeNone, ""},
        {"_US", L::kLocaleTypeNone, ""},
        {"en__US", L::kLocaleTypeNone, ""},
    };
    for (const Parsed& c : cases) {
        SCOPED_TRACE(c.input);
        AUT_LocaleString locale{I18NString(c.input)};
        EXPECT_EQ(locale.GetLocaleType(), c.type);
        EXPECT_EQ(std::string(locale.GetCurrentValue().c_str()), c.current);
        EXPECT_EQ(std::string(locale.GetOriginalValue().c_str()), c.input);
        EXPECT_EQ(locale.GetLocaleType(), c.type) << "a second call gives the same";
    }
}

TEST(LocaleString, StripsDropTheirPartAndThoseAfterIt) {
    using L = AUT_LocaleString;
    struct Strip {
        const char* input;
        void (L::*strip)();
        L::ELocaleType type;
        const char* current;
    };
    const Strip cases[] = {
        {"en_US.UTF-8", &L::StripVariant, L::kLocaleTypeLanguageRegion, "en_US"},
        {"en_US.UTF-8", &L::StripRegion, L::kLocaleTypeLanguage, "en"},
        {"en_US.UTF-8", &L::StripLanguage, L::kLocaleTypeNone, ""},
        {"en-us", &L::StripVariant, L::kLocaleTypeLanguageRegion, "en_us"},
        {"en", &L::StripRegion, L::kLocaleTypeLanguage, "en"},
        {"en", &L::StripVariant, L::kLocaleTypeLanguage, "en"},
        {"en", &L::StripLanguage, L::kLocaleTypeNone, ""},
        {"eng", &L::StripLanguage, L::kLocaleTypeNone, ""},
    };
    for (const Strip& c : cases) {
        SCOPED_TRACE(c.input);
        L locale{I18NString(c.input)};
        locale.GetLocaleType();
        (locale.*c.strip)();
        EXPECT_EQ(locale.GetLocaleType(), c.type);
        EXPECT_EQ(std::string(locale.GetCurrentValue().c_str()), c.current);
        EXPECT_EQ(std::string(locale.GetOriginalValue().c_str()), c.input);
    }
}

TEST(LocaleString, StripsInSequenceNeverRaiseTheType) {
    AUT_LocaleString locale{I18NString("en_US.UTF-8")};
    ASSERT_EQ(locale.GetLocaleType(), AUT_LocaleString::kLocaleTypeLanguageRegionVariant);
    locale.StripVariant();
    EXPECT_EQ(std::string(locale.GetCurrentValue().c_str()), "en_US");
    locale.StripLanguage();
    EXPECT_EQ(locale.GetLocaleType(), AUT_LocaleString::kLocaleTypeNone);
    EXPECT_EQ(std::string(locale.GetCurrentValue().c_str()), "");
    locale.StripVariant();
    EXPECT_EQ(locale.GetLocaleType(), AUT_LocaleString::kLocaleTypeNone);
}

TEST(LocaleString, NothingHappensBeforeTheFirstParse) {
    AUT_LocaleString locale{I18NString("en_US.UTF-8")};
    EXPECT_EQ(std::string(locale.GetCurrentValue().c_str()), "");
    locale.StripLanguage();
    EXPECT_EQ(locale.GetLocaleType(), AUT_LocaleString::kLocaleTypeLanguageRegionVariant);
    EXPECT_EQ(std::string(locale.GetCurrentValue().c_str()), "en_US.UTF-8");
}

TEST(LocaleString, LongVariantIsKeptWhole) {
    const std::string variant(100000, 'v');
    AUT_LocaleString locale{I18NString(("en_US." + variant + "-_.").c_str())};
    ASSERT_EQ(locale.GetLocaleType(), AUT_LocaleString::kLocaleTypeLanguageRegionVariant);
    EXPECT_EQ(std::string(locale.GetCurrentValue().c_str()), "en_US." + variant + "-_.");
}

} // namespace
