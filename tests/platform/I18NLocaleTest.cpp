// Locales: names in both spellings, collation and full case mapping by the locale's rules.
#include "Table.h"

#include <I18NLocale.h>
#include <I18NString.h>
#include <gtest/gtest.h>
#include <memory>

namespace {

// Rows: "parts" name language_country | "compare" name a b -1/0/1 (checked both ways) |
// "upper"/"lower" name input expected. Case mapping must also drop the cached narrow text.
TEST(I18NLocale, FollowsTheLocalesRules) {
    for (const auttest::Row& row : auttest::ReadTable("I18NLocaleTest-rules.tsv", 3)) {
        SCOPED_TRACE(row[0] + " " + row[1] + " " + row[2]);
        // Each row works on copies that outlive the locale they were made from.
        auto original = std::make_unique<I18NLocale>(row[1].c_str());
        I18NLocale assigned("en-us");
        assigned = *original;
        const I18NLocale locale(assigned);
        original.reset();
        const I18NString a(row[2].c_str());
        if (row[0] == "parts") {
            EXPECT_EQ(locale.getLanguage() + "_" + locale.getCountry(), a);
        } else if (row[0] == "compare") {
            const I18NString b(row.at(3).c_str());
            EXPECT_EQ(locale.compare(a, b), std::stoi(row.at(4)));
            EXPECT_EQ(locale.compare(b, a), -std::stoi(row.at(4)));
        } else {
            I18NString s = a;
            s.c_str();
            row[0] == "upper" ? locale.toUpper(s) : locale.toLower(s);
            EXPECT_STREQ(s.c_str(), row.at(3).c_str());
        }
    }
}

} // namespace
