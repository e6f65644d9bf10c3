// Locales: names in both spellings, collation and full case mapping by the locale's rules.
#include <I18NLocale.h>
#include <I18NString.h>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

namespace {

int sign(int value) {
    return (value > 0) - (value < 0);
}

} // namespace

TEST(I18NLocale, LanguageAndCountry) {
    struct Case {
        const char* name;
        const char* language;
        const char* country;
    };
    const Case cases[] = {
        {"en-us", "en", "US"}, {"tr-TR", "tr", "TR"}, {"de_DE", "de", "DE"},
        {"fr", "fr", ""},      {"", "", ""},          {"pt_BR", "pt", "BR"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const I18NLocale locale(c.name);
        EXPECT_STREQ(locale.getLanguage().c_str(), c.language);
        EXPECT_STREQ(locale.getCountry().c_str(), c.country);
    }
}

TEST(I18NLocale, CollationFollowsTheLocale) {
    struct Case {
        const char* locale;
        const char* a;
        const char* b;
        int expected;
    };
    const Case cases[] = {
        {"en-us", "a", "B", -1}, // code point order would say the opposite
        {"en-us", "resume", "r\xC3\xA9sum\xC3\xA9", -1},
        {"en-us", "same", "same", 0},
        {"en-us", "", "a", -1},
        {"en-us", "a\xF0\x9F\x98\x80", "a", 1}, // non-BMP code points collate too
        {"de_DE", "\xC3\xA4", "b", -1},         // ä sorts with a in German
        {"sv-SE", "\xC3\xB6", "z", 1},          // ... and after z in Swedish
        {"de_DE", "\xC3\xB6", "z", -1},
        {"tr-TR", "\xC4\xB1", "i", -1}, // dotless ı before i in Turkish
        {"tr-TR", "\xC3\xA7", "d", -1}, // ç between c and d
        {"tr-TR", "c", "\xC3\xA7", -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.locale) + ": " + c.a + " vs " + c.b);
        const I18NLocale locale(c.locale);
        EXPECT_EQ(sign(locale.compare(I18NString(c.a), I18NString(c.b))), c.expected);
        EXPECT_EQ(sign(locale.compare(I18NString(c.b), I18NString(c.a))), -c.expected);
    }
}

TEST(I18NLocale, FullCaseMappingFollowsTheLocale) {
    struct Case {
        const char* locale;
        bool upper;
        const char* input;
        const char* expected;
    };
    const Case cases[] = {
        {"en-us", true, "i", "I"},
        {"tr-TR", true, "i", "\xC4\xB0"}, // i -> İ
        {"tr-TR", true, "\xC4\xB1", "I"}, // ı -> I
        {"en-us", false, "I", "i"},
        {"tr-TR", false, "I", "\xC4\xB1"},         // I -> ı
        {"tr-TR", false, "\xC4\xB0", "i"},         // İ -> i
        {"en-us", false, "\xC4\xB0", "i\xCC\x87"}, // İ -> i + combining dot above
        {"de_DE", true,
         "Stra\xC3\x9F"
         "e",
         "STRASSE"}, // ß -> SS: the text grows
        {"en-us", true, "\xC3\x9F\xC3\x9F\xC3\x9F", "SSSSSS"},
        {"en-us", false, "\xCE\x9F\xCE\x94\xCE\x9F\xCE\xA3", "\xCE\xBF\xCE\xB4\xCE\xBF\xCF\x82"},
        {"en-us", true, "\xF0\x90\x90\xA8", "\xF0\x90\x90\x80"}, // Deseret, above the BMP
        {"en-us", true, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.locale) + (c.upper ? " upper " : " lower ") + c.input);
        const I18NLocale locale(c.locale);
        I18NString s(c.input);
        s.c_str(); // the mapping must drop this cached text
        if (c.upper) {
            locale.toUpper(s);
        } else {
            locale.toLower(s);
        }
        EXPECT_STREQ(s.c_str(), c.expected);
    }
}

TEST(I18NLocale, CopiesOutliveTheOriginal) {
    I18NLocale copy("en-us");
    {
        const I18NLocale turkish("tr-TR");
        copy = turkish;
        const I18NLocale constructed(turkish);
        EXPECT_STREQ(constructed.getName(), "tr-TR");
    }
    I18NString s("i");
    copy.toUpper(s);
    EXPECT_STREQ(s.c_str(), "\xC4\xB0");
    EXPECT_LT(copy.compare(I18NString("\xC4\xB1"), I18NString("i")), 0);
}

TEST(I18NLocale, CompareOnSeveralThreadsAtOnce) {
    const I18NLocale german("de_DE");
    const I18NString words[] = {I18NString("Apfel"), I18NString("\xC3\x84pfel"),
                                I18NString("Zebra"), I18NString("\xC3\xB6l"),
                                I18NString("Stra\xC3\x9F"
                                           "e")};
    constexpr std::size_t kWords = sizeof words / sizeof words[0];
    // What one thread alone says is what all of them must say at the same time.
    int expected[kWords][kWords];
    for (std::size_t i = 0; i < kWords; ++i) {
        for (std::size_t j = 0; j < kWords; ++j) {
            expected[i][j] = sign(german.compare(words[i], words[j]));
        }
    }
    std::vector<int> mismatches(4, 0);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < mismatches.size(); ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 500; ++round) {
                for (std::size_t i = 0; i < kWords; ++i) {
                    for (std::size_t j = 0; j < kWords; ++j) {
                        mismatches[t] += sign(german.compare(words[i], words[j])) != expected[i][j];
                    }
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(mismatches, std::vector<int>(mismatches.size(), 0));
    EXPECT_LT(expected[1][2], 0); // Äpfel before Zebra: the table is not all equal
}
