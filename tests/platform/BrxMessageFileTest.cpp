// Message catalogs: the file format and placeholders, the search for a catalog and its locale
// levels, built-in copies, and how often catalogs are read.
#include "AutTestSupport.h"
#include "Table.h"

#include <BrxMessage.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Catalogs in a temporary directory named by ORQ_MESSAGES_DIR; ORQ_BIN_DIR points at an
// installation without a messages directory, so that no other catalogs are found.
class BrxMessageFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("ORQ_MESSAGES_DIR", f_dir.path().c_str(), 1);
        setenv("ORQ_BIN_DIR", f_dir.file("bin").c_str(), 1);
    }

    static std::string format(const std::string& catalog,
                              std::uint32_t number,
                              const std::string& locale = "en-us",
                              const std::string& parameters = "") { // separated by |
        BrxMessageFile file{I18NString(catalog.c_str())};
        file.setMessage(number);
        std::istringstream list(parameters);
        for (std::string parameter; std::getline(list, parameter, '|');) {
            file << BrxMessageParm(I18NString(parameter.c_str()));
        }
        I18NString result;
        file.format(nullptr, locale.c_str(), result);
        return result.c_str();
    }

    auttest::TempDir f_dir;
};

TEST_F(BrxMessageFileTest, ReadsDefinitionsSkipsMalformedLinesAndFillsPlaceholders) {
    const auto rows = auttest::ReadTable("BrxMessageFileTest-lines.tsv", 3);
    std::string catalog;
    for (const auttest::Row& row : rows) {
        catalog += row[0] + (&row == &rows.back() ? "" : "\n");
    }
    // A line longer than 64 KiB, after the first (which starts with a byte order mark).
    catalog.insert(catalog.find('\n') + 1, "0x30 = \"" + std::string(64 * 1024, 'x') + "\"\n");
    f_dir.writeFile("Xmsgs.msg", catalog);
    EXPECT_EQ(format("Xmsgs", 0x30), "Message 0x00000030 not found in catalog \"Xmsgs\"");
    for (const auttest::Row& row : rows) {
        SCOPED_TRACE(row[0]);
        if (row[1] != "-") {
            const auto number = static_cast<std::uint32_t>(std::stoul(row[1], nullptr, 0));
            EXPECT_EQ(format("Xmsgs", number, "en-us", row.size() > 3 ? row[3] : ""), row[2]);
        }
    }
}

TEST_F(BrxMessageFileTest, NumbersComeThroughDirectoriesLocaleLevelsAndBuiltInCopies) {
    auttest::TempDir second;
    setenv("ORQ_MESSAGES_DIR", (f_dir.path() + "::" + second.path()).c_str(), 1);
    for (const auttest::Row& row : auttest::ReadTable("BrxMessageFileTest-catalogs.tsv", 4)) {
        if (row[0] == "built-in") {
            brxRegisterBuiltInCatalog(row[1].c_str(), row[2].empty() ? nullptr : row[2].c_str(),
                                      row[3].data(), row[3].size());
        } else {
            (row[0] == "first" ? f_dir : second).writeFile(row[1], row[3]);
        }
    }
    f_dir.makeDirectory("Dmsgs.msg");
    ASSERT_EQ(truncate(f_dir.writeFile("Lmsgs.msg", "1 = \"x\"").c_str(), (16 << 20) + 1), 0);
    ASSERT_EQ(mkfifo(f_dir.file("Fmsgs.msg").c_str(), 0600), 0);
    const long open = auttest::OpenDescriptors();
    for (const auttest::Row& row : auttest::ReadTable("BrxMessageFileTest-locales.tsv", 4)) {
        SCOPED_TRACE(row[0] + " " + row[1] + " " + row[2]);
        const auto number = static_cast<std::uint32_t>(std::stoul(row[2]));
        EXPECT_EQ(format(row[0], number, row[1]), row[3]);
    }
    EXPECT_EQ(auttest::OpenDescriptors(), open);
}

} // namespace
