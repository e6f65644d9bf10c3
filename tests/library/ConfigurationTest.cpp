// The engine configuration store: where "OrqConfig.xml" is found, what is read from it, and
// the lookups and writes of the table.
#include "AUTConfiguration.h"
#include "AUTInitialize.h"
#include "AutTestSupport.h"

#include <cstdlib>
#include <string>

namespace {

const char* const kDefault = "<default>";

class ConfigurationStore : public auttest::InstallationTest {
protected:
    void TearDown() override {
        AUT_Configuration::Terminate();
        InstallationTest::TearDown();
    }

    // Writes `xml` as configuration/OrqConfig.xml and loads a fresh store from the installation.
    AUT_I_Configuration& load(const std::string& xml) {
        root().writeFile("configuration/OrqConfig.xml", xml);
        return loadInstalled();
    }

    AUT_I_Configuration& loadInstalled() {
        AUT_Configuration::Terminate();
        AUT_Configuration::Initialize();
        return *AUT_I_Configuration::GetConfiguration();
    }

    static std::string get(const char* section, const char* entry) {
        return AUT_I_Configuration::GetConfiguration()
            ->GetString(I18NString("Orq"), I18NString(section), I18NString(entry),
                        I18NString(kDefault))
            .c_str();
    }

    static unsigned long getInt(const char* section, const char* entry, unsigned long def = 99) {
        return AUT_I_Configuration::GetConfiguration()->GetInt(
            I18NString("Orq"), I18NString(section), I18NString(entry), def);
    }
};

std::string narrow(const I18NString& text) {
    return text.c_str();
}

// ASCII text as UTF-16LE bytes.
std::string utf16le(const std::string& ascii) {
    std::string bytes;
    for (char c : ascii) {
        bytes += c;
        bytes += '\0';
    }
    return bytes;
}

TEST_F(ConfigurationStore, WithoutAFileEverythingIsDefault) {
    AUT_I_Configuration& store = loadInstalled();
    EXPECT_EQ(narrow(store.GetCompanyName()), "Morvex");
    EXPECT_EQ(narrow(store.GetRenditionName()), "");
    EXPECT_EQ(narrow(store.GetDefaultComponentName()), "Orq");
    EXPECT_EQ(get("Logging", "LogFileName"), kDefault);
    EXPECT_EQ(getInt("Logging", "LogLevel", 5), 5UL);
}

TEST_F(ConfigurationStore, ConfigurationDirectoryIsSearchedBeforeTheBinaryDirectory) {
    const std::string beside = "<c><g><section name='s'><entry name='e' value='bin'/></section>"
                               "</g></c>";
    const std::string sibling = "<c><g><section name='s'><entry name='e' value='conf'/></section>"
                                "</g></c>";
    root().writeFile("bin/OrqConfig.xml", beside);
    loadInstalled();
    EXPECT_EQ(get("s", "e"), "bin");

    root().writeFile("configuration/OrqConfig.xml", sibling);
    loadInstalled();
    EXPECT_EQ(get("s", "e"), "conf");
}

TEST_F(ConfigurationStore, ConfigurationDirectoryGoesBeforeTheLastOccurrenceOfTheName) {
    // A binary directory whose own path holds the file name: only the last one is the file.
    const std::string bin = root().makeDirectory("OrqConfig.xml/bin");
    setenv("ORQ_BIN_DIR", bin.c_str(), 1);
    root().writeFile("OrqConfig.xml/configuration/OrqConfig.xml",
                     "<c><g><section name='s'><entry name='e' value='found'/></section></g></c>");
    loadInstalled();
    EXPECT_EQ(get("s", "e"), "found");
}

TEST_F(ConfigurationStore, RootAttributesNameCompanyAndRendition) {
    struct Case {
        const char* root;
        const char* company;
        const char* rendition;
    };
    const Case cases[] = {
        {"<Any company='Acme' rendition='Gold'/>", "Acme", "Gold"},
        {"<Any company='' rendition=''/>", "Morvex", ""},
        {"<Any rendition='Gold'/>", "Morvex", "Gold"},
        {"<Any Company='Acme'/>", "Morvex", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.root);
        AUT_I_Configuration& store = load(c.root);
        EXPECT_EQ(narrow(store.GetCompanyName()), c.company);
        EXPECT_EQ(narrow(store.GetRenditionName()), c.rendition);
        EXPECT_EQ(narrow(store.GetDefaultComponentName()), "Orq");
    }
}

TEST_F(ConfigurationStore, ReadsExactlyThreeLevels) {
    load(R"(<?xml version="1.0"?>
<OrqConfig>
  text at level one <!-- and a comment -->
  <section name="AtRoot"><entry name="e" value="ignored"/></section>
  <Engine kind="any">
    <section name="Logging">
      some text
      <entry name="LogLevel" value="3"/>
      <Entry name="WrongCase" value="x"/>
      <other name="Other" value="x"/>
      <entry name="NoValue"/>
      <entry value="NoName"/>
      <entry name="Nested" value="outer"><entry name="Inner" value="deep"/></entry>
    </section>
    <entry name="AtGroup" value="ignored"/>
    <Section name="WrongCase"><entry name="e" value="x"/></Section>
    <section><entry name="e" value="unnamed section"/></section>
  </Engine>
  <Tools>
    <section name="Logging"><entry name="LogFileName" value="orq.log"/></section>
    <section name="logging"><entry name="LogLevel" value="7"/></section>
  </Tools>
</OrqConfig>)");
    struct Case {
        const char* section;
        const char* entry;
        const char* expected;
    };
    const Case cases[] = {
        {"AtRoot", "e", kDefault},          {"Logging", "LogLevel", "3"},
        {"Logging", "WrongCase", kDefault}, {"Logging", "Other", kDefault},
        {"Logging", "NoValue", ""},         {"Logging", "", "NoName"},
        {"Logging", "Nested", "outer"},     {"Logging", "Inner", kDefault},
        {"Logging", "AtGroup", kDefault},   {"WrongCase", "e", kDefault},
        {"", "e", "unnamed section"},       {"Logging", "LogFileName", "orq.log"},
        {"logging", "LogLevel", "7"},       {"Logging", "loglevel", kDefault},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.section) + "/" + c.entry);
        EXPECT_EQ(get(c.section, c.entry), c.expected);
    }
}

