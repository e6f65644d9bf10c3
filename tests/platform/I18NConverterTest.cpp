// Converters: ICU aliases, Latin-1 and UTF-8 without ICU, other encodings through ICU,
// unmappable characters and bad bytes, and copies that own their own converter.
#include "Table.h"

#include <BrxException.h>
#include <I18NConverter.h>
#include <gtest/gtest.h>
#include <memory>

namespace {

// Rows: "name" alias canonical | "encode"/"decode"/"both" encoding bytes code-points (hex).
TEST(I18NConverter, ConvertsBothWays) {
    for (const auttest::Row& row : auttest::ReadTable("I18NConverterTest-cases.tsv", 4)) {
        SCOPED_TRACE(row[0] + " " + row[1] + " " + row[3]);
        // Each row works on copies that outlive the converter they were made from.
        auto original = std::make_unique<I18NConverter>(row[1].c_str());
        I18NConverter assigned("latin1");
        assigned = *original;
        const I18NConverter converter(assigned);
        original.reset();
        if (row[0] == "name") {
            EXPECT_STREQ(converter.getName(), row[2].c_str());
        }
        if (row[0] == "encode" || row[0] == "both") {
            EXPECT_EQ(converter.fromCodePoints(auttest::CodePoints(row[3])), row[2]);
        }
        if (row[0] == "decode" || row[0] == "both") {
            EXPECT_EQ(converter.toCodePoints(row[2].data(), row[2].size()),
                      auttest::CodePoints(row[3]));
        }
    }
}

TEST(I18NConverter, UnknownEncodingThrowsNamingIt) {
    for (const char* name : {"no-such-encoding", "", static_cast<const char*>(nullptr)}) {
        const std::string shown = std::string("\"") + (name ? name : "(null)") + "\"";
        try {
            I18NConverter converter(name);
            ADD_FAILURE() << "no exception for " << shown;
        } catch (const BrxException& e) {
            EXPECT_NE(std::string(e.what()).find(shown), std::string::npos) << e.what();
        }
    }
}

} // namespace
