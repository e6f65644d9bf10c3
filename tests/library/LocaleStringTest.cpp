// Locale names: the grammar, the value rebuilt from the parts, and the strips.
#include "Table.h"
#include "UTLocaleString.h"

#include <gtest/gtest.h>
#include <string>

namespace {

const char* const kTypeNames[] = {"none", "language", "region", "variant"};

// Each row applies the letters of its second cell in order (P parse, V strip the variant,
// R the region, L the language) and checks the value rebuilt from the parts, then the type
// (which parses a name not parsed yet).
TEST(LocaleString, ParsesAndStrips) {
    for (const auttest::Row& row : auttest::ReadTable("LocaleStringTest-names.tsv", 4)) {
        SCOPED_TRACE(row[0] + " " + row[1]);
        AUT_LocaleString locale{I18NString(row[0].c_str())};
        for (const char step : row[1]) {
            step == 'P'   ? (void)locale.GetLocaleType()
            : step == 'V' ? locale.StripVariant()
            : step == 'R' ? locale.StripRegion()
                          : locale.StripLanguage();
        }
        EXPECT_STREQ(locale.GetCurrentValue().c_str(), row[3].c_str());
        EXPECT_STREQ(kTypeNames[locale.GetLocaleType()], row[2].c_str());
    }
}

} // namespace