TEST_F(ConfigurationStore, LaterDuplicateEntryWins) {
    load("<r><g><section name='s'><entry name='e' value='first'/></section></g>"
         "<h><section name='s'><entry name='e' value='second'/>"
         "<entry name='e' value='third'/></section></h></r>");
    EXPECT_EQ(get("s", "e"), "third");
}

TEST_F(ConfigurationStore, IntegersAreThirtyTwoBitsWide) {
    load("<r><g><section name='n'>"
         "<entry name='suffix' value='42abc'/><entry name='text' value='abc'/>"
         "<entry name='minus' value='-1'/><entry name='wrap' value='4294967296'/>"
         "<entry name='max' value='4294967295'/><entry name='blank' value='  17'/>"
         "<entry name='empty' value=''/><entry name='big' value='4294967299'/>"
         "</section></g></r>");
    struct Case {
        const char* entry;
        unsigned long expected;
    };
    const Case cases[] = {
        {"suffix", 42},
        {"text", 0},
        {"minus", 4294967295UL},
        {"wrap", 0},
        {"max", 4294967295UL},
        {"blank", 17},
        {"empty", 0},
        {"big", 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry);
        EXPECT_EQ(getInt("n", c.entry), c.expected);
        EXPECT_EQ(getInt("n", c.entry), c.expected) << "second, cached read";
    }
}

TEST_F(ConfigurationStore, IntegerFormSurvivesALaterSetString) {
    AUT_I_Configuration& store = load("<r><g><section name='s'><entry name='e' value='5'/>"
                                      "</section></g></r>");
    const I18NString orq("Orq"), s("s"), e("e");
    EXPECT_EQ(store.GetInt(orq, s, e, 0), 5UL);
    store.SetString(orq, s, e, I18NString("9"));
    EXPECT_EQ(get("s", "e"), "9");
    EXPECT_EQ(store.GetInt(orq, s, e, 0), 5UL);

    store.SetInt(orq, s, e, 11);
    EXPECT_EQ(store.GetInt(orq, s, e, 0), 11UL);
    EXPECT_EQ(get("s", "e"), "9") << "SetInt leaves the text alone";
}

TEST_F(ConfigurationStore, SetIntOnANewEntry) {
    AUT_I_Configuration& store = loadInstalled();
    const I18NString orq("Orq"), s("New"), e("Entry");
    store.SetInt(orq, s, e, 7);
    EXPECT_EQ(store.GetInt(orq, s, e, 0), 7UL);
    EXPECT_EQ(get("New", "Entry"), "") << "the entry exists, with empty text";

    store.SetInt(orq, s, I18NString("Wide"), 0x100000007UL);
    EXPECT_EQ(store.GetInt(orq, s, I18NString("Wide"), 0), 7UL);
}

TEST_F(ConfigurationStore, WritesWithAnEmptyNameAreIgnored) {
    AUT_I_Configuration& store = loadInstalled();
    const I18NString orq("Orq"), empty, s("s"), e("e");
    store.SetInt(orq, s, empty, 7);
    store.SetInt(orq, empty, e, 7);
    store.SetString(orq, s, empty, I18NString("x"));
    store.SetString(orq, empty, e, I18NString("x"));
    EXPECT_EQ(store.GetInt(orq, s, empty, 3), 3UL);
    EXPECT_EQ(store.GetInt(orq, empty, e, 3), 3UL);
    EXPECT_EQ(get("s", ""), kDefault);
    EXPECT_EQ(get("", "e"), kDefault);
}

