// Locales: names in both spellings, collation and full case mapping by the locale's rules.
#include "Table.h"

#include <I18NLocale.h>
#include <I18NString.h>
#include <gtest/gtest.h>
#include <string>

namespace {

int sign(int value) {
    return (value > 0) - (value < 0);
}

// Rows: "parts" name language_country | "compare" name a b sign (checked both ways) |
// "upper"/"lower" name input expected. Case mapping must also drop the cached narrow text.
TEST(I18NLocale, FollowsTheLocalesRules) {
    for (const auttest::Row& row : auttest::ReadTable("I18NLocaleTest-rules.tsv", 3)) {
        SCOPED_TRACE(row[0] + " " + row[1] + " " + row[2]);
        const I18NLocale locale(row[1].c_str());
        const I18NString a(row[2].c_str());
        if (row[0] == "parts") {
            EXPECT_EQ(locale.getLanguage() + "_" + locale.getCountry(), a);
        } else if (row[0] == "compare") {
            const I18NString b(row.at(3).c_str());
            EXPECT_EQ(sign(locale.compare(a, b)), std::stoi(row.at(4)));
            EXPECT_EQ(sign(locale.compare(b, a)), -std::stoi(row.at(4)));
        } else {
            I18NString s = a;
            s.c_str();
            row[0] == "upper" ? locale.toUpper(s) : locale.toLower(s);
            EXPECT_STREQ(s.c_str(), row.at(3).c_str());
        }
    }
}

TEST(I18NLocale, CopiesOutliveTheOriginal) {
    I18NLocale copy("en-us");
    {
        const I18NLocale turkish("tr-TR");
        copy = turkish;
        EXPECT_STREQ(I18NLocale(turkish).getName(), "tr-TR");
    }
    I18NString s("i");
    copy.toUpper(s);
    EXPECT_STREQ(s.c_str(), "\xC4\xB0");
    EXPECT_LT(copy.compare(I18NString("\xC4\xB1"), I18NString("i")), 0);
}

} // namespace
