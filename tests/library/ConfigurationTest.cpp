// The engine configuration store: where "OrqConfig.xml" is found, what is read from it, and
// the lookups and writes of the table.
#include "AUTConfiguration.h"
#include "AUTInitialize.h"
#include "AutTestSupport.h"
#include "Table.h"

namespace {

const I18NString kOrq("Orq");

class ConfigurationStore : public auttest::InstallationTest {
protected:
    void TearDown() override {
        AUT_Configuration::Terminate();
        InstallationTest::TearDown();
    }

    // Loads a fresh store from the installation, after writing `xml` as its file if given.
    AUT_I_Configuration& load(const std::string& xml = "") {
        if (!xml.empty()) {
            root().writeFile("configuration/OrqConfig.xml", xml);
        }
        AUT_Configuration::Terminate();
        AUT_Configuration::Initialize();
        return *AUT_I_Configuration::GetConfiguration();
    }

    static std::string joined(const std::vector<I18NString>& names) {
        std::string text;
        for (const I18NString& name : names) {
            text += std::string(name.c_str()) + ",";
        }
        return text;
    }

    static std::string get(const std::string& section, const std::string& entry) {
        return AUT_I_Configuration::GetConfiguration()
            ->GetString(kOrq, I18NString(section.c_str()), I18NString(entry.c_str()),
                        I18NString("<default>"))
            .c_str();
    }
};

TEST_F(ConfigurationStore, ReadsEntriesOfThreeLevelsInEveryEncoding) {
    for (const auttest::Row& row : auttest::ReadTable("ConfigurationTest-documents.tsv", 5)) {
        SCOPED_TRACE(row[0].substr(0, 60) + " " + row[1] + "/" + row[2]);
        AUT_I_Configuration& store = row[0] == "-" ? *AUT_I_Configuration::GetConfiguration()
                                                   : load(row[0] == "<none>" ? "" : row[0]);
        EXPECT_EQ(get(row[1], row[2]), row[3]);
        const I18NString section(row[1].c_str()), entry(row[2].c_str());
        for (int read = 0; read < 2 && row[4] != "-"; ++read) { // the second from the cache
            EXPECT_EQ(store.GetInt(kOrq, section, entry, 99), std::stoul(row[4]));
        }
    }
}

TEST_F(ConfigurationStore, ConfigurationDirectoryGoesBeforeTheBinaryDirectory) {
    const auto xml = [](const std::string& value) {
        return "<c><g><section name='s'><entry name='e' value='" + value + "'/></section></g></c>";
    };
    root().writeFile("bin/OrqConfig.xml", xml("bin"));
    load();
    EXPECT_EQ(get("s", "e"), "bin");
    load(xml("conf"));
    EXPECT_EQ(get("s", "e"), "conf");
    // A binary directory whose own path holds the file name: only the last one is the file.
    setenv("ORQ_BIN_DIR", root().makeDirectory("OrqConfig.xml/bin").c_str(), 1);
    root().writeFile("OrqConfig.xml/configuration/OrqConfig.xml", xml("found"));
    load();
    EXPECT_EQ(get("s", "e"), "found");
}

// An entry's integer form is cached apart from its text: each write changes only its own form,
// and only in memory.
TEST_F(ConfigurationStore, LibraryStartReadsTheFileAndWritesStayInMemory) {
    root().writeFile("configuration/OrqConfig.xml",
                     "<r company='Acme' rendition='Gold'><g><section name='s'>"
                     "<entry name='e' value='5'/></section></g></r>");
    ASSERT_EQ(AUT_Initialize("test"), 0);
    AUT_I_Configuration& store = *AUT_I_Configuration::GetConfiguration();
    EXPECT_STREQ(store.GetCompanyName().c_str(), "Acme");
    EXPECT_STREQ(store.GetRenditionName().c_str(), "Gold");
    const I18NString s("s"), e("e"), empty;
    EXPECT_EQ(store.GetInt(kOrq, s, e, 0), 5UL);
    store.SetString(I18NString("Other"), s, e, I18NString("9")); // the component is ignored
    EXPECT_EQ(store.GetInt(kOrq, s, e, 0), 5UL);
    store.SetInt(kOrq, s, e, 0x10000000BUL);
    EXPECT_EQ(store.GetInt(kOrq, s, e, 0), 11UL);
    EXPECT_EQ(get("s", "e"), "9");
    store.SetInt(kOrq, I18NString("New"), e, 7);
    EXPECT_EQ(get("New", "e"), "") << "the entry exists, with empty text";
    EXPECT_TRUE(store.HasEntry(I18NString("New"), e));
    EXPECT_EQ(joined(store.GetSectionNames()), "New,s,") << "code point order";
    store.SetInt(kOrq, s, empty, 7);
    store.SetString(kOrq, empty, e, I18NString("x"));
    EXPECT_EQ(store.GetInt(kOrq, s, empty, 3), 3UL);
    EXPECT_EQ(get("", "e"), "<default>");
    EXPECT_EQ(joined(store.GetEntryNames(s)), "e,");
    EXPECT_FALSE(store.HasEntry(s, empty) || store.HasEntry(empty, e));
    ASSERT_EQ(AUT_Terminate("test"), 0);
    EXPECT_EQ(AUT_I_Configuration::GetConfiguration(), nullptr);
    ASSERT_EQ(AUT_Initialize("test"), 0);
    EXPECT_EQ(get("s", "e"), "5");
    ASSERT_EQ(AUT_Terminate("test"), 0);
}

} // namespace