TEST_F(ConfigurationStore, ComponentMakesNoDifference) {
    AUT_I_Configuration& store = load("<r><g><section name='s'><entry name='e' value='v'/>"
                                      "</section></g></r>");
    store.SetString(I18NString("Other"), I18NString("s"), I18NString("w"), I18NString("set"));
    for (const char* component : {"Orq", "Other", ""}) {
        SCOPED_TRACE(component);
        const I18NString c(component);
        EXPECT_EQ(narrow(store.GetString(c, I18NString("s"), I18NString("e"), I18NString())), "v");
        EXPECT_EQ(narrow(store.GetString(c, I18NString("s"), I18NString("w"), I18NString())),
                  "set");
    }
}

TEST_F(ConfigurationStore, DeclaredEncodingsAreHonoured) {
    struct Case {
        const char* name;
        std::string bytes;
        std::u32string expected;
    };
    const std::string body = "<r><g><section name='s'><entry name='e' value='";
    const std::string tail = "'/></section></g></r>";
    // A byte order mark, then the text as UTF-16LE with "é€" as its value.
    const std::string utf16 = std::string("\xFF\xFE", 2) + utf16le(body) +
                              std::string("\xE9\x00\xAC\x20", 4) + utf16le(tail);
    // The same without a mark, big-endian: "<?xml" itself shows the byte order.
    std::string utf16be;
    const std::string swapped = utf16le("<?xml version='1.0' encoding='UTF-16'?>" + body) +
                                std::string("\xE9\x00\xAC\x20", 4) + utf16le(tail);
    for (std::size_t i = 0; i + 1 < swapped.size(); i += 2) {
        utf16be += swapped[i + 1];
        utf16be += swapped[i];
    }
    const Case cases[] = {
        {"UTF-8", "<?xml version='1.0' encoding='UTF-8'?>" + body + "\xC3\xA9" + tail, U"\u00E9"},
        {"none", body + "\xC3\xA9\xE2\x82\xAC" + tail, U"\u00E9\u20AC"},
        {"ISO-8859-1", "<?xml version='1.0' encoding='ISO-8859-1'?>" + body + "\xE9" + tail,
         U"\u00E9"},
        {"latin1", "<?xml version=\"1.0\" encoding=\"latin1\"?>" + body + "\xE9" + tail, U"\u00E9"},
        {"windows-1252", "<?xml version='1.0' encoding='windows-1252'?>" + body + "\x80" + tail,
         U"\u20AC"},
        {"UTF-16LE", utf16, U"\u00E9\u20AC"},
        {"UTF-16BE", utf16be, U"\u00E9\u20AC"},
        {"character reference", body + "&#xE9;&amp;" + tail, U"\u00E9&"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AUT_I_Configuration& store = load(c.bytes);
        EXPECT_EQ(store.GetString(I18NString("Orq"), I18NString("s"), I18NString("e"),
                                  I18NString(kDefault)),
                  I18NString(c.expected));
    }
}

TEST_F(ConfigurationStore, TerminateUnpublishesTheStore) {
    AUT_Configuration::Initialize();
    EXPECT_NE(AUT_I_Configuration::GetConfiguration(), nullptr);
    AUT_Configuration::Terminate();
    EXPECT_EQ(AUT_I_Configuration::GetConfiguration(), nullptr);
    AUT_Configuration::Terminate(); // a second one finds nothing to delete
    EXPECT_EQ(AUT_I_Configuration::GetConfiguration(), nullptr);
}

TEST_F(ConfigurationStore, LibraryStartReadsTheFileAndStopDropsWrites) {
    root().writeFile("configuration/OrqConfig.xml",
                     "<r company='Acme'><g><section name='s'><entry name='e' value='v'/>"
                     "</section></g></r>");
    ASSERT_EQ(AUT_Initialize("test"), 0);
    AUT_I_Configuration* store = AUT_I_Configuration::GetConfiguration();
    ASSERT_NE(store, nullptr);
    EXPECT_EQ(narrow(store->GetCompanyName()), "Acme");
    store->SetString(I18NString("Orq"), I18NString("s"), I18NString("e"), I18NString("changed"));
    ASSERT_EQ(AUT_Terminate("test"), 0);
    EXPECT_EQ(AUT_I_Configuration::GetConfiguration(), nullptr);

    ASSERT_EQ(AUT_Initialize("test"), 0);
    EXPECT_EQ(get("s", "e"), "v") << "writes live in memory only";
    EXPECT_EQ(auttest::readFile(configurationDir() + "/OrqConfig.xml").find("changed"),
              std::string::npos);
    ASSERT_EQ(AUT_Terminate("test"), 0);
}

} // namespace
